/*
** The buffer model: text, line index and colours kept in step, the record
** of what edits changed, documents and the choice of the current one, and
** the reset that puts the whole editor back to its defaults.
*/
#include "model.h"

#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <new>

namespace cw {

Editor ed; /* written by every operation; read by every operation */

/* Category colours out of the box: nonzero and distinct (BGR values). */
static const cw_long default_colours[CW_CATEGORY_COUNT] = {
    0x008000, /* comments: green */
    0x800080, /* constants: purple */
    0xFF0000, /* keywords: blue */
    0x808000, /* functions: teal */
    0x000080, /* strings: maroon */
    0x008080, /* numbers: olive */
    0x800000, /* operators: navy */
};

static void index_lines(void) {
  ed.line_starts.clear();
  ed.line_starts.push_back(0);
  const char* base = ed.text.data();
  size_t n = ed.text.size();
  const char* p = base;
  while (n > 0) {
    const char* lf = (const char*)memchr(p, '\n', n);
    if (lf == NULL) break;
    ed.line_starts.push_back((cw_long)(lf - base + 1));
    n -= (size_t)(lf - p + 1);
    p = lf + 1;
  }
}

void set_text(const char* s, size_t n) {
  if (s == NULL) n = 0;
  if (n > 0x7FFFFFF0u) n = 0x7FFFFFF0u; /* positions are 32-bit */
  ed.text.assign(s, s + n);
  ed.colours.assign(n, CW_NO_COLOUR);
  index_lines();
  ed.generation = ++ed.generation_serial;
  ed.cursor = 0;
  ed.saved.clear();
  ed.scan = 0;
  ed.word_noted = false;
  clear_change();
}

void clear_change(void) {
  ed.changed = false;
  ed.change_from = ed.change_removed = ed.change_inserted = 0;
  ed.change_old.clear();
}

/* Widens the change record to cover [pos, pos + n_del) becoming n_ins new
** bytes; called before the text changes. Bytes of the window that no edit
** has touched yet are taken from the text, the rest are already held. */
static void note_change(cw_long pos, cw_long n_del, cw_long n_ins) {
  const char* text = ed.text.data();
  if (!ed.changed) {
    ed.changed = true;
    ed.change_from = pos;
    ed.change_removed = n_del;
    ed.change_inserted = n_ins;
    ed.change_old.assign(text + pos, (size_t)n_del);
    return;
  }
  cw_long from = ed.change_from, end = from + ed.change_inserted; /* window now */
  cw_long lo = pos < from ? pos : from;
  cw_long hi = pos + n_del > end ? pos + n_del : end;
  ed.change_old.insert(0, text + lo, (size_t)(from - lo));
  if (hi > end) ed.change_old.append(text + end, (size_t)(hi - end));
  ed.change_removed += (from - lo) + (hi > end ? hi - end : 0);
  ed.change_from = lo;
  ed.change_inserted = (hi - lo) - n_del + n_ins;
}

/* Where a position ends up when [pos, pos + n_del) becomes n_ins bytes:
** inside the removed part it goes to pos, past it it moves with the text. */
static cw_long moved(cw_long p, cw_long pos, cw_long n_del, cw_long n_ins) {
  if (p <= pos) return p;
  if (p <= pos + n_del) return pos;
  return p - n_del + n_ins;
}

void replace_text(cw_long pos, cw_long n_del, const char* ins, cw_long n_ins) {
  pos = clamp_pos(pos);
  if (n_del < 0) n_del = 0;
  if (n_del > text_length() - pos) n_del = text_length() - pos;
  if (ins == NULL || n_ins < 0) n_ins = 0;
  if (n_del == 0 && n_ins == 0) return;
  note_change(pos, n_del, n_ins);

  size_t at = (size_t)pos;
  ed.text.erase(ed.text.begin() + (ptrdiff_t)at, ed.text.begin() + (ptrdiff_t)(at + (size_t)n_del));
  ed.text.insert(ed.text.begin() + (ptrdiff_t)at, ins, ins + n_ins);
  ed.colours.erase(ed.colours.begin() + (ptrdiff_t)at,
                   ed.colours.begin() + (ptrdiff_t)(at + (size_t)n_del));
  ed.colours.insert(ed.colours.begin() + (ptrdiff_t)at, (size_t)n_ins, CW_NO_COLOUR);

  /* A line start s follows the LF at s - 1: those up to pos stay, those
  ** whose LF was removed go, later ones shift, and each new LF adds one. */
  std::vector<cw_long>& starts = ed.line_starts;
  std::vector<cw_long>::iterator a = std::upper_bound(starts.begin(), starts.end(), pos);
  std::vector<cw_long>::iterator b = std::upper_bound(a, starts.end(), pos + n_del);
  std::vector<cw_long> rebuilt(starts.begin(), a);
  for (cw_long i = 0; i < n_ins; i++)
    if (ins[i] == '\n') rebuilt.push_back(pos + i + 1);
  for (; b != starts.end(); ++b) rebuilt.push_back(*b - n_del + n_ins);
  starts.swap(rebuilt);

  ed.cursor = moved(ed.cursor, pos, n_del, n_ins);
  ed.scan = moved(ed.scan, pos, n_del, n_ins);
  for (size_t i = 0; i < ed.saved.size(); i++) ed.saved[i] = moved(ed.saved[i], pos, n_del, n_ins);
  ed.generation = ++ed.generation_serial;
}

cw_long line_index(cw_long pos) {
  std::vector<cw_long>::const_iterator it =
      std::upper_bound(ed.line_starts.begin(), ed.line_starts.end(), pos);
  cw_long index = (cw_long)(it - ed.line_starts.begin()) - 1;
  return index < 0 ? 0 : index;
}

cw_long line_end(cw_long index) {
  if (index + 1 < line_count()) return ed.line_starts[(size_t)index + 1] - 1;
  return text_length();
}

cw_long line_break_length(cw_long index) {
  if (index + 1 >= line_count()) return 0; /* the last line has no break */
  cw_long lf = ed.line_starts[(size_t)index + 1] - 1;
  if (lf - 1 >= ed.line_starts[(size_t)index] && ed.text[(size_t)lf - 1] == '\r') return 2;
  return 1;
}

/* {====== documents */

/* d becomes an empty document with a new handle. */
static void make_empty(Document* d) {
  *d = Document();
  d->id = ++ed.doc_serial;
  d->line_starts.push_back(0);
  d->generation = ++ed.generation_serial;
}

cw_doc new_document(void) {
  Document* d = new (std::nothrow) Document();
  if (d == NULL) return 0;
  make_empty(d);
  ed.parked.push_back(d);
  return d->id;
}

static size_t parked_index(cw_doc id) {
  for (size_t i = 0; i < ed.parked.size(); i++)
    if (ed.parked[i]->id == id) return i;
  return ed.parked.size();
}

/* The current document's state swaps places with the parked one, so the
** parked list keeps every other document and the operations keep reaching
** the current one directly. */
bool select_document(cw_doc id) {
  if (id == ed.id) return id != 0;
  size_t i = parked_index(id);
  if (i == ed.parked.size()) return false;
  std::swap(static_cast<Document&>(ed), *ed.parked[i]);
  return true;
}

bool free_document(cw_doc id) {
  if (id == 0) return false;
  if (id == ed.id) {
    make_empty(&ed);
    return true;
  }
  size_t i = parked_index(id);
  if (i == ed.parked.size()) return false;
  delete ed.parked[i];
  ed.parked.erase(ed.parked.begin() + (ptrdiff_t)i);
  return true;
}

/* }====== */

/* Gives back every block the ledger holds, every table and every parked
** document. */
static void release_memory(void) {
  for (std::unordered_map<void*, Block>::iterator it = ed.ledger.begin(); it != ed.ledger.end();
       ++it)
    free(it->first);
  ed.ledger.clear();
  free_tables();
  for (size_t i = 0; i < ed.parked.size(); i++) delete ed.parked[i];
  ed.parked.clear();
}

void reset_state(void) {
  release_memory();
  if (ed.module != NULL) module_close(ed.module);

  unsigned long long generation_serial = ed.generation_serial;
  cw_doc doc_serial = ed.doc_serial;
  uintptr_t table_serial = ed.table_serial;
  ed = Editor();
  ed.generation_serial = generation_serial;
  ed.doc_serial = doc_serial;
  ed.table_serial = table_serial;
  ed.first_table_serial = table_serial;
  for (int i = 0; i < CW_CATEGORY_COUNT; i++) ed.category[i] = default_colours[i];
  ed.scan_line_limit = 40; /* the documented default */
  ed.next_serial = 1;
  make_empty(&ed);
}

/* Bring the state to its defaults before anybody calls in. */
[[maybe_unused]] static const bool initialised = (reset_state(), true);

/* At exit, give back what the plug-in left with the editor on purpose (the
** keyword tables and their copies), so that leak checkers report only real
** leaks. Defined after ed, so it runs before ed is destroyed. */
static struct ReleaseAtExit {
  ~ReleaseAtExit() { release_memory(); }
} release_at_exit;

}  // namespace cw
