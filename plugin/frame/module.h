/*
** Module-wide state and the internal functions that cross subsystems.
** Each variable is defined in the file named beside it; that file writes it.
** Naming: every module-wide name carries the wyn_ prefix (WYN_ for
** constants), except the three comment probes and lines_coloured, which
** keep the names the rest of the design knows them by; file statics are
** plain lower case. Host-contract values come from host/contract.h.
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
/* One-shot flag (frame/startup.cpp): nonzero while the module is loaded and
** not yet started; cleared by start-up before the tables are built, so a
** start-up call that arrives while they are being built returns at once. */
extern int wyn_startup_pending;

/* Configuration block (frame/config.cpp). */
/* "//", first character settable by WYNSetCommentChar. Kept as the
** configuration setting it is, but nothing in the plug-in reads it: the
** scanner and the probes know comments by the fixed '/' and '*'. */
#define WYN_COMMENT_INTRODUCER "//"
extern char wyn_comment_introducer[3];
enum { WYN_ON_DEMAND_BUCKETS = 47 };
extern cw_long wyn_on_demand_buckets[WYN_CLASS_COUNT]; /* [1], [2] used; read by vocab */

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
/* Adds a word to the table of a valid word class, creating a class-1 or
** class-2 table on demand (vocab/tables.cpp). */
void wyn_add_word(const char* word, cw_long word_class);
void wyn_build_template_table(void); /* start-up: template table */

/* Comment probes (colour/probes.cpp). */
enum {
  WYN_NOT_IN_COMMENT = -1, /* find_comment_start: the position is in no comment */
  /* What find_comment_mark_before and find_comment_mark_after found. */
  WYN_MARK_NONE = 0,
  WYN_MARK_OPENER = 1,
  WYN_MARK_CLOSER = 2
};
cw_long find_comment_start(cw_long position);
cw_long find_comment_mark_before(void);
cw_long find_comment_mark_after(void);

#if !defined(_WIN32)
#pragma GCC visibility pop
#endif

#endif /* WYN_MODULE_H */
