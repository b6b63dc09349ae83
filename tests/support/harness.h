// Drives the plug-in through the stand-in editor on arbitrary bytes and
// checks, after every call, what a plug-in must never do to its editor:
// leave a string or block behind, free what it does not own, unbalance the
// cursor stack or the display hold, colour outside the buffer, change the
// text when it says it did nothing, or run on without bound. Each run_*
// function returns null when all is well, else what went wrong; the fuzz
// programs abort on it, the regression and fault-injection tests report it.
//
// Arguments are taken from the END of the input and the text is what is
// left before them, so any plain text file is a usable seed.
#ifndef WYN_SUPPORT_HARNESS_H
#define WYN_SUPPORT_HARNESS_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "cwedit.h"
#include "editor.h"
#include "frame/exports.h"
#include "frame/module.h"

namespace fuzz {

// Host calls the call under way may still make, as an absolute value of
// cw_call_count(). The fuzz programs' step guard stops a run beyond it, so
// an endless loop shows up as a crash at once rather than as a timeout.
inline unsigned long long step_limit = ~0ull;

// The stand-in's tables live until its next reset; hand them back before
// the leak check at exit, which would otherwise count them.
inline void release_at_exit(void) {
  cw_reset();
}

// {====== reading the input =============================================== */

struct input {
  const uint8_t* data;
  size_t size;  // bytes not yet taken; the text is data[0..size) at the end
};

inline uint8_t take_byte(input* in) {
  if (in->size == 0) return 0;
  in->size--;
  return in->data[in->size];
}

inline uint32_t take_u32(input* in) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= (uint32_t)take_byte(in) << (8 * i);
  return v;
}

// One 32-bit argument, from a selector and a raw value: mostly the values
// that break arithmetic and bounds (0, -1, the extremes, just past the
// text), often one inside the text's scale, else the raw bits.
struct arg {
  uint8_t how;
  uint32_t raw;
};

inline arg take_arg(input* in) {
  arg a;
  a.how = take_byte(in);
  a.raw = take_u32(in);
  return a;
}

inline cw_long pick(arg a, cw_long scale) {
  if (scale < 0) scale = 0;
  switch (a.how % 10) {
    case 0:
      return (cw_long)a.raw;
    case 1:
      return -1;
    case 2:
      return 0;
    case 3:
      return (cw_long)(a.raw % 64);
    case 4:
      return scale + (cw_long)(a.raw % 9) - 4;
    case 5:
      return INT32_MAX - (cw_long)(a.raw % 4);
    case 6:
      return INT32_MIN + (cw_long)(a.raw % 4);
    case 7:
      return -(cw_long)(a.raw % 64);
    default:
      return (cw_long)(a.raw % ((uint32_t)scale + 2));
  }
}

// A category colour: 0 a quarter of the time, since 0 switches strings
// and numbers off.
inline cw_long pick_colour(uint8_t b) {
  return b % 4 == 0 ? 0 : (cw_long)b;
}

// }====== */

// {====== setting up ====================================================== */

// The tables start-up builds, unless the stand-in still holds ours: a test
// that ran before may have reset it, leaving the handles stale.
inline void ensure_tables(void) {
  if (cw_table_count() >= 4 && wyn_keyword_tables[0] == cw_table_at(0) &&
      wyn_template_table == cw_table_at(3))
    return;
  support::fresh_editor("");
}

// A buffer holding text, settings at their defaults but the line budget,
// and everything live from here on counted as this input's.
inline void load(const uint8_t* text, size_t n, cw_long line_limit) {
  ensure_tables();
  cw_set_text((const char*)text, n);
  for (int c = 0; c < CW_CATEGORY_COUNT; c++) cw_set_category_colour(c, 0x100 + c);
  cw_set_scan_line_limit(line_limit);
  cw_set_state_flag(0);
  cw_clear_runs();
  cw_ledger_baseline();
}

inline size_t text_length(void) {
  size_t n = 0;
  cw_text(&n);
  return n;
}

