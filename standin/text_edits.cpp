/*
** Changing the current buffer's text: taking in a whole new text, and
** replacing a stretch of it, with the record of what edits changed and
** the positions that move with the text. An edit that cannot be made
** whole leaves everything as it was.
*/
#include "text_store.h"

#include <assert.h>
#include <string.h>
#include <utility>
#include <new>

namespace cw {

namespace {

/* The text of a buffer, set aside while a new one is taken in. */
struct HeldText {
  std::vector<Chunk> chunks;
  std::vector<cw_long> fw_len, fw_lfs;
  std::unique_ptr<char, FreeMemory> loaded;
  size_t loaded_size, loaded_cap;
  bool whole;
  cw_long len, lines;
};

}  // namespace

/* Swaps the text (chunks, their index, the loaded block) with h. */
static void swap_text(HeldText* h) {
  ed.chunks.swap(h->chunks);
  ed.fw_len.swap(h->fw_len);
  ed.fw_lfs.swap(h->fw_lfs);
  ed.loaded.swap(h->loaded);
  std::swap(ed.loaded_size, h->loaded_size);
  std::swap(ed.loaded_cap, h->loaded_cap);
  std::swap(ed.whole, h->whole);
  std::swap(ed.len, h->len);
  std::swap(ed.lines, h->lines);
  forget_cache();
}

bool set_text(const char* s, size_t n) {
  if (s == NULL) n = 0;
  if (n > 0x7FFFFFF0u) return false; /* positions are 32-bit */
  if (ed.palette.empty()) {          /* a buffer made without room for it */
    try {
      ed.palette.assign(1, CW_NO_COLOUR);
    } catch (const std::bad_alloc&) {
      refused();
      return false;
    }
  }
  /* The old text stays aside until the new one is in, so that a failure
  ** leaves the buffer as it was; only then is it given back. */
  HeldText old = {{}, {}, {}, nullptr, 0, 0, false, 0, 1};
  swap_text(&old);
  if (!make_one_chunk() || !append_text(s, n)) {
    std::vector<Chunk>().swap(ed.chunks); /* stretches of the loaded text go before it */
    ed.loaded.reset();
    swap_text(&old);
    return false;
  }
  std::vector<Chunk>().swap(old.chunks);
  old.loaded.reset();
  std::string().swap(ed.flat);
  std::string().swap(ed.span);
  ed.flat_of = 0;
  ed.palette.assign(1, CW_NO_COLOUR); /* within its room: no allocation */
  ed.generation = ++ed.generation_serial;
  ed.cursor = 0;
  ed.saved.clear();
  ed.scan = 0;
  ed.word_noted = false;
  clear_change();
  return true;
}

void clear_change(void) {
  ed.changed = false;
  ed.change_from = ed.change_removed = ed.change_inserted = 0;
  ed.change_old.clear();
}

/* Widens the change record to cover [pos, pos + n_del) becoming n_ins new
** bytes; called before the text changes. Bytes of the window that no edit
** has touched yet are taken from the text, the rest are already held.
** False, with the record as it was, when memory runs out. */
static bool note_change(cw_long pos, cw_long n_del, cw_long n_ins) {
  assert(pos >= 0 && n_del >= 0 && n_ins >= 0 && pos + n_del <= ed.len);
  cw_long from = ed.change_from, end = from + ed.change_inserted; /* window now */
  cw_long lo = pos < from ? pos : from;
  cw_long hi = pos + n_del > end ? pos + n_del : end;
  size_t more =
      !ed.changed ? (size_t)n_del : (size_t)(from - lo) + (size_t)(hi > end ? hi - end : 0);
  if (more > 0) { /* room first: what follows then cannot fail */
    if (buffer_alloc_fails()) return false;
    try {
      ed.change_old.reserve((ed.changed ? ed.change_old.size() : 0) + more);
    } catch (const std::bad_alloc&) {
      refused();
      return false;
    }
  }
  if (!ed.changed) {
    ed.changed = true;
    ed.change_from = pos;
    ed.change_removed = n_del;
    ed.change_inserted = n_ins;
    ed.change_old.resize((size_t)n_del);
    if (n_del > 0) copy_text(pos, n_del, &ed.change_old[0]);
    return true;
  }
  if (from > lo) {
    ed.change_old.insert((size_t)0, (size_t)(from - lo), '\0');
    copy_text(lo, from - lo, &ed.change_old[0]);
  }
  if (hi > end) {
    size_t at = ed.change_old.size();
    ed.change_old.resize(at + (size_t)(hi - end));
    copy_text(end, hi - end, &ed.change_old[at]);
  }
  ed.change_removed += (from - lo) + (hi > end ? hi - end : 0);
  ed.change_from = lo;
  ed.change_inserted = (hi - lo) - n_del + n_ins;
  return true;
}

/* Where a position ends up when [pos, pos + n_del) becomes n_ins bytes:
** inside the removed part it goes to pos, past it it moves with the text. */
static cw_long moved(cw_long p, cw_long pos, cw_long n_del, cw_long n_ins) {
  if (p <= pos) return p;
  if (p <= pos + n_del) return pos;
  return p - n_del + n_ins;
}

/* Removes [off, off + n) from chunk i; answers the LFs it held. */
static uint32_t cut(Chunk& c, size_t off, size_t n) {
  assert(off + n <= c.size);
  uint32_t lfs = count_lfs(c.text.get() + off, n);
  size_t after = c.size - off - n;
  memmove(c.text.get() + off, c.text.get() + off + n, after);
  if (c.col) memmove(c.col.get() + off, c.col.get() + off + n, after);
  c.size -= (uint32_t)n;
  c.lfs -= lfs;
  return lfs;
}

/* One part of what a chunk becomes when a long insertion splits it. */
struct Part {
  const char* text;
  const unsigned char* col; /* NULL: no colour */
  size_t n;
};

/* Copies n bytes from offset at of the parts laid end to end. */
static void copy_parts(const Part* parts, size_t at, size_t n, char* text, unsigned char* col) {
  for (int i = 0; i < 3 && n > 0; i++) {
    if (at >= parts[i].n) {
      at -= parts[i].n;
      continue;
    }
    size_t k = parts[i].n - at < n ? parts[i].n - at : n;
    memcpy(text, parts[i].text + at, k);
    if (col != NULL) {
      if (parts[i].col != NULL)
        memcpy(col, parts[i].col + at, k);
      else
        memset(col, 0, k);
    }
    text += k, n -= k, at = 0;
    if (col != NULL) col += k;
  }
}

bool replace_text(cw_long pos, cw_long n_del, const char* ins, cw_long n_ins) {
  pos = clamp_pos(pos);
  if (n_del < 0) n_del = 0;
  if (n_del > text_length() - pos) n_del = text_length() - pos;
  if (ins == NULL || n_ins < 0) n_ins = 0;
  if (n_del == 0 && n_ins == 0) return true;
  if (ed.chunks.empty() && !make_one_chunk()) return false;
  assert(!ed.chunks.empty());

  /* Room first: an edit that cannot be made leaves everything as it was.
  ** Only an insertion that overflows its chunk needs new ones. A deletion
  ** inside the first chunk leaves pos in it, so the insertion goes there,
  ** even where the deletion reaches the chunk's end or empties it. */
  if (!cached(pos)) find_chunk(pos);
  bool at_end = pos == ed.len;
  size_t first = at_end ? ed.chunks.size() - 1 : ed.hc;
  size_t first_off = at_end ? ed.chunks[first].size : (size_t)(pos - ed.hc_start);
  bool fits = first_off + (size_t)n_del <= ed.chunks[first].size &&
              ed.chunks[first].size - (size_t)n_del + (size_t)n_ins <= ed.chunks[first].cap;
  std::vector<Chunk> spare;
  if (!fits && n_ins > 0) {
    size_t most = ((size_t)CHUNK_BYTES + (size_t)n_ins + CHUNK_FILL - 1) / CHUNK_FILL;
    bool colours = ed.palette.size() > 1;
    if (!take_chunks(most, colours, &spare)) return false;
  }
  if (!note_change(pos, n_del, n_ins)) return false;
  std::string().swap(ed.flat); /* stale now, and as large as the text */
  ed.flat_of = 0;
  ed.whole = false;

  /* Deletion, chunk by chunk; chunks it empties go afterwards, all but one
  ** that is to take the insertion. */
  bool reshaped = false;
  size_t i = first, off = first_off;
  for (cw_long left = n_del; left > 0; i++, off = 0) {
    Chunk& c = ed.chunks[i];
    size_t k = c.size - off < (size_t)left ? c.size - off : (size_t)left;
    uint32_t lfs = cut(c, off, k);
    ed.len -= (cw_long)k;
    ed.lines -= (cw_long)lfs;
    left -= (cw_long)k;
    tree_add(i, -(cw_long)k, -(cw_long)lfs);
    reshaped |= c.size == 0;
  }
  if (reshaped) {
    /* An emptied text keeps one (empty) chunk: no allocation can fail
    ** half-way through the edit. */
    size_t keep = ed.len == 0 ? 0 : fits && n_ins > 0 ? first : ed.chunks.size(), to = 0;
    for (size_t j = 0; j < ed.chunks.size(); j++)
      if (ed.chunks[j].size > 0 || j == keep) {
        if (to != j) ed.chunks[to] = std::move(ed.chunks[j]);
        to++;
      }
    ed.chunks.erase(ed.chunks.begin() + (ptrdiff_t)to, ed.chunks.end());
    rebuild_trees();
  }
  forget_cache();

  if (n_ins > 0) {
    if (fits) { /* where the deletion left pos, which has room */
      i = first;
      off = first_off;
    } else if (pos == ed.len) {
      i = ed.chunks.size() - 1;
      off = ed.chunks[i].size;
    } else {
      find_chunk(pos);
      i = ed.hc;
      off = (size_t)(pos - ed.hc_start);
    }
    Chunk& c = ed.chunks[i];
    assert(!fits || c.size + (size_t)n_ins <= c.cap);
    uint32_t lfs = count_lfs(ins, (size_t)n_ins);
    ed.len += n_ins;
    ed.lines += (cw_long)lfs;
    if (c.size + (size_t)n_ins <= c.cap) {
      size_t after = c.size - off;
      memmove(c.text.get() + off + n_ins, c.text.get() + off, after);
      memcpy(c.text.get() + off, ins, (size_t)n_ins);
      if (c.col) {
        memmove(c.col.get() + off + n_ins, c.col.get() + off, after);
        memset(c.col.get() + off, 0, (size_t)n_ins);
      }
      c.size += (uint32_t)n_ins;
      c.lfs += lfs;
      tree_add(i, n_ins, (cw_long)lfs);
    } else {
      /* The chunk, with the insertion, is laid out again over as few
      ** chunks as hold it, evenly, so typing there finds room. */
      Part parts[3] = {{c.text.get(), c.col.get(), off},
                       {ins, NULL, (size_t)n_ins},
                       {c.text.get() + off, c.col ? c.col.get() + off : NULL, c.size - off}};
      size_t total = c.size + (size_t)n_ins;
      size_t k = (total + CHUNK_FILL - 1) / CHUNK_FILL, at = 0;
      bool colours = c.col != NULL;
      for (size_t j = 0; j < k; j++) {
        assert(j < spare.size()); /* spare holds enough for any chunk and the insertion */
        Chunk& d = spare[j];
        size_t n = total / k + (j < total % k);
        if (!colours) d.col.reset();
        copy_parts(parts, at, n, d.text.get(), d.col.get());
        d.size = (uint32_t)n;
        d.lfs = count_lfs(d.text.get(), n);
        at += n;
      }
      ed.chunks[i] = std::move(spare[0]);
      ed.chunks.insert(ed.chunks.begin() + (ptrdiff_t)i + 1,
                       std::make_move_iterator(spare.begin() + 1),
                       std::make_move_iterator(spare.begin() + (ptrdiff_t)k));
      rebuild_trees();
    }
  }
  forget_cache();

  ed.cursor = moved(ed.cursor, pos, n_del, n_ins);
  ed.scan = moved(ed.scan, pos, n_del, n_ins);
  for (size_t j = 0; j < ed.saved.size(); j++) ed.saved[j] = moved(ed.saved[j], pos, n_del, n_ins);
  ed.generation = ++ed.generation_serial;
  return true;
}

}  // namespace cw
