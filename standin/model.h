/*
** The stand-in editor's whole state: buffers (each a text with its line
** index, per-character colours, cursor and scan position) of which one is
** current, settings, tables, the allocation ledger and the call log.
*/
#ifndef CW_MODEL_H
#define CW_MODEL_H

#include <assert.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "cwedit.h"

#if defined(__GNUC__)
#define CW_UNLIKELY(x) __builtin_expect(!!(x), 0)
#define CW_LIKELY(x)   __builtin_expect(!!(x), 1)
#define CW_FLATTEN     __attribute__((flatten)) /* every call inside inlined */
#else
#define CW_FLATTEN
#define CW_UNLIKELY(x) (x)
#define CW_LIKELY(x)   (x)
#endif

/* The model's functions are the editor's own: on ELF, hidden, so the host
** operations call them directly rather than through the symbol table. */
#if defined(__GNUC__) && !defined(_WIN32)
#define CW_HIDDEN_BEGIN _Pragma("GCC visibility push(hidden)")
#define CW_HIDDEN_END   _Pragma("GCC visibility pop")
#else
#define CW_HIDDEN_BEGIN
#define CW_HIDDEN_END
#endif

CW_HIDDEN_BEGIN

namespace cw {

/* Who made a registration, a table or a block: the module serial of the
** plug-in that was starting up or being called at the time, or 0 for the
** editor itself. Unloading a module drops everything it owns. */
typedef unsigned long Owner;

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
  Owner owner;
};

/* A file extension bound by RegisterExtension. */
struct Extension {
  std::string text;
  Owner owner;
};

/* One hash entry; its slot is at least pointer-sized and zeroed. */
struct Entry {
  Entry* next;   /* chain in the same bucket */
  uint32_t hash; /* of the key: compared before the bytes */
  std::string key;
  void* slot;
  char* text; /* TemplateAssign's own copy, or NULL */
};

enum { FILTER_BITS = 8192, FILTER_WORDS = FILTER_BITS / 64, LEAD_WORDS = 65536 / 64 };
struct Table {
  uintptr_t handle; /* what the plug-in holds; never reused */
  Owner owner;
  cw_long slot_size;
  cw_long flag;
  std::vector<Entry*> buckets;
  std::vector<Entry*> entries;   /* insertion order */
  uint64_t filter[FILTER_WORDS]; /* one bit per low hash value present */
  uint64_t lead[LEAD_WORDS];     /* one bit per first two bytes of a key present */
};

/* What the ledger knows of a live block. */
enum { BLOCK_STRING, BLOCK_MEMORY };
struct Block {
  int kind;
  unsigned long long serial;
  Owner owner;
};

/* A piece of the text, at most CHUNK_BYTES long, with its colours beside
** it: one palette code per character, allocated when something in the
** piece is first coloured (code 0 is no colour). */
static const size_t CHUNK_BYTES = 8192, CHUNK_FILL = CHUNK_BYTES - 128;
/* A chunk's text is its own, or a stretch of the buffer's text as it was
** loaded in one piece, given back with that. */
struct TextOwner {
  bool owned;
  void operator()(char* p) const {
    if (owned) delete[] p;
  }
};
struct FreeMemory {
  void operator()(char* p) const { free(p); }
};
struct Chunk {
  std::unique_ptr<char[], TextOwner> text;
  std::unique_ptr<unsigned char[]> col; /* NULL until coloured */
  uint32_t size;
  uint32_t cap; /* bytes the text has room for */
  uint32_t lfs; /* LF characters in it */
};

/* One buffer and everything the editor keeps for it. */
struct Buffer {
  cw_doc id; /* handle the API gives out; never reused */

  /* The text in chunks, in order, never an empty one unless the text is
  ** empty (then there is exactly one). Two Fenwick trees over the chunks'
  ** sizes and LF counts find the chunk of a position or of a line in
  ** O(log n), and an edit updates them in O(log n), so no edit or jump
  ** moves more than a chunk's bytes. */
  std::vector<Chunk> chunks;
  std::vector<cw_long> fw_len, fw_lfs; /* 1-based: [i] covers chunks (i - lowbit(i), i] */
  cw_long len;                         /* characters in the text */
  cw_long lines;                       /* LFs + 1 */
  cw_long scan;                        /* the scan position, beside what ScanNext reads */

  /* The chunk last found, so that reading on from a position costs one
  ** comparison: it holds positions [hc_start, hc_start + hc_size).
  ** hc_size 0 means nothing is cached. */
  size_t hc;
  cw_long hc_start, hc_size;
  const char* hc_text;
  unsigned char* hc_col;

  /* The line last found, [lh_start, lh_end) (lh_end is len + 1 on the
  ** last line), and the LF last found: the lf_k-th, at lf_pos, in chunk
  ** lf_chunk at lf_off, whose LFs run up to the lf_last-th. */
  cw_long lh_line, lh_start, lh_end;
  cw_long lf_k, lf_pos, lf_last;
  size_t lf_chunk, lf_off;