using support::buffer_text;

inline cw_long line_ends(const std::string& s) {
  cw_long n = 0;
  for (size_t i = 0; i < s.size(); i++)
    if (s[i] == '\n') n++;
  return n;
}

// }====== */

// {====== checks ========================================================== */

// What the stand-in looked like before a call.
struct before {
  unsigned long long calls;
  size_t runs;
  int depth;
  int holds;
};

// Notes the state and arms the step guard for a call allowed per_char host
// calls per character of the buffer plus a fixed number.
inline before start(unsigned long long per_char, unsigned long long fixed) {
  before b;
  b.calls = cw_call_count();
  b.runs = cw_run_count();
  b.depth = cw_position_depth();
  b.holds = cw_display_holds();
  step_limit = b.calls + per_char * (text_length() + 1) + fixed;
  return b;
}

// What went wrong in the call since b, or null.
inline const char* finish(const before* b) {
  unsigned long long limit = step_limit;
  step_limit = ~0ull;
  if (cw_call_count() > limit) return "more host calls than the text allows";
  if (cw_bad_frees() != 0) return "freed a pointer the editor did not hand out";
  if (cw_live_since_baseline() != 0) return "left a string or block unreleased";
  if (cw_position_depth() != b->depth) return "cursor stack unbalanced";
  if (cw_display_holds() != b->holds) return "display hold unbalanced";
  cw_long n = (cw_long)text_length();
  for (size_t i = b->runs; i < cw_run_count(); i++) {
    cw_run r = cw_run_at(i);
    if (r.length <= 0) return "empty or negative colour run";
    if (r.pos < 0 || r.pos > n || r.length > n - r.pos) return "colour run outside the buffer";
  }
  return 0;
}

// Live strings must be exactly the copies the keyword tables hold (tables
// made with flag 0; the template table's texts are the editor's own).
inline const char* keyword_copies_only(void) {
  size_t held = 0;
  for (size_t t = 0; t < cw_table_count(); t++) {
    cw_table table = cw_table_at(t);
    if (cw_table_flag(table) != 0) continue;
    for (size_t i = 0; i < cw_table_size(table); i++) {
      size_t len = 0;
      const char* key = cw_table_key(table, i, &len);
      std::string word(key, len);
      cw_slot slot = cw_table_find(table, word.c_str());
      if (slot && *slot) {
        if (strcmp((const char*)*slot, word.c_str()) != 0) return "keyword value is not its word";
        held++;
      }
    }
  }
  if (cw_bad_frees() != 0) return "freed a pointer the editor did not hand out";
  if (cw_live_allocations() != held) return "keyword copies lost or leaked";
  return 0;
}

// }====== */

// {====== the services ==================================================== */

// Whole-buffer and counted colouring, the count from an arbitrary scan
// position, under arbitrary line budgets and colour values.
inline const char* run_colour(const uint8_t* data, size_t size) {
  input in = {data, size};
  arg count = take_arg(&in);
  arg pos = take_arg(&in);
  arg limit = take_arg(&in);
  cw_long colours[CW_CATEGORY_COUNT];
  for (int c = 0; c < CW_CATEGORY_COUNT; c++) colours[c] = pick_colour(take_byte(&in));
  load(data, in.size, 0);
  std::string text = buffer_text();
  cw_long n = (cw_long)text.size();
  cw_long lines = line_ends(text);
  cw_set_scan_line_limit(pick(limit, lines));
  for (int c = 0; c < CW_CATEGORY_COUNT; c++) cw_set_category_colour(c, colours[c]);

  before b = start(32, 64);
  _wyn_language_colors(CW_ALL_LINES);
  if (const char* e = finish(&b)) return e;
  // One more for a line comment on the last line, which has no line end.
  if (lines_coloured < 0 || lines_coloured > lines + 1) return "whole-buffer line count wrong";

  ScanSetPos(pick(pos, n));
  b = start(32, 64);
  _wyn_language_colors(pick(count, lines));
  if (const char* e = finish(&b)) return e;
  if (lines_coloured < 0 || lines_coloured > lines + 1) return "counted line count wrong";
  if (buffer_text() != text) return "colouring changed the text";
  return 0;
}

