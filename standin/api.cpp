/*
** The stand-in's own C API (cwedit.h): set the editor up, read back what
** the plug-in did, load the plug-in and call its registered functions.
** None of these count as host calls or appear in the call log. One job,
** the API's thin entry points over the model, kept in one file so that the
** whole surface the session and the tests see reads in one place.
*/
#include "model.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

using cw::ed;

namespace {

union Arg {
  cw_long value;
  char* text;
};

/* Calls fn through a pointer of the exact type the prototype gives. */
template <typename... A>
cw_long invoke(cw::Function fn, bool has_result, A... a) {
  if (has_result) {
    typedef cw_long(CWAPI * Fn)(A...);
    return reinterpret_cast<Fn>(fn)(a...);
  }
  typedef void(CWAPI * Fn)(A...);
  reinterpret_cast<Fn>(fn)(a...);
  return 0;
}

/* Adds one typed argument per level until none is left. */
template <int Left, typename... A>
struct Caller {
  static cw_long go(cw::Function fn, const cw::Export& e, const Arg* args, int i, A... a) {
    if (i == e.argc) return invoke(fn, e.has_result, a...);
    if (e.args[i] == cw::ARG_STRING)
      return Caller<Left - 1, A..., char*>::go(fn, e, args, i + 1, a..., args[i].text);
    return Caller<Left - 1, A..., cw_long>::go(fn, e, args, i + 1, a..., args[i].value);
  }
};

template <typename... A>
struct Caller<0, A...> {
  static cw_long go(cw::Function fn, const cw::Export& e, const Arg*, int, A... a) {
    return invoke(fn, e.has_result, a...);
  }
};

/* Decimal, optional sign, the whole string, within 32 bits. */
bool parse_long(const char* s, cw_long* out) {
  if (s == NULL || *s == '\0') return false;
  char* end = NULL;
  errno = 0;
  long long v = strtoll(s, &end, 10);
  if (errno != 0 || *end != '\0' || s[0] == ' ' || s[0] == '\t') return false;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  *out = (cw_long)v;
  return true;
}

bool valid_category(int c) {
  return c >= 0 && c < CW_CATEGORY_COUNT;
}

/* Entry i of a record, or the empty range past its end. */
cw_mark mark_or_none(const std::vector<cw_mark>& record, size_t i) {
  cw_mark none = {0, 0};
  return i < record.size() ? record[i] : none;
}

}  // namespace