  /* The text as it was loaded, in one piece: the chunks made then are
  ** stretches of it, so that a loaded text is held once. While no edit
  ** has come (whole), it is also the text in one piece for readers that
  ** need one; after an edit they get a copy in flat. */
  std::unique_ptr<char, FreeMemory> loaded;
  size_t loaded_size, loaded_cap;
  bool whole;

  std::string flat;           /* the whole text in one piece, for readers that need it */
  unsigned long long flat_of; /* the generation flat holds, 0 none */
  std::string span;           /* a shorter piece across chunks */

  std::vector<cw_long> palette;  /* palette[0] is CW_NO_COLOUR */
  size_t last_code;              /* the code last looked up, tried first */
  unsigned long long generation; /* unique among all buffers' texts ever */

  cw_long cursor;
  std::vector<cw_long> saved; /* PushPosition stack */

  std::vector<cw_run> runs;
  cw_long run_low;                /* lowest start of a ColorRun since the runs were cleared */
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

/* The editor: the current buffer's state inline, so the host operations
** reach it as directly as if there were one buffer, and what all buffers
** share. The others wait in parked until selected. */
struct Editor : Buffer {
  std::vector<Buffer*> parked;
  std::unordered_map<cw_doc, size_t> parked_at; /* handle -> index in parked */
  cw_doc buffer_serial;                         /* handles ever made; survives resets */
  unsigned long long generation_serial;         /* texts ever made; survives resets */

  bool record_runs; /* ColorRun calls kept in runs; on by default */
  cw_long category[CW_CATEGORY_COUNT];
  cw_long scan_line_limit;
  cw_long state_flag;

  int display_holds;
  bool has_message;
  std::string message;

  std::vector<Extension> extensions;
  std::vector<Export> exports;
  void* module;        /* the loaded plug-in, or NULL */
  bool loading;        /* inside the module's _init */
  Owner module_serial; /* modules ever loaded; the loaded one's owner number */
  Owner owner;         /* owner of what is made now: the module while its _init
                         ** or a function bound to it runs, else 0 */
  size_t unload_leaks; /* blocks modules left live, dropped when they were unloaded */

  std::vector<Table*> tables;      /* live tables in order of creation */
  std::vector<Table*> table_slots; /* by handle: slot i is serial first_table_serial + 1 + i,
                                   ** NULL once that table was dropped */
  uintptr_t table_serial;          /* handles ever made; survives resets */
  uintptr_t first_table_serial;    /* serial before table_slots[0]: the last reset's, moved on
                                   ** as dropped tables leave the front */
  bool has_refused_key;
  std::string refused_key;

  std::unordered_map<void*, Block> ledger;
  unsigned long long next_serial;
  unsigned long long baseline_serial;
  size_t bad_frees;
  unsigned long alloc_calls;
  unsigned long fail_at;        /* alloc_calls value that fails; 0 none */
  unsigned long buffer_calls;   /* the buffer's own allocations since reset */
  unsigned long buffer_fail_at; /* buffer_calls value that fails; 0 none */
  unsigned long refusals;       /* requests refused for lack of memory since reset */