// Range re-colouring on arbitrary line ranges: 0, negative, reversed,
// beyond the end.
inline const char* run_update(const uint8_t* data, size_t size) {
  input in = {data, size};
  arg first = take_arg(&in);
  arg last = take_arg(&in);
  arg limit = take_arg(&in);
  uint8_t flags = take_byte(&in);
  load(data, in.size, 0);
  std::string text = buffer_text();
  cw_long lines = line_ends(text) + 1;
  cw_set_scan_line_limit(pick(limit, lines));
  cw_set_state_flag(flags & 1);
  if (flags & 2) cw_set_category_colour(CW_STRINGS, 0);
  if (flags & 4) cw_set_category_colour(CW_NUMBERS, 0);

  cw_long f = pick(first, lines);
  cw_long l = pick(last, lines);
  before b = start(64, 256);
  cw_long r = _wyn_language_colors_update(f, l);
  if (const char* e = finish(&b)) return e;
  if (r != 0) return "update answered other than 0";
  if ((f <= 0 || l <= 0) && cw_call_count() != b.calls)
    return "range without lines called the editor";
  if (buffer_text() != text) return "re-colouring changed the text";
  return 0;
}

enum { EDIT_EXPAND, EDIT_INDENT, EDIT_ROUTINES, EDIT_NONE };

// One editing aid at the cursor. On a result of 0 the buffer and cursor
// must be as they were; the routine list never edits, and leaves the
// cursor at the top or, having found nothing, where it was.
inline const char* run_one_edit(int which) {
  std::string text = buffer_text();
  cw_long cursor = cw_cursor();
  before b = start(16, 128);
  cw_long r = 0;
  if (which == EDIT_EXPAND) r = _wyn_expand();
  if (which == EDIT_INDENT) r = _wyn_indent();
  if (which == EDIT_ROUTINES) _wyn_routines();
  if (const char* e = finish(&b)) return e;
  if (r != 0 && r != 1) return "editing aid answered other than 0 or 1";
  if (which == EDIT_ROUTINES) {
    if (buffer_text() != text) return "routine list changed the text";
    const char* message = cw_last_message();
    bool none = message && strcmp(message, "No routines found.") == 0;
    if (none && cw_cursor() != cursor) return "routine list lost the cursor";
    if (!none && cw_cursor() != 0) return "routine list did not end at the top";
    return 0;
  }
  if (r == 0 && buffer_text() != text) return "changed the text and answered 0";
  if (r == 0 && cw_cursor() != cursor) return "moved the cursor and answered 0";
  if (which == EDIT_INDENT && r == 1 && buffer_text().size() <= text.size())
    return "indent answered 1 and added nothing";
  return 0;
}

// Expansion, indent and the routine list, in an order the input picks, at
// an arbitrary cursor position.
inline const char* run_edit(const uint8_t* data, size_t size) {
  input in = {data, size};
  uint8_t order = take_byte(&in);
  arg pos = take_arg(&in);
  arg limit = take_arg(&in);
  load(data, in.size, 0);
  cw_long n = (cw_long)text_length();
  cw_set_scan_line_limit(pick(limit, 64));
  cw_set_cursor(pick(pos, n));
  for (int i = 0; i < 3; i++) {
    if (const char* e = run_one_edit((order >> (2 * i)) & 3)) return e;
    cw_ledger_baseline();
  }
  return 0;
}

// A string argument: a length byte (255: a null pointer) and its bytes,
// taken from the front; an embedded NUL ends it early, as it would in C.
struct text_arg {
  bool null;
  std::string s;
  char* ptr() { return null ? 0 : &s[0]; }
};

