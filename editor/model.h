/*
** The stand-in editor's whole state: one buffer with its line index and
** per-character colours, the cursor and scan position, settings, tables,
** the allocation ledger and the call log, gathered in one struct.
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
  cw_long buckets_asked;
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

struct Editor {
  /* buffer: text, line starts (line 1 starts at 0; one more after each LF),
  ** and one colour per character, all kept in step by replace_text */
  std::vector<char> text;
  std::vector<cw_long> line_starts;
  std::vector<cw_long> colours;
  unsigned long long generation; /* changes whenever the bytes change */

  cw_long cursor;
  std::vector<cw_long> saved; /* PushPosition stack */
  cw_long scan;

  cw_long category[CW_CATEGORY_COUNT];
  cw_long scan_line_limit;
  cw_long state_flag;

  std::vector<cw_run> runs;
  long update_depth;           /* ColorUpdateBegin minus ColorUpdateEnd */
  std::vector<cw_mark> ranges; /* LineRange results are index + 1 */

  std::vector<cw_mark> marks;
  int display_holds;
  bool has_message;
  std::string message;

  bool word_noted; /* ExpandPrepare's word */
  cw_long word_pos, word_len;

  std::vector<std::string> extensions;
  std::vector<Export> exports;
  cw_long startup_a, startup_b;
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

/* ---- buffer (model.cpp) ---- */
void set_text(const char* s, size_t n);
/* Replaces n_del bytes at pos by ins[0..n_ins); colours of the new bytes
** are 0; cursor, saved positions and scan position after the change move
** with the text. */
void replace_text(cw_long pos, cw_long n_del, const char* ins, cw_long n_ins);
void reset_state(void);

inline cw_long text_length(void) {
  return (cw_long)ed.text.size();
}
inline cw_long line_count(void) {
  return (cw_long)ed.line_starts.size();
}
inline cw_long char_at(cw_long pos) {
  return pos >= 0 && pos < text_length() ? (unsigned char)ed.text[(size_t)pos] : 256;
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
