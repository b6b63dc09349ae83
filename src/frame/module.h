/*
** Module-wide state and the internal functions that cross subsystems.
** Each variable is defined in the file named beside it; that file writes it.
*/
#ifndef WYN_MODULE_H
#define WYN_MODULE_H

#include "../host/host.h"

#if !defined(_WIN32)
#pragma GCC visibility push(hidden)
#endif

/* Word classes: 0 constants and system variables, 1 reserved words,
** 2 built-in functions. */
enum { WYN_CLASS_COUNT = 3 };

extern cw_table wyn_keyword_tables[WYN_CLASS_COUNT]; /* vocab/tables.cpp; read by colour, frame */
extern cw_table wyn_template_table;                  /* vocab/templates.cpp; read by edit */
extern cw_long lines_coloured;                       /* colour/scanner.cpp; read by colour/update */

/* Configuration block (frame/config.cpp). */
extern char wyn_comment_introducer[3];                 /* "//", first char settable */
extern cw_long wyn_on_demand_buckets[WYN_CLASS_COUNT]; /* [1], [2] used: 47 each */
extern const char* wyn_block_words;                    /* read by edit/indent.cpp */

/* Built-in vocabulary (vocab/). Lists end with a null pointer. */
extern const char* const wyn_class0_words[];
extern const char* const wyn_class1_words[];
extern const char* const wyn_class2_words[];
struct wyn_template {
  const char* name;
  const char* text;
};
extern const wyn_template wyn_builtin_templates[]; /* ends with {0, 0} */

void wyn_build_keyword_tables(void); /* start-up: keyword tables */
/* Inserts a word into a keyword table, its value slot holding a StrDup copy
** of the word; a refused insertion stores nothing (vocab/tables.cpp). */
void wyn_store_word(cw_table table, const char* word);
void wyn_build_template_table(void); /* start-up: template table */

/* Comment probes (colour/probes.cpp). */
cw_long find_comment_start(cw_long position);
cw_long find_comment_mark_before(void);
cw_long find_comment_mark_after(void);

#if !defined(_WIN32)
#pragma GCC visibility pop
#endif

#endif /* WYN_MODULE_H */
