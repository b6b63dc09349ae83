/*
** The plug-in's exported surface: eleven flat C functions. Names and export
** ordinals are pinned by wyn.def; the editor registers nine of them by the
** prototype strings of start-up.
*/
#ifndef WYN_EXPORTS_H
#define WYN_EXPORTS_H

#include "../host/host.h"

#if defined(_WIN32)
#define WYNAPI __cdecl /* exported through wyn.def */
#else
#define WYNAPI __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

cw_long WYNAPI _wyn_expand(void);                                        /* 3  */
void WYNAPI _wyn_init(void);                                             /* 4  */
cw_long WYNAPI _wyn_indent(void);                                        /* 5  */
cw_long WYNAPI _wyn_language_colors_update(cw_long first, cw_long last); /* 6 */
#if defined(WYN_STATIC_PLUGIN)
/* Linked into a program, whose start files define an _init of their own:
** the entry takes another link name and keeps its export name in the table
** of attach_static.cpp. */
void WYNAPI _init(void) __asm__("wyn_static_init"); /* 7 */
#else
void WYNAPI _init(void); /* 7  */
#endif
void WYNAPI _wyn_assign_template(char* name, char* text);     /* 8  */
void WYNAPI _wyn_add_keyword(char* word, cw_long word_class); /* 9  */
void WYNAPI _wyn_language_colors(cw_long count);              /* 10 */
void WYNAPI _wyn_routines(void);                              /* 11 */
void WYNAPI _wyn_hash_size(cw_long word_class, cw_long size); /* 12 */
void WYNAPI WYNSetCommentChar(char* text);                    /* 13 */

#ifdef __cplusplus
}
#endif

#endif /* WYN_EXPORTS_H */
