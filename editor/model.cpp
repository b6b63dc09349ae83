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

/* {====== the gap buffer */

/* Spare room a text of n bytes gets when it is set or grows: small against
** the text, so memory stays near one byte per character, and enough that
** typing reallocates rarely. */
static size_t slack_for(size_t n) {
  return n / 32 + 4096;
}

/* Moves the gap to start at pos (0..len), taking the colours along. */
static void move_gap(cw_long pos) {
  if (pos == ed.gap) return;
  char* t = ed.buf.data();
  unsigned char* c = ed.col.empty() ? NULL : ed.col.data();
  size_t g = (size_t)ed.gap_size;
  if (pos < ed.gap) { /* bytes [pos, gap) go to the end of the gap */
    size_t n = (size_t)(ed.gap - pos);
    memmove(t + pos + g, t + pos, n);
    if (c != NULL) memmove(c + pos + g, c + pos, n);
  } else { /* bytes [gap + g, pos + g) come down to the gap's start */
    size_t n = (size_t)(pos - ed.gap);
    memmove(t + ed.gap, t + ed.gap + g, n);
    if (c != NULL) memmove(c + ed.gap, c + ed.gap + g, n);
  }
  ed.gap = pos;
}

/* Makes the gap at least need bytes wide; false when memory runs out. */
static bool widen_gap(cw_long need) {
  if (ed.gap_size >= need) return true;
  size_t len = (size_t)ed.len, size = len + (size_t)need + slack_for(len);
  size_t after = (size_t)(ed.len - ed.gap); /* bytes behind the gap */
  size_t old_after = (size_t)(ed.gap + ed.gap_size);
  size_t new_after = size - after;
  try {
    std::vector<char> t(size);
    memcpy(t.data(), ed.buf.data(), (size_t)ed.gap);
    memcpy(t.data() + new_after, ed.buf.data() + old_after, after);
    if (!ed.col.empty()) {
      std::vector<unsigned char> c(size);
      memcpy(c.data(), ed.col.data(), (size_t)ed.gap);
      memcpy(c.data() + new_after, ed.col.data() + old_after, after);
      ed.col.swap(c);
    }
    ed.buf.swap(t);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ed.gap_size = (cw_long)(size - len);
  return true;
}

const char* text_span(cw_long pos, cw_long n) {
  if (pos < ed.gap && pos + n > ed.gap) move_gap(ed.gap - pos < pos + n - ed.gap ? pos : pos + n);
  return ed.buf.data() + (pos < ed.gap ? pos : pos + ed.gap_size);
}

void copy_text(cw_long pos, cw_long n, char* out) {
  const char* t = ed.buf.data();
  if (pos < ed.gap) {
    cw_long k = ed.gap - pos < n ? ed.gap - pos : n;
    memcpy(out, t + pos, (size_t)k);
    out += k, pos += k, n -= k;
  }
  if (n > 0) memcpy(out, t + pos + ed.gap_size, (size_t)n);
}

/* The palette code of a colour, added when new; codes no character holds
** any longer are given back first when the palette is full. -1 when 255
** other colours are in use. */
static int colour_code(cw_long colour) {
  if (colour == CW_NO_COLOUR) return 0;
  std::vector<cw_long>& p = ed.palette;
  if (ed.last_code < p.size() && p[ed.last_code] == colour) return (int)ed.last_code;
  for (size_t i = 1; i < p.size(); i++)
    if (p[i] == colour) return (int)(ed.last_code = i);
  if (p.size() == 256) {
    bool used[256] = {false};
    for (cw_long i = 0; i < ed.len; i++)
      used[ed.col[(size_t)(i < ed.gap ? i : i + ed.gap_size)]] = true;
    unsigned char to[256];
    std::vector<cw_long> kept(1, CW_NO_COLOUR);
    to[0] = 0;
    for (size_t i = 1; i < 256; i++)
      if (used[i]) {
        to[i] = (unsigned char)kept.size();
        kept.push_back(p[i]);
      }
    if (kept.size() == 256) return -1;
    for (size_t i = 0; i < ed.col.size(); i++) ed.col[i] = to[ed.col[i]];
    p.swap(kept);
  }
  p.push_back(colour);
  return (int)p.size() - 1;
}

bool fill_colour(cw_long pos, cw_long n, cw_long colour) {
  if (n <= 0) return true;
  if (n <= 16 && pos + n <= ed.gap && !ed.col.empty()) { /* a token before the gap */
    int code = colour_code(colour);
    if (code < 0) return false;
    unsigned char* c = ed.col.data() + pos;
    for (cw_long i = 0; i < n; i++) c[i] = (unsigned char)code;
    return true;
  }
  if (ed.col.empty()) {
    if (colour == CW_NO_COLOUR) return true; /* nothing coloured yet */
    try {
      ed.col.assign(ed.buf.size(), 0);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  int code = colour_code(colour);
  if (code < 0) return false;
  unsigned char* c = ed.col.data();
  if (pos < ed.gap) {
    cw_long k = ed.gap - pos < n ? ed.gap - pos : n;
    memset(c + pos, code, (size_t)k);
    pos += k, n -= k;
  }
  if (n > 0) memset(c + pos + ed.gap_size, code, (size_t)n);
  return true;
}

/* }====== */

/* {====== the line index */

/* Moves the line gap so that it starts at line index i. */
static void move_line_gap(cw_long i) {
  cw_long* l = ed.ls.data();
  cw_long g = ed.lgap_size, len = ed.len, at = ed.lgap;
  /* plain loops over locals, so the compiler can do them in vectors */
  for (cw_long k = at - 1; k >= i; k--) l[k + g] = len - l[k];
  for (cw_long k = at; k < i; k++) l[k] = len - l[k + g];
  ed.lgap = i;
}

/* Room for need more line starts in the gap; false when memory runs out. */
static bool widen_line_gap(cw_long need) {
  if (ed.lgap_size >= need) return true;
  size_t size = (size_t)ed.lines + (size_t)need + (size_t)ed.lines / 32 + 256;
  size_t after = (size_t)(ed.lines - ed.lgap);
  try {
    std::vector<cw_long> l(size);
    memcpy(l.data(), ed.ls.data(), (size_t)ed.lgap * sizeof(cw_long));
    memcpy(l.data() + size - after, ed.ls.data() + ed.lgap + ed.lgap_size, after * sizeof(cw_long));
    ed.ls.swap(l);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ed.lgap_size = (cw_long)(size - (size_t)ed.lines);
  return true;
}

/* Counts the lines of the text and notes where each starts; the gap of
** the index stays at its end. False when memory runs out. */
static bool index_lines(const char* s, size_t n) {
  size_t count = 1;
  const char* e = s + n;
  for (const char* p = s; p < e && (p = (const char*)memchr(p, '\n', (size_t)(e - p))) != NULL; p++)
    count++;
  try {
    std::vector<cw_long> l(count + count / 32 + 256);
    l[0] = 0;
    size_t k = 1;
    for (const char* p = s; p < e && (p = (const char*)memchr(p, '\n', (size_t)(e - p))) != NULL;
         p++)
      l[k++] = (cw_long)(p - s + 1);
    ed.ls.swap(l);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ed.lines = ed.lgap = (cw_long)count;
  ed.lgap_size = (cw_long)(ed.ls.size() - count);
  ed.lhint = 0;
  return true;
}

/* Most look-ups are on the line last looked up or the one after it, as a
** scan walks down the text; the rest search the half of the index that
** holds pos. */
cw_long line_index(cw_long pos) {
  cw_long h = ed.lhint;
  if (h < ed.lines && line_start(h) <= pos) {
    if (h + 1 == ed.lines || pos < line_start(h + 1)) return h;
    if (h + 2 == ed.lines || pos < line_start(h + 2)) return ed.lhint = h + 1;
  }
  const cw_long* l = ed.ls.data();
  cw_long index;
  if (ed.lgap < ed.lines && pos >= line_start(ed.lgap)) {
    /* after the gap, distances from the end fall as lines go down */
    const cw_long* a = l + ed.lgap + ed.lgap_size;
    const cw_long* e = l + ed.lgap_size + ed.lines;
    cw_long d = ed.len - pos;
    index =
        ed.lgap + (cw_long)(std::partition_point(a, e, [d](cw_long v) { return v >= d; }) - a) - 1;
  } else {
    index = (cw_long)(std::upper_bound(l, l + ed.lgap, pos) - l) - 1;
  }
  if (index < 0) index = 0;
  return ed.lhint = index;
}

cw_long line_end(cw_long index) {
  if (index + 1 < line_count()) return line_start(index + 1) - 1;
  return text_length();
}

cw_long line_break_length(cw_long index) {
  if (index + 1 >= line_count()) return 0; /* the last line has no break */
  cw_long lf = line_start(index + 1) - 1;
  if (lf - 1 >= line_start(index) && text_at(lf - 1) == '\r') return 2;
  return 1;
}

/* }====== */

void set_text(const char* s, size_t n) {
  if (s == NULL) n = 0;
  if (n > 0x7FFFFFF0u) n = 0x7FFFFFF0u; /* positions are 32-bit */
  /* What the document held is given back before the new text is taken,
  ** so a large text never sits in memory twice. */
  std::vector<char>().swap(ed.buf);
  std::vector<unsigned char>().swap(ed.col);
  std::vector<cw_long>().swap(ed.ls);
  ed.palette.assign(1, CW_NO_COLOUR);
  ed.len = ed.gap = ed.gap_size = 0;
  ed.lines = 1;
  ed.lgap = ed.lgap_size = ed.lhint = 0;
  try {
    ed.buf.reserve(n + slack_for(n)); /* one allocation, the text copied once */
    ed.buf.assign(s, s + n);
    ed.buf.resize(n + slack_for(n));
    ed.len = ed.gap = (cw_long)n;
    ed.gap_size = (cw_long)(ed.buf.size() - n);
    if (!index_lines(s, n)) throw std::bad_alloc();
  } catch (const std::bad_alloc&) { /* no memory for it: the document stays empty */
    std::vector<char>().swap(ed.buf);
    ed.len = ed.gap = ed.gap_size = 0;
    ed.ls.assign(1, 0);
    ed.lines = ed.lgap = 1;
    ed.lgap_size = 0;
  }
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
  if (!ed.changed) {
    ed.changed = true;
    ed.change_from = pos;
    ed.change_removed = n_del;
    ed.change_inserted = n_ins;
    ed.change_old.resize((size_t)n_del);
    copy_text(pos, n_del, &ed.change_old[0]);
    return;
  }
  cw_long from = ed.change_from, end = from + ed.change_inserted; /* window now */
  cw_long lo = pos < from ? pos : from;
  cw_long hi = pos + n_del > end ? pos + n_del : end;
  if (from > lo) {
    std::string head((size_t)(from - lo), '\0');
    copy_text(lo, from - lo, &head[0]);
    ed.change_old.insert(0, head);
  }
  if (hi > end) {
    size_t at = ed.change_old.size();
    ed.change_old.resize(at + (size_t)(hi - end));
    copy_text(end, hi - end, &ed.change_old[at]);
  }
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
  cw_long new_lfs = 0;
  for (cw_long i = 0; i < n_ins; i++) new_lfs += ins[i] == '\n';
  /* Room first: an edit that cannot be made leaves everything as it was. */
  if (!widen_gap(n_ins - n_del) || !widen_line_gap(new_lfs)) return;
  note_change(pos, n_del, n_ins);

  /* The line gap goes behind the line holding pos, while positions still
  ** read as before the edit; the starts of the lines whose LF goes with the
  ** removed bytes come right after it. */
  move_line_gap(line_index(pos) + 1);
  while (ed.lgap < ed.lines && line_start(ed.lgap) <= pos + n_del) {
    ed.lgap_size++;
    ed.lines--;
  }

  move_gap(pos);
  ed.gap_size += n_del;
  ed.len -= n_del;
  memcpy(ed.buf.data() + pos, ins, (size_t)n_ins);
  if (!ed.col.empty()) memset(ed.col.data() + pos, 0, (size_t)n_ins);
  ed.gap += n_ins;
  ed.gap_size -= n_ins;
  ed.len += n_ins;

  for (cw_long i = 0; i < n_ins; i++)
    if (ins[i] == '\n') {
      ed.ls[(size_t)ed.lgap++] = pos + i + 1;
      ed.lgap_size--;
      ed.lines++;
    }
  ed.lhint = 0;

  ed.cursor = moved(ed.cursor, pos, n_del, n_ins);
  ed.scan = moved(ed.scan, pos, n_del, n_ins);
  for (size_t i = 0; i < ed.saved.size(); i++) ed.saved[i] = moved(ed.saved[i], pos, n_del, n_ins);
  ed.generation = ++ed.generation_serial;
}

/* {====== documents */

/* d becomes an empty document with a new handle. */
static void make_empty(Document* d) {
  *d = Document();
  d->id = ++ed.doc_serial;
  d->palette.assign(1, CW_NO_COLOUR);
  d->ls.assign(1, 0);
  d->lines = d->lgap = 1;
  d->run_low = -1;
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
  ed.record_runs = true;
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