inline text_arg take_text(input* in, size_t* at) {
  text_arg t;
  uint8_t len = *at < in->size ? in->data[(*at)++] : 0;
  t.null = len == 255;
  size_t n = t.null ? 0 : len % 48;
  if (n > in->size - *at) n = in->size - *at;
  t.s.assign((const char*)in->data + *at, n);
  *at += n;
  return t;
}

inline uint8_t front_byte(input* in, size_t* at) {
  return *at < in->size ? in->data[(*at)++] : 0;
}

// A sequence of configuration calls with arbitrary strings, before or
// after start-up, then colouring and expansion over the rest of the input.
inline const char* run_config(const uint8_t* data, size_t size) {
  input in = {data, size};
  size_t at = 0;
  uint8_t flags = front_byte(&in, &at);
  int ops = front_byte(&in, &at) % 16;

  // A freshly loaded module on a fresh editor.
  bool started = (flags & 1) != 0;
  wyn_on_demand_buckets[1] = wyn_on_demand_buckets[2] = 47;
  wyn_comment_introducer[0] = '/';
  support::fresh_editor("", started ? support::ALL_TABLES : support::NO_TABLES);
  for (int i = 0; i < ops; i++) {
    uint8_t kind = front_byte(&in, &at);
    text_arg a = take_text(&in, &at);
    text_arg t = take_text(&in, &at);
    arg num;
    num.how = front_byte(&in, &at);
    num.raw = front_byte(&in, &at) | (uint32_t)front_byte(&in, &at) << 8;
    cw_long value = pick(num, 4);
    cw_ledger_baseline();
    before b = start(0, 64);
    switch (kind % 4) {
      case 0:
        _wyn_add_keyword(a.ptr(), value);
        break;
      case 1:
        _wyn_assign_template(a.ptr(), t.ptr());
        break;
      case 2:
        _wyn_hash_size(value, pick(num, 1 << 16));
        break;
      default:
        WYNSetCommentChar(a.ptr());
        break;
    }
    if (cw_call_count() > step_limit) return "configuration call ran on";
    step_limit = ~0ull;
    if (cw_position_depth() != b.depth || cw_display_holds() != b.holds)
      return "configuration call touched the cursor or display";
    if (cw_bad_frees() != 0) return "freed a pointer the editor did not hand out";
    if (cw_live_since_baseline() > 1) return "a configuration call kept more than one copy";
    if (wyn_comment_introducer[1] != '/' || wyn_comment_introducer[2] != '\0')
      return "comment introducer overrun";
  }
  if (!started && (flags & 2)) {
    wyn_build_keyword_tables();
    wyn_build_template_table();
  }
  // Every word stored holds one copy, and no copy is held by nothing.
  if (const char* e = keyword_copies_only()) return e;

  // The text: what is left after the calls.
  cw_set_text((const char*)data + at, in.size - at);
  cw_ledger_baseline();
  cw_clear_runs();
  before b = start(32, 64);
  _wyn_language_colors(CW_ALL_LINES);
  if (const char* e = finish(&b)) return e;
  // Expand at the start of each of the first lines.
  for (cw_long line = 1; line <= 8 && line <= cw_line_count(); line++) {
    cw_set_cursor(cw_line_start(line));
    if (const char* e = run_one_edit(EDIT_EXPAND)) return e;
    cw_ledger_baseline();
  }
  return 0;
}

// }====== */

// {====== the targets ===================================================== */

typedef const char* (*driver)(const uint8_t* data, size_t size);

struct target {
  const char* name;  // folder under fuzz/corpus and fuzz/regressions
  driver run;
};

// ORDER: the target list in fuzz/CMakeLists.txt builds one program for each.
inline const target targets[] = {
    {"colour", run_colour},
    {"update", run_update},
    {"edit", run_edit},
    {"config", run_config},
};

// The driver of the target called name, or null.
inline driver driver_named(const char* name) {
  for (const target& t : targets)
    if (strcmp(t.name, name) == 0) return t.run;
  return 0;
}

// }====== */

}  // namespace fuzz

#endif