extern "C" {

/* {====== session */

CWEXPORT void CWAPI cw_reset(void) {
  cw::reset_state();
}

CWEXPORT void CWAPI cw_set_category_colour(int category, cw_long colour) {
  if (valid_category(category)) ed.category[category] = colour;
}

CWEXPORT cw_long CWAPI cw_category_colour(int category) {
  return valid_category(category) ? ed.category[category] : 0;
}

CWEXPORT void CWAPI cw_set_scan_line_limit(cw_long limit) {
  ed.scan_line_limit = limit;
}
CWEXPORT void CWAPI cw_set_state_flag(cw_long value) {
  ed.state_flag = value;
}

/* }====== buffers */

CWEXPORT cw_doc CWAPI cw_doc_new(void) {
  return cw::new_buffer();
}
CWEXPORT cw_doc CWAPI cw_doc_current(void) {
  return ed.id;
}
CWEXPORT int CWAPI cw_doc_select(cw_doc doc) {
  return cw::select_buffer(doc) ? 1 : 0;
}
CWEXPORT int CWAPI cw_doc_free(cw_doc doc) {
  return cw::free_buffer(doc) ? 1 : 0;
}
CWEXPORT size_t CWAPI cw_doc_count(void) {
  return ed.parked.size() + 1;
}

/* }====== buffer, cursor, scan position */

/* Also puts cursor and scan position at 0 and forgets saved positions. */
CWEXPORT int CWAPI cw_set_text(const char* text, size_t length) {
  return cw::set_text(text, length) ? 1 : 0;
}

CWEXPORT int CWAPI cw_append_text(const char* text, size_t length) {
  return cw::append_text(text, length) ? 1 : 0;
}

CWEXPORT int CWAPI cw_reserve_text(size_t length) {
  return cw::reserve_text(length) ? 1 : 0;
}

CWEXPORT int CWAPI cw_replace_text(cw_long pos, cw_long n_del, const char* text, size_t length) {
  if (text == NULL) length = 0;                        /* a plain deletion */
  if (length > 0x7FFFFFF0u - (size_t)ed.len) return 0; /* positions are 32-bit */
  return cw::replace_text(pos, n_del, text, (cw_long)length) ? 1 : 0;
}

/* The text in one piece: a copy when it spans chunks, kept until it changes. */
CWEXPORT const char* CWAPI cw_text(size_t* length) {
  const char* t = ed.len == 0 ? "" : cw::text_span(0, ed.len);
  if (length != NULL) *length = t == NULL ? 0 : (size_t)ed.len; /* no memory for the copy */
  return t == NULL ? "" : t;                                    /* never NULL */
}

/* Clamped to the text; no copy of the whole is made. */
CWEXPORT size_t CWAPI cw_text_range(cw_long pos, size_t n, char* out) {
  if (out == NULL || pos < 0 || pos >= ed.len) return 0;
  if (n > (size_t)(ed.len - pos)) n = (size_t)(ed.len - pos);
  cw::copy_text(pos, (cw_long)n, out);
  return n;
}

CWEXPORT cw_long CWAPI cw_char_at(cw_long pos) {
  return cw::char_at(pos);
}

CWEXPORT cw_long CWAPI cw_text_length(void) {
  return ed.len;
}

/* One more line than there are LFs: text ending in LF has an empty last line. */
CWEXPORT cw_long CWAPI cw_line_count(void) {
  return cw::line_count();
}

/* -1 for a line that does not exist. */
CWEXPORT cw_long CWAPI cw_line_start(cw_long line) {
  if (line < 1 || line > cw::line_count()) return -1;
  return cw::line_start(line - 1);
}

/* Positions outside the buffer are clamped first. */
CWEXPORT cw_long CWAPI cw_line_of(cw_long pos) {
  return cw::line_index(cw::clamp_pos(pos)) + 1;
}

CWEXPORT void CWAPI cw_set_cursor(cw_long pos) {
  ed.cursor = cw::clamp_pos(pos);
}
CWEXPORT cw_long CWAPI cw_cursor(void) {
  return ed.cursor;
}
CWEXPORT int CWAPI cw_position_depth(void) {
  return (int)ed.saved.size();
}
CWEXPORT cw_long CWAPI cw_scan_pos(void) {
  return ed.scan;
}
CWEXPORT void CWAPI cw_set_scan_pos(cw_long pos) {
  ed.scan = cw::clamp_pos(pos);
}

/* }====== what the plug-in did */

CWEXPORT cw_long CWAPI cw_colour_at(cw_long pos) {
  if (pos < 0 || pos >= ed.len) return 0;
  return cw::colour_at(pos);
}

/* The category of each palette code is worked out once per call; then each
** character costs one table look-up. */
CWEXPORT void CWAPI cw_categories(cw_long pos, size_t n, signed char* out) {
  if (out == NULL) return;
  signed char of_code[256];
  memset(of_code, -1, sizeof of_code);
  for (size_t c = 1; c < ed.palette.size(); c++)
    for (int k = 0; k < CW_CATEGORY_COUNT; k++)
      if (ed.category[k] == ed.palette[c] && ed.palette[c] != 0) {
        of_code[c] = (signed char)k;
        break;
      }
  size_t i = 0;
  if (pos < 0) { /* before the text */
    size_t k = (size_t) - (long long)pos < n ? (size_t) - (long long)pos : n;
    memset(out, -1, k);
    i = k;
  }
  /* The codes of the text's characters, a stretch at a time. */
  while (i < n) {
    long long at = (long long)pos + (long long)i;
    if (at >= ed.len) {
      memset(out + i, -1, n - i);
      break;
    }
    unsigned char codes[4096];
    size_t k = n - i < sizeof codes ? n - i : sizeof codes;
    if ((long long)k > ed.len - at) k = (size_t)(ed.len - at);
    cw::colour_codes((cw_long)at, (cw_long)k, codes);
    for (size_t j = 0; j < k; j++) out[i + j] = of_code[codes[j]];
    i += k;
  }
}

CWEXPORT size_t CWAPI cw_refresh_count(void) {
  return ed.refreshed.size();
}
CWEXPORT cw_mark CWAPI cw_refresh_at(size_t i) {
  return mark_or_none(ed.refreshed, i);
}
/* The LineRange values named so far go too: the plug-in hands each one
** straight to RefreshLines, so none is pending between calls. */
CWEXPORT void CWAPI cw_refresh_clear(void) {
  ed.refreshed.clear();
  ed.ranges.clear();
}

CWEXPORT int CWAPI cw_changed(cw_change* out) {
  if (!ed.changed) return 0;
  if (out != NULL) {
    out->from = ed.change_from;
    out->removed = ed.change_removed;
    out->inserted = ed.change_inserted;
  }
  return 1;
}
CWEXPORT const char* CWAPI cw_change_old(size_t* length) {
  if (length != NULL) *length = ed.change_old.size();
  return ed.change_old.data();
}
CWEXPORT void CWAPI cw_change_clear(void) {
  cw::clear_change();
}

CWEXPORT size_t CWAPI cw_run_count(void) {
  return ed.runs.size();
}

/* An index out of range gives a run of all zeros. */
CWEXPORT cw_run CWAPI cw_run_at(size_t i) {
  cw_run none = {0, 0, 0};
  return i < ed.runs.size() ? ed.runs[i] : none;
}

CWEXPORT void CWAPI cw_clear_runs(void) {
  ed.runs.clear();
  ed.run_low = -1;
}

CWEXPORT void CWAPI cw_record_runs(int on) {
  ed.record_runs = on != 0;
  if (!ed.record_runs) std::vector<cw_run>().swap(ed.runs);
}

CWEXPORT cw_long CWAPI cw_colour_low(void) {
  return ed.run_low;
}

CWEXPORT void CWAPI cw_log_enable(int on) {
  ed.log_on = on != 0;
}
CWEXPORT size_t CWAPI cw_log_count(void) {
  return ed.log.size();
}
CWEXPORT const char* CWAPI cw_log_at(size_t i) {
  return i < ed.log.size() ? ed.log[i].c_str() : NULL;
}
CWEXPORT void CWAPI cw_log_clear(void) {
  ed.log.clear();
}

CWEXPORT unsigned long long CWAPI cw_call_count(void) {
  return ed.calls;
}

CWEXPORT int CWAPI cw_display_holds(void) {
  return ed.display_holds;
}
CWEXPORT const char* CWAPI cw_last_message(void) {
  return ed.has_message ? ed.message.c_str() : NULL;
}
CWEXPORT void CWAPI cw_clear_message(void) {
  ed.has_message = false;
  ed.message.clear();
}

CWEXPORT size_t CWAPI cw_mark_count(void) {
  return ed.marks.size();
}
CWEXPORT cw_mark CWAPI cw_mark_at(size_t i) {
  return mark_or_none(ed.marks, i);
}
CWEXPORT void CWAPI cw_clear_marks(void) {
  ed.marks.clear();
}

CWEXPORT size_t CWAPI cw_extension_count(void) {
  return ed.extensions.size();
}
CWEXPORT const char* CWAPI cw_extension_at(size_t i) {
  return i < ed.extensions.size() ? ed.extensions[i].text.c_str() : NULL;
}

CWEXPORT size_t CWAPI cw_export_count(void) {
  return ed.exports.size();
}
CWEXPORT const char* CWAPI cw_export_at(size_t i) {
  return i < ed.exports.size() ? ed.exports[i].prototype.c_str() : NULL;
}

/* }====== hash tables */

CWEXPORT size_t CWAPI cw_table_count(void) {
  return ed.tables.size();
}
CWEXPORT cw_table CWAPI cw_table_at(size_t i) {
  return i < ed.tables.size() ? (cw_table)ed.tables[i]->handle : NULL;
}

/* The bucket count in use: as asked, at least 1. */
CWEXPORT cw_long CWAPI cw_table_buckets(cw_table t) {
  cw::Table* table = cw::find_table(t);
  return table == NULL ? 0 : (cw_long)table->buckets.size();
}

CWEXPORT cw_long CWAPI cw_table_flag(cw_table t) {
  cw::Table* table = cw::find_table(t);
  return table == NULL ? 0 : table->flag;
}

CWEXPORT size_t CWAPI cw_table_size(cw_table t) {
  cw::Table* table = cw::find_table(t);
  return table == NULL ? 0 : table->entries.size();
}

CWEXPORT const char* CWAPI cw_table_key(cw_table t, size_t i, size_t* length) {
  cw::Table* table = cw::find_table(t);
  if (table == NULL || i >= table->entries.size()) return NULL;
  if (length != NULL) *length = table->entries[i]->key.size();
  return table->entries[i]->key.data();
}

CWEXPORT cw_slot CWAPI cw_table_find(cw_table t, const char* key) {
  cw::Table* table = cw::find_table(t);
  if (table == NULL || key == NULL) return NULL;
  cw::Entry* e = cw::find_entry(table, key, strlen(key));
  return e == NULL ? NULL : (cw_slot)e->slot;
}

CWEXPORT void CWAPI cw_refuse_key(const char* key) {
  ed.has_refused_key = key != NULL;
  ed.refused_key = key == NULL ? "" : key;
}

/* }====== ledger and fault injection */

CWEXPORT size_t CWAPI cw_live_allocations(void) {
  return ed.ledger.size();
}
CWEXPORT size_t CWAPI cw_bad_frees(void) {
  return ed.bad_frees;
}
CWEXPORT void CWAPI cw_ledger_baseline(void) {
  ed.baseline_serial = ed.next_serial;
}

CWEXPORT size_t CWAPI cw_live_since_baseline(void) {
  size_t n = 0;
  for (std::unordered_map<void*, cw::Block>::const_iterator it = ed.ledger.begin();
       it != ed.ledger.end(); ++it)
    if (it->second.serial >= ed.baseline_serial) n++;
  return n;
}

CWEXPORT unsigned long CWAPI cw_alloc_calls(void) {
  return ed.alloc_calls;
}

CWEXPORT void CWAPI cw_fail_alloc_at(unsigned long k) {
  ed.fail_at = k == 0 ? 0 : ed.alloc_calls + k;
}

CWEXPORT unsigned long CWAPI cw_buffer_allocs(void) {
  return ed.buffer_calls;
}

CWEXPORT void CWAPI cw_fail_buffer_at(unsigned long k) {
  ed.buffer_fail_at = k == 0 ? 0 : ed.buffer_calls + k;
}

CWEXPORT unsigned long CWAPI cw_memory_refusals(void) {
  return ed.refusals;
}

/* }====== the plug-in module */

/* A module already loaded is unloaded first. */
CWEXPORT int CWAPI cw_load_module(const char* path) {
  if (path == NULL) return -1;
  if (ed.module != NULL) cw_unload_module();
  void* module = cw::module_open(path);
  if (module == NULL) return -1;
  cw::Function init = cw::module_symbol(module, "_init");
  if (init == NULL) {
    cw::module_close(module);
    return -1;
  }
  ed.module = module;
  ed.loading = true;
  cw::Owner outer = ed.owner;
  ed.owner = ++ed.module_serial;
  reinterpret_cast<void(CWAPI*)(void)>(init)();
  ed.owner = outer;
  ed.loading = false;
  return 0;
}

/* As the editor does when it frees a plug-in: everything the module made
** goes with it (its registrations, and with them every pointer into it;
** its extension bindings; its tables with their entries and templates; the
** strings and blocks it was handed and still holds, counted first in
** cw_unload_leaks). The buffers and what the editor made itself stay. The
** library is freed first, so that whatever it gives back on its way out is
** given back by it. */
CWEXPORT void CWAPI cw_unload_module(void) {
  if (ed.module == NULL) return;
  cw::Owner owner = ed.module_serial;
  cw::module_close(ed.module);
  ed.module = NULL;
  size_t kept = 0;
  for (size_t i = 0; i < ed.exports.size(); i++)
    if (ed.exports[i].owner != owner && !ed.exports[i].from_module)
      ed.exports[kept++] = ed.exports[i];
  ed.exports.resize(kept);
  kept = 0;
  for (size_t i = 0; i < ed.extensions.size(); i++)
    if (ed.extensions[i].owner != owner) ed.extensions[kept++] = ed.extensions[i];
  ed.extensions.resize(kept);
  cw::drop_tables_of(owner);
  ed.unload_leaks += cw::drop_blocks_of(owner);
}

CWEXPORT size_t CWAPI cw_unload_leaks(void) {
  return ed.unload_leaks;
}

/* The latest registration of a name counts. -1 as well for a function that
** is registered but bound to nothing, and for an argument that is not a
** decimal 32-bit number where the prototype asks for long or int. */
CWEXPORT int CWAPI cw_call(const char* name, int argc, const char* const* argv, cw_long* result) {
  if (name == NULL) return -1;
  const cw::Export* e = NULL;
  for (size_t i = ed.exports.size(); i-- > 0;)
    if (ed.exports[i].name == name) {
      e = &ed.exports[i];
      break;
    }
  if (e == NULL || e->fn == NULL || argc != e->argc) return -1;
  if (argc > 0 && argv == NULL) return -1;
  Arg args[cw::MAX_ARGS];
  for (int i = 0; i < argc; i++) {
    if (e->args[i] == cw::ARG_STRING)
      args[i].text = const_cast<char*>(argv[i]);
    else if (!parse_long(argv[i], &args[i].value))
      return -1;
  }
  cw::Export call = *e; /* the call may register more and move the list */
  /* What a function bound to the module makes while it runs is the
  ** module's: a word added by a call goes with it like the start-up words. */
  cw::Owner outer = ed.owner;
  if (call.from_module) ed.owner = ed.module_serial;
  cw_long r = Caller<cw::MAX_ARGS>::go(call.fn, call, args, 0);
  ed.owner = outer;
  if (result != NULL) *result = r;
  return 0;
}

/* }====== */

} /* extern "C" */
