/*
** The stand-in editor's own C API, for tests, benchmarks and tools.
** The host operations themselves are declared in src/host/host.h; this
** header adds what a test or a tool needs to set the editor up and to
** read back what the plug-in did to it.
*/
#ifndef CWEDIT_H
#define CWEDIT_H

#include <stddef.h>
#include "../plugin/host/host.h"

#ifdef __cplusplus
extern "C" {
#endif

/* {====== session ======================================================== */

/* Forget everything: every document, settings back to their defaults,
** tables, ledger, logs, registrations. One fresh empty document is current. */
CWEXPORT void CWAPI cw_reset(void);

/* Category colours, as ColorOf*(CW_QUERY) would answer them; settable to 0. */
enum cw_category {
  CW_COMMENTS,
  CW_CONSTANTS,
  CW_KEYWORDS,
  CW_FUNCTIONS,
  CW_STRINGS,
  CW_NUMBERS,
  CW_OPERATORS,
  CW_CATEGORY_COUNT
};
CWEXPORT void CWAPI cw_set_category_colour(int category, cw_long colour);
CWEXPORT cw_long CWAPI cw_category_colour(int category);

CWEXPORT void CWAPI cw_set_scan_line_limit(cw_long limit); /* ScanLineLimit(CW_QUERY) */
CWEXPORT void CWAPI cw_set_state_flag(cw_long value);      /* ScanStateFlag() */

/* }====== */

/* {====== documents ======================================================== */

/* The host operations name no buffer: they work on the current document.
** Everything in the two sections below belongs to one document (text,
** colours, cursor and its stack, scan position, runs, LineRange and
** RefreshLines records, change record, routine marks, the noted word);
** the rest of the editor is shared. Handles are never reused; 0 is none. */
typedef unsigned long cw_doc;
CWEXPORT cw_doc CWAPI cw_doc_new(void); /* empty, not current; 0 without memory */
CWEXPORT cw_doc CWAPI cw_doc_current(void);
/* Makes doc current; 0 (nothing changes) for an unknown handle. */
CWEXPORT int CWAPI cw_doc_select(cw_doc doc);
/* Frees doc. Freeing the current one makes another document current, or a
** fresh empty one when there is no other, so that no document stays behind
** that no handle names. 0 for an unknown handle. Making a document current
** takes the same time however many there are. */
CWEXPORT int CWAPI cw_doc_free(cw_doc doc);
CWEXPORT size_t CWAPI cw_doc_count(void);

/* }====== */

/* {====== buffer, cursor, scan position ================================ */

/* Replaces the text and clears its colours. Answers 0, leaving the
** document as it was, when memory runs out or the text passes 2 GiB. */
CWEXPORT int CWAPI cw_set_text(const char* text, size_t length);
/* Adds text[0..length) at the end, so that a file can be read into the
** buffer in pieces without being held twice: like cw_set_text it records
** no change; cursor and scan position stay. Answers 0, adding nothing,
** when memory runs out or the buffer would pass 2 GiB. */
CWEXPORT int CWAPI cw_append_text(const char* text, size_t length);
/* Room for appended text of length bytes in all, taken at once so that a
** file of known size is held without slack; 0 when memory runs out. */
CWEXPORT int CWAPI cw_reserve_text(size_t length);
/* Replaces n_del characters at pos by text[0..length) as an edit does:
** colours of the rest stay, positions move with the text, the change
** record grows. pos and n_del are clamped to the buffer. Answers 0, with
** nothing changed, when memory runs out or the buffer would pass 2 GiB. */
CWEXPORT int CWAPI cw_replace_text(cw_long pos, cw_long n_del, const char* text, size_t length);
/* The whole text in one piece, not NUL-terminated. Without memory for the
** copy a text in several pieces needs: "" and length 0, told apart from an
** empty text by cw_text_length and counted by cw_memory_refusals. */
CWEXPORT const char* CWAPI cw_text(size_t* length);
/* Copies up to n characters from pos into out without making the text one
** piece; answers how many (0 for a position outside the text). */
CWEXPORT size_t CWAPI cw_text_range(cw_long pos, size_t n, char* out);
CWEXPORT cw_long CWAPI cw_char_at(cw_long pos); /* CW_NO_CHAR outside the text */
CWEXPORT cw_long CWAPI cw_text_length(void);
CWEXPORT cw_long CWAPI cw_line_count(void);
CWEXPORT cw_long CWAPI cw_line_start(cw_long line); /* position of line's 1st char */
CWEXPORT cw_long CWAPI cw_line_of(cw_long pos);     /* line holding pos */

CWEXPORT void CWAPI cw_set_cursor(cw_long pos); /* clamped to the buffer */
CWEXPORT cw_long CWAPI cw_cursor(void);
CWEXPORT int CWAPI cw_position_depth(void); /* saved cursor positions */
CWEXPORT cw_long CWAPI cw_scan_pos(void);
CWEXPORT void CWAPI cw_set_scan_pos(cw_long pos); /* clamped to the buffer */

/* }====== */

/* {====== what the plug-in did =========================================== */

/* Colour of one character, 0 when it has none. */
CWEXPORT cw_long CWAPI cw_colour_at(cw_long pos);
/* Category (enum cw_category) of n characters from pos, one byte each: -1
** for no colour, a colour no category has, or a position past the end. */
CWEXPORT void CWAPI cw_categories(cw_long pos, size_t n, signed char* out);

/* A pair of line numbers. */
typedef struct cw_mark {
  cw_long first, last;
} cw_mark;

/* Line pairs RefreshLines was asked to redisplay since the last clear. */
CWEXPORT size_t CWAPI cw_refresh_count(void);
CWEXPORT cw_mark CWAPI cw_refresh_at(size_t i);
CWEXPORT void CWAPI cw_refresh_clear(void);

/* What edits changed since the last clear (cw_set_text clears too): the
** characters [from, from + removed) of the text as it was then are now
** [from, from + inserted). Answers 0 when nothing changed. The bytes that
** were there come through cw_change_old (not NUL-terminated). */
typedef struct cw_change {
  cw_long from, removed, inserted;
} cw_change;
CWEXPORT int CWAPI cw_changed(cw_change* out);
CWEXPORT const char* CWAPI cw_change_old(size_t* length);
CWEXPORT void CWAPI cw_change_clear(void);

/* ColorRun calls since the last cw_clear_runs, in order. */
typedef struct cw_run {
  cw_long pos, length, colour;
} cw_run;
CWEXPORT size_t CWAPI cw_run_count(void);
CWEXPORT cw_run CWAPI cw_run_at(size_t i);
CWEXPORT void CWAPI cw_clear_runs(void);
/* Whether ColorRun calls are kept for cw_run_at (on after a reset); off
** forgets those kept. The lowest position a ColorRun started at since the
** last cw_clear_runs is kept either way: cw_colour_low, -1 when none. */
CWEXPORT void CWAPI cw_record_runs(int on);
CWEXPORT cw_long CWAPI cw_colour_low(void);

/* Call log: one line per host operation, "Name(arg, arg)", strings quoted
** in C escapes. Off by default; reading does not clear it. */
CWEXPORT void CWAPI cw_log_enable(int on);
CWEXPORT size_t CWAPI cw_log_count(void);
CWEXPORT const char* CWAPI cw_log_at(size_t i);
CWEXPORT void CWAPI cw_log_clear(void);

/* Host calls made since reset, whether logged or not (endless-loop guard). */
CWEXPORT unsigned long long CWAPI cw_call_count(void);

/* Display hold count (DisplayHold minus DisplayRelease), last ShowMessage
** text (NULL if none, or since cw_clear_message), routine-view marks in
** force. */
CWEXPORT int CWAPI cw_display_holds(void);
CWEXPORT const char* CWAPI cw_last_message(void);
CWEXPORT void CWAPI cw_clear_message(void);
CWEXPORT size_t CWAPI cw_mark_count(void);
CWEXPORT cw_mark CWAPI cw_mark_at(size_t i);
/* Takes the routine-view marks away, as the editor's view of a newly shown
** document starts without any. */
CWEXPORT void CWAPI cw_clear_marks(void);

/* Registered extensions and prototypes, in order of registration. */
CWEXPORT size_t CWAPI cw_extension_count(void);
CWEXPORT const char* CWAPI cw_extension_at(size_t i);
CWEXPORT size_t CWAPI cw_export_count(void);
CWEXPORT const char* CWAPI cw_export_at(size_t i);

/* }====== */

/* {====== hash tables ====================================================== */

/* Tables in order of creation. */
CWEXPORT size_t CWAPI cw_table_count(void);
CWEXPORT cw_table CWAPI cw_table_at(size_t i);
CWEXPORT cw_long CWAPI cw_table_buckets(cw_table t);
CWEXPORT cw_long CWAPI cw_table_flag(cw_table t);
CWEXPORT size_t CWAPI cw_table_size(cw_table t);
/* Key of entry i (in insertion order), length through *length. */
CWEXPORT const char* CWAPI cw_table_key(cw_table t, size_t i, size_t* length);
/* Looks a NUL-terminated key up without a host call; NULL if absent. */
CWEXPORT cw_slot CWAPI cw_table_find(cw_table t, const char* key);

/* Make HashInsert answer NULL (inserting nothing) for this key; NULL clears. */
CWEXPORT void CWAPI cw_refuse_key(const char* key);

/* }====== */

/* {====== ledger and fault injection ===================================== */

/* Strings and blocks handed out and not yet released. Strings stored as
** keyword-table values are counted like any other. */
CWEXPORT size_t CWAPI cw_live_allocations(void);
/* Frees of pointers the ledger did not know (each one is an error). */
CWEXPORT size_t CWAPI cw_bad_frees(void);
/* Mark everything live now as expected (e.g. after start-up). */
CWEXPORT void CWAPI cw_ledger_baseline(void);
CWEXPORT size_t CWAPI cw_live_since_baseline(void);

/* Allocating calls (StrDup, StrTrim, StrAppend, GetTextAtCursor, MemAlloc,
** HashCreate, HashInsert) made since reset, and the k-th of them (counting
** from 1 after this call) to fail by returning NULL; 0 disarms. */
CWEXPORT unsigned long CWAPI cw_alloc_calls(void);
CWEXPORT void CWAPI cw_fail_alloc_at(unsigned long k);

/* The same for the editor's own allocations: its buffers (a text's pieces
** and their index, the change record, a document), counted since reset;
** the k-th from now fails as if memory had run out. 0 disarms. */
CWEXPORT unsigned long CWAPI cw_buffer_allocs(void);
CWEXPORT void CWAPI cw_fail_buffer_at(unsigned long k);

/* Requests the editor refused for lack of memory since reset: an
** allocating call answering NULL, an edit or a text it could not take, a
** record it could not keep (injected failures count too). A host compares
** the count before and after a call to tell whether the call had all it
** needed. */
CWEXPORT unsigned long CWAPI cw_memory_refusals(void);

/* }====== */

/* {====== the plug-in module ============================================ */

/* Load a plug-in module as the editor does: load the library, call its
** "_init". ExportFunction then binds prototypes to that module's exports.
** Returns 0 on success, -1 when the library or "_init" cannot be found. */
CWEXPORT int CWAPI cw_load_module(const char* path);
/* Frees the module and drops everything it made: the prototypes and
** extensions it registered, its tables, and the strings and blocks made
** while its _init or a function bound to it ran that it never released.
** Documents and what the editor made itself stay. */
CWEXPORT void CWAPI cw_unload_module(void);
/* Strings and blocks unloaded modules still held, released by the unload:
** counted since reset, so that a leak check can still see them. */
CWEXPORT size_t CWAPI cw_unload_leaks(void);

/* Call a registered function by name as the editor does, converting each
** argument string to the type its prototype gives (long and int: decimal,
** LPSTR: the string itself). Returns 0 on success and stores the result
** (0 for a function with no result) in *result; -1 for an unknown name or a
** wrong argument count. */
CWEXPORT int CWAPI cw_call(const char* name, int argc, const char* const* argv, cw_long* result);

/* }====== */

#ifdef __cplusplus
}
#endif

#endif /* CWEDIT_H */
