/*
** The stand-in editor's whole state: documents (each a buffer with its line
** index, per-character colours, cursor and scan position) of which one is
** current, settings, tables, the allocation ledger and the call log.
*/
#ifndef CW_MODEL_H
#define CW_MODEL_H

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <unordered_map>
#include <vector>

#include "cwedit.h"

namespace cw {

/* A registered prototype: "[type] name [type...]". */
enum { ARG_LONG, ARG_STRING };
enum { MAX_ARGS = 4 };
typedef void (*Function)(void);
struct Export {
  std::string prototype;
  std::string name;
  bool has_result;
  int argc;
  int args[MAX_ARGS];
  Function fn;      /* NULL until bound to a module's export */
  bool from_module; /* bound while a module's _init ran */
};

/* One hash entry; its slot is at least pointer-sized and zeroed. */
struct Entry {
  Entry* next;   /* chain in the same bucket */
  uint32_t hash; /* of the key: compared before the bytes */
  std::string key;
  void* slot;
  char* text; /* TemplateAssign's own copy, or NULL */
};

enum { FILTER_BITS = 8192, FILTER_WORDS = FILTER_BITS / 64 };
struct Table {
  uintptr_t handle; /* what the plug-in holds; never reused */
  cw_long slot_size;
  cw_long flag;
  std::vector<Entry*> buckets;
  std::vector<Entry*> entries;   /* insertion order */
  uint64_t filter[FILTER_WORDS]; /* one bit per low hash value present */
};

/* What the ledger knows of a live block. */
enum { BLOCK_STRING, BLOCK_MEMORY };
struct Block {
  int kind;
  unsigned long long serial;
};

/* One buffer and everything the editor keeps for it. */
struct Document {
  cw_doc id; /* handle the API gives out; never reused */

  /* text, line starts (line 1 starts at 0; one more after each LF), and
  ** one colour per character, all kept in step by replace_text */
  std::vector<char> text;
  std::vector<cw_long> line_starts;
  std::vector<cw_long> colours;
  unsigned long long generation; /* unique among all documents' texts ever */

  cw_long cursor;
  std::vector<cw_long> saved; /* PushPosition stack */
  cw_long scan;

  std::vector<cw_run> runs;
  std::vector<cw_mark> ranges;    /* LineRange results are index + 1 */
  std::vector<cw_mark> refreshed; /* pairs RefreshLines was given */

  /* What edits changed since the record was last cleared: the bytes
  ** [change_from, change_from + change_removed) of the text as it was then
  ** are now [change_from, change_from + change_inserted), and change_old
  ** holds the bytes they were. */
  bool changed;
  cw_long change_from, change_removed, change_inserted;
  std::string change_old;

  std::vector<cw_mark> marks;

  bool word_noted; /* ExpandPrepare's word */
  cw_long word_pos, word_len;
};

/* The editor: the current document's state inline, so the host operations
** reach it as directly as if there were one buffer, and what all documents
** share. The others wait in parked until selected. */
struct Editor : Document {
  std::vector<Document*> parked;
  cw_doc doc_serial;                    /* handles ever made; survives resets */
  unsigned long long generation_serial; /* texts ever made; survives resets */

  cw_long category[CW_CATEGORY_COUNT];
  cw_long scan_line_limit;
  cw_long state_flag;

  int display_holds;
  bool has_message;
  std::string message;

  std::vector<std::string> extensions;
  std::vector<Export> exports;
  void* module; /* the loaded plug-in, or NULL */
  bool loading; /* inside the module's _init */

  std::vector<Table*> tables;
  uintptr_t table_serial;       /* handles ever made; survives resets */
  uintptr_t first_table_serial; /* table_serial at the last reset */
  bool has_refused_key;
  std::string refused_key;

  std::unordered_map<void*, Block> ledger;
  unsigned long long next_serial;
  unsigned long long baseline_serial;
  size_t bad_frees;
  unsigned long alloc_calls;
  unsigned long fail_at; /* alloc_calls value that fails; 0 none */

  bool log_on;
  std::vector<std::string> log;
  unsigned long long calls;
};

/* Only the editor's own files reach the state; on ELF that lets the hot
** operations address it directly instead of through the symbol table. */
#if defined(__GNUC__) && !defined(_WIN32)
extern Editor ed __attribute__((visibility("hidden")));
#else
extern Editor ed;
#endif

/* ---- buffer and documents (model.cpp) ---- */
void set_text(const char* s, size_t n); /* also clears the change record */
/* Replaces n_del bytes at pos by ins[0..n_ins); colours of the new bytes
** are 0; cursor, saved positions and scan position after the change move
** with the text. The change record grows to cover it. */
void replace_text(cw_long pos, cw_long n_del, const char* ins, cw_long n_ins);
void clear_change(void);
void reset_state(void);
cw_doc new_document(void); /* parked, empty; 0 if it cannot be made */
bool select_document(cw_doc id);
bool free_document(cw_doc id); /* the current one: a fresh one takes its place */

inline cw_long text_length(void) {
  return (cw_long)ed.text.size();
}
inline cw_long line_count(void) {
  return (cw_long)ed.line_starts.size();
}
inline cw_long char_at(cw_long pos) {
  return pos >= 0 && pos < text_length() ? (unsigned char)ed.text[(size_t)pos] : CW_NO_CHAR;
}
inline cw_long clamp_pos(cw_long pos) {
  return pos < 0 ? 0 : pos > text_length() ? text_length() : pos;
}
cw_long line_index(cw_long pos);          /* 0-based line holding pos */
cw_long line_end(cw_long index);          /* position of the line's break, or end */
cw_long line_break_length(cw_long index); /* 0, 1 (LF) or 2 (CR LF) */

/* ---- ledger (ops_strings.cpp) ---- */
bool alloc_fails(void);                       /* counts one allocating call */
void* ledger_block(size_t n, int kind);       /* NULL if it fails */
char* ledger_string(const char* s, size_t n); /* NUL added; NULL if it fails */
bool ledger_release(void* p, int kind);

/* ---- call log (log.cpp) ----
** Format codes: i integer, s string, k key and length (two arguments),
** t table handle, p pointer, r LineRange value. */
void log_call(const char* name, const char* format, ...);
std::string quote(const char* s, size_t n);
std::string table_name(const void* t);

/* ---- tables (ops_hash.cpp) ---- */
Table* find_table(const void* handle);
Entry* find_entry(const Table* t, const void* key, size_t n);
Entry* add_entry(Table* t, const void* key, size_t n); /* zeroed slot; NULL if it fails */
void free_tables(void);

/* ---- module loading (module_posix.cpp / module_win32.cpp) ---- */
void* module_open(const char* path);
Function module_symbol(void* module, const char* name);
Function self_symbol(const char* name); /* the running program's own export */
void module_close(void* module);

}  // namespace cw

#if defined(__GNUC__)
#define CW_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define CW_UNLIKELY(x) (x)
#endif

/* Every host operation opens with this: one count, one predictable branch. */
#define CW_ENTER(name, ...)                                          \
  do {                                                               \
    ++cw::ed.calls;                                                  \
    if (CW_UNLIKELY(cw::ed.log_on)) cw::log_call(name, __VA_ARGS__); \
  } while (0)

#endif /* CW_MODEL_H */