  bool log_on;
  std::vector<std::string> log;
  unsigned long long calls;
};

/* Only the editor's own files reach the state. */
extern Editor ed;

/* ---- the text (text_store.cpp) ---- */
/* Notes a request refused for lack of memory, for cw_memory_refusals. */
inline void refused(void) {
  ed.refusals++;
}
/* Counts one allocation of the buffer's own (chunks, the loaded text, the
** chunk index, the change record, buffers); true when it is the one
** cw_fail_buffer_at armed, which then fails as if memory had run out. */
bool buffer_alloc_fails(void);
/* Adds n bytes at the end, as loading a text in pieces does: no change is
** recorded; cursor, scan and saved positions stay. False, with nothing
** added, when memory runs out or positions would pass 32 bits. */
bool append_text(const char* s, size_t n);
/* Room for a text loaded by appending, of n bytes in all; false without memory. */
bool reserve_text(size_t n);
inline cw_long text_length(void) {
  return ed.len;
}
/* Makes the chunk holding pos (inside the text) the cached one. */
void find_chunk(cw_long pos);
/* ScanNext beyond the cached chunk: onto the next chunk or the end. */
cw_long scan_next_far(cw_long pos);
/* Whether pos lies in the cached chunk: one subtraction, one comparison. */
inline bool cached(cw_long pos) {
  return (unsigned long)(pos - ed.hc_start) < (unsigned long)ed.hc_size;
}
/* The byte at pos, which must lie inside the text. */
inline char text_at(cw_long pos) {
  assert(pos >= 0 && pos < ed.len);
  if (CW_UNLIKELY(!cached(pos))) find_chunk(pos);
  return ed.hc_text[pos - ed.hc_start];
}
inline cw_long char_at(cw_long pos) {
  return pos >= 0 && pos < text_length() ? (unsigned char)text_at(pos) : CW_NO_CHAR;
}
inline cw_long clamp_pos(cw_long pos) {
  return pos < 0 ? 0 : pos > text_length() ? text_length() : pos;
}
/* The n bytes from pos (inside the text) in one piece: inside one chunk,
** the chunk itself; else a copy. Valid until the next edit or the next
** call. */
const char* text_span(cw_long pos, cw_long n);
void copy_text(cw_long pos, cw_long n, char* out); /* n bytes from pos, inside the text */

/* ---- edits (text_edits.cpp) ---- */
/* Replaces the text; also clears the change record. False when memory runs
** out or the text would pass 32-bit positions: the buffer is then as it
** was. */
bool set_text(const char* s, size_t n);
/* Replaces n_del bytes at pos by ins[0..n_ins); colours of the new bytes
** are 0; cursor, saved positions and scan position after the change move
** with the text. The change record grows to cover it. False, with nothing
** changed, when memory runs out. */
bool replace_text(cw_long pos, cw_long n_del, const char* ins, cw_long n_ins);
void clear_change(void);

/* ---- the line index (lines.cpp) ---- */
inline cw_long line_count(void) {
  return ed.lines;
}
cw_long line_start(cw_long index);        /* of the 0-based line index, which must exist */
cw_long line_index(cw_long pos);          /* 0-based line holding pos */
cw_long line_end(cw_long index);          /* position of the line's break, or end */
cw_long line_break_length(cw_long index); /* 0, 1 (LF) or 2 (CR LF) */

/* ---- colours (colours.cpp) ---- */
/* Colours: the value of the character at pos (inside the text), and n
** characters from pos set to one value. fill_colour answers false, and
** colours nothing, when the buffer already holds 255 other colours. */
inline cw_long colour_at(cw_long pos) {
  assert(pos >= 0 && pos < ed.len);
  if (CW_UNLIKELY(!cached(pos))) find_chunk(pos);
  return ed.hc_col == NULL ? CW_NO_COLOUR : ed.palette[ed.hc_col[pos - ed.hc_start]];
}
bool fill_colour_anywhere(cw_long pos, cw_long n, cw_long colour);
/* A token inside the cached chunk, in a colour among the palette's first
** sixteen, is the common case of a colouring pass: it is filled here
** without a call. */
inline bool fill_colour(cw_long pos, cw_long n, cw_long colour) {
  if (CW_LIKELY(n > 0 && n <= 64 && cached(pos) && pos + n <= ed.hc_start + ed.hc_size &&
                ed.hc_col != NULL)) {
    const cw_long* p = ed.palette.data();
    size_t count = ed.palette.size() < 17 ? ed.palette.size() : 17, code = ed.last_code;
    if (code >= count || p[code] != colour || code == 0)
      for (code = 1; code < count && p[code] != colour; code++) {
      }
    if (code < count) {
      ed.last_code = code;
      unsigned char* c = ed.hc_col + (pos - ed.hc_start);
      for (cw_long i = 0; i < n; i++) c[i] = (unsigned char)code;
      return true;
    }
  }
  return fill_colour_anywhere(pos, n, colour);
}
/* The palette codes of the n characters from pos (inside the text). */
void colour_codes(cw_long pos, cw_long n, unsigned char* out);

/* ---- buffers and the reset (buffers.cpp) ---- */
void reset_state(void);
cw_doc new_buffer(void); /* parked, empty; 0 if it cannot be made */
bool select_buffer(cw_doc id);
bool free_buffer(cw_doc id); /* the current one: another, or a fresh one, takes its place */

/* ---- ledger (ops_strings.cpp) ---- */
bool alloc_fails(void);                       /* counts one allocating call */
void* ledger_block(size_t n, int kind);       /* NULL if it fails */
char* ledger_string(const char* s, size_t n); /* NUL added; NULL if it fails */
bool ledger_release(void* p, int kind);
size_t drop_blocks_of(Owner owner); /* releases them; answers how many */

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
void drop_tables_of(Owner owner); /* with their entries; their handles find nothing after */

/* ---- module loading (module_posix.cpp / module_win32.cpp) ---- */
void* module_open(const char* path);
Function module_symbol(void* module, const char* name);
Function self_symbol(const char* name); /* the running program's own export */
void module_close(void* module);

}  // namespace cw

CW_HIDDEN_END

/* Every host operation opens with this: one count, one predictable branch. */
#define CW_ENTER(name, ...)                                          \
  do {                                                               \
    ++cw::ed.calls;                                                  \
    if (CW_UNLIKELY(cw::ed.log_on)) cw::log_call(name, __VA_ARGS__); \
  } while (0)

#endif /* CW_MODEL_H */
