/*
** The current buffer's text: chunks and their index, finding the chunk of
** a position, loading a text in pieces into one block the chunks are
** stretches of, and reading runs of it back. Edits are in text_edits.cpp,
** the line index in lines.cpp.
*/
#include "text_store.h"

#include <assert.h>
#include <stdlib.h>
#include <string.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif
#include <new>

namespace cw {

/* {====== chunks and their Fenwick trees */

/* Makes both trees afresh from the chunks: O(n), after chunks come or go. */
void rebuild_trees(void) {
  size_t n = ed.chunks.size();
  ed.fw_len.assign(n + 1, 0);
  ed.fw_lfs.assign(n + 1, 0);
  for (size_t i = 1; i <= n; i++) {
    ed.fw_len[i] += (cw_long)ed.chunks[i - 1].size;
    ed.fw_lfs[i] += (cw_long)ed.chunks[i - 1].lfs;
    size_t up = i + lowbit(i);
    if (up <= n) {
      ed.fw_len[up] += ed.fw_len[i];
      ed.fw_lfs[up] += ed.fw_lfs[i];
    }
  }
}

static void cache_chunk(size_t i, cw_long start) {
  assert(i < ed.chunks.size());
  Chunk& c = ed.chunks[i];
  ed.hc = i;
  ed.hc_start = start;
  ed.hc_size = (cw_long)c.size;
  ed.hc_text = c.text.get();
  ed.hc_col = c.col.get();
}

void find_chunk(cw_long pos) {
  assert(pos >= 0 && pos <= ed.len);
  /* reading on into the next chunk is the common case */
  if (ed.hc_size > 0 && pos == ed.hc_start + ed.hc_size && ed.hc + 1 < ed.chunks.size()) {
    cache_chunk(ed.hc + 1, pos);
    return;
  }
  cw_long start;
  size_t i = tree_descend(ed.fw_len, pos, &start);
  if (i >= ed.chunks.size()) return; /* pos is past the text: callers never ask */
  cache_chunk(i, start);
}

cw_long scan_next_far(cw_long pos) {
  assert(pos >= 0);
  if (pos >= ed.len) {
    ed.scan = ed.len;
    return CW_NO_CHAR;
  }
  ed.scan = pos;
  return (unsigned char)text_at(pos);
}

bool buffer_alloc_fails(void) {
  ++ed.buffer_calls;
  if (ed.buffer_calls != ed.buffer_fail_at) return false;
  refused();
  return true;
}

Chunk new_chunk(bool with_colours) {
  Chunk c;
  c.size = c.lfs = 0;
  c.cap = CHUNK_BYTES;
  if (buffer_alloc_fails()) return c;
  c.text =
      std::unique_ptr<char[], TextOwner>(new (std::nothrow) char[CHUNK_BYTES], TextOwner{true});
  if (with_colours && c.text) c.col.reset(new (std::nothrow) unsigned char[CHUNK_BYTES]());
  if (!c.text || (with_colours && !c.col)) refused();
  return c;
}

/* Adds a chunk at the end: a new last node of a tree covers itself and
** the nodes its range spans. The vectors have room already. */
void push_chunk(Chunk&& c) {
  assert(ed.chunks.size() < ed.chunks.capacity() && ed.fw_len.size() < ed.fw_len.capacity() &&
         ed.fw_lfs.size() < ed.fw_lfs.capacity());
  ed.chunks.push_back(std::move(c));
  size_t k = ed.chunks.size();
  ed.fw_len.push_back((cw_long)ed.chunks[k - 1].size + tree_sum(ed.fw_len, k - 1) -
                      tree_sum(ed.fw_len, k - lowbit(k)));
  ed.fw_lfs.push_back((cw_long)ed.chunks[k - 1].lfs + tree_sum(ed.fw_lfs, k - 1) -
                      tree_sum(ed.fw_lfs, k - lowbit(k)));
}

bool take_chunks(size_t n, bool colours, std::vector<Chunk>* out) {
  try {
    out->reserve(n);
    for (size_t i = 0; i < n; i++) {
      out->push_back(new_chunk(colours));
      if (!out->back().text || (colours && !out->back().col)) return false;
    }
    if (buffer_alloc_fails()) return false;
    ed.chunks.reserve(ed.chunks.size() + n);
    ed.fw_len.reserve(ed.chunks.size() + n + 1);
    ed.fw_lfs.reserve(ed.chunks.size() + n + 1);
  } catch (const std::bad_alloc&) {
    refused();
    return false;
  }
  return true;
}

bool make_one_chunk(void) {
  std::vector<Chunk>().swap(ed.chunks);
  ed.len = 0;
  ed.lines = 1;
  forget_cache();
  Chunk c = new_chunk(false);
  if (!c.text) return false;
  try {
    ed.chunks.reserve(1);
    ed.fw_len.reserve(2);
    ed.fw_lfs.reserve(2);
  } catch (const std::bad_alloc&) {
    refused();
    return false;
  }
  ed.chunks.push_back(std::move(c));
  rebuild_trees();
  return true;
}

/* }====== */

/* {====== loading a text in pieces */

/* Gives the block a text is loaded into room for cap bytes. */
static bool grow_loaded(size_t cap) {
  assert(cap >= ed.loaded_size);
  if (buffer_alloc_fails()) return false;
  char* p = (char*)realloc(ed.loaded.get(), cap);
  if (p == NULL) {
    refused();
    return false;
  }
  (void)ed.loaded.release();
  ed.loaded.reset(p);
  ed.loaded_cap = cap;
  if (ed.len > 0) { /* the chunks follow their text: they lie in it end to end */
    size_t at = 0;
    for (Chunk& c : ed.chunks) {
      (void)c.text.release();
      c.text.reset(p + at);
      at += c.size;
    }
  }
  return true;
}

bool reserve_text(size_t n) {
  if (ed.len > 0 && !ed.whole) return true; /* edited: the text is in chunks */
  if (ed.len == 0) ed.loaded_size = 0;
  if (n <= ed.loaded_cap) return true;
  if (!grow_loaded(n)) return false;
#ifdef MADV_POPULATE_WRITE
  /* All of it is written next: its pages made present in one call cost far
  ** less than a fault each (a kernel without this leaves them to faults). */
  const uintptr_t page = 4096;
  uintptr_t from = ((uintptr_t)ed.loaded.get() + ed.loaded_size + page - 1) & ~(page - 1);
  uintptr_t to = ((uintptr_t)ed.loaded.get() + n) & ~(page - 1);
  if (to > from) (void)madvise((void*)from, to - from, MADV_POPULATE_WRITE);
#endif
  return true;
}

/* Appends to the loaded text, growing it in place where the system can,
** and cuts what it adds into chunks that are stretches of it. */
static bool append_loaded(const char* s, size_t n) {
  assert(ed.len == 0 || ed.whole);
  if (ed.len == 0) ed.loaded_size = 0;
  size_t last_size = ed.len > 0 ? ed.chunks.back().size : CHUNK_FILL;
  size_t room = last_size < CHUNK_FILL ? CHUNK_FILL - last_size : 0;
  size_t fresh = n > room ? (n - room + CHUNK_FILL - 1) / CHUNK_FILL : 0;
  size_t count = (ed.len == 0 ? 0 : ed.chunks.size()) + fresh;
  if (buffer_alloc_fails()) return false;
  try {
    ed.chunks.reserve(count);
    ed.fw_len.reserve(count + 1);
    ed.fw_lfs.reserve(count + 1);
  } catch (const std::bad_alloc&) {
    refused();
    return false;
  }
  if (ed.loaded_size + n > ed.loaded_cap) {
    size_t cap = ed.loaded_cap + ed.loaded_cap / 2;
    if (!grow_loaded(cap < ed.loaded_size + n ? ed.loaded_size + n : cap)) return false;
  }
  char* dst = ed.loaded.get() + ed.loaded_size;
  memcpy(dst, s, n);
  ed.loaded_size += n;
  if (ed.len == 0) {
    ed.chunks.clear();
    ed.fw_len.assign(1, 0);
    ed.fw_lfs.assign(1, 0);
  }
  ed.len += (cw_long)n;
  size_t take = n < room ? n : room;
  if (take > 0) {
    Chunk* last = &ed.chunks.back();
    uint32_t lfs = count_lfs(dst, take);
    if (last->col) memset(last->col.get() + last->size, 0, take);
    last->size += (uint32_t)take;
    last->cap = last->size;
    last->lfs += lfs;
    ed.lines += (cw_long)lfs;
    tree_add(ed.chunks.size() - 1, (cw_long)take, (cw_long)lfs);
    dst += take, n -= take;
  }
  for (size_t i = 0; i < fresh; i++) {
    Chunk c;
    c.text = std::unique_ptr<char[], TextOwner>(dst, TextOwner{false});
    c.size = c.cap = (uint32_t)(n < CHUNK_FILL ? n : CHUNK_FILL);
    c.lfs = count_lfs(dst, c.size);
    ed.lines += (cw_long)c.lfs;
    dst += c.size, n -= c.size;
    push_chunk(std::move(c));
  }
  ed.whole = true;
  return true;
}

bool append_text(const char* s, size_t n) {
  if (n == 0) return true;
  if (s == NULL || n > (size_t)(0x7FFFFFF0 - ed.len)) return false;
  if (ed.len == 0 || ed.whole) {
    if (!append_loaded(s, n)) return false;
    forget_cache();
    ed.flat_of = 0;
    ed.generation = ++ed.generation_serial;
    return true;
  }
  assert(!ed.chunks.empty()); /* the text is not empty */
  const Chunk& end = ed.chunks.back();
  size_t fill = end.cap < CHUNK_FILL ? end.cap : CHUNK_FILL;
  size_t room = fill > end.size ? fill - end.size : 0;
  size_t fresh = n > room ? (n - room + CHUNK_FILL - 1) / CHUNK_FILL : 0;
  bool colours = ed.chunks.back().col != NULL;
  std::vector<Chunk> more; /* everything first, so that a failure adds nothing */
  if (!take_chunks(fresh, colours, &more)) return false;
  ed.len += (cw_long)n;
  size_t take = n < room ? n : room;
  if (take > 0) {
    Chunk& c = ed.chunks.back();
    memcpy(c.text.get() + c.size, s, take);
    if (c.col) memset(c.col.get() + c.size, 0, take);
    uint32_t lfs = count_lfs(s, take);
    c.size += (uint32_t)take;
    c.lfs += lfs;
    ed.lines += (cw_long)lfs;
    tree_add(ed.chunks.size() - 1, (cw_long)take, (cw_long)lfs);
    s += take, n -= take;
  }
  for (size_t i = 0; i < fresh; i++) {
    Chunk& c = more[i];
    c.size = (uint32_t)(n < CHUNK_FILL ? n : CHUNK_FILL);
    memcpy(c.text.get(), s, c.size);
    c.lfs = count_lfs(s, c.size);
    ed.lines += (cw_long)c.lfs;
    s += c.size, n -= c.size;
    push_chunk(std::move(c));
  }
  forget_cache();
  ed.flat_of = 0;
  ed.generation = ++ed.generation_serial;
  return true;
}

/* }====== */

/* {====== reading */

const char* text_span(cw_long pos, cw_long n) {
  assert(pos >= 0 && n >= 0 && pos + n <= ed.len);
  if (!cached(pos)) find_chunk(pos);
  if (pos + n <= ed.hc_start + ed.hc_size) return ed.hc_text + (pos - ed.hc_start);
  if (pos == 0 && n == ed.len && ed.whole) return ed.loaded.get();
  std::string& out = pos == 0 && n == ed.len ? ed.flat : ed.span;
  if (&out == &ed.flat && ed.flat_of == ed.generation) return ed.flat.data();
  try {
    if (buffer_alloc_fails()) return NULL;
    out.resize((size_t)n);
  } catch (const std::bad_alloc&) {
    refused();
    return NULL;
  }
  copy_text(pos, n, &out[0]);
  if (&out == &ed.flat) ed.flat_of = ed.generation;
  return out.data();
}

void copy_text(cw_long pos, cw_long n, char* out) {
  assert(pos >= 0 && n >= 0 && pos + n <= ed.len);
  while (n > 0) {
    if (!cached(pos)) find_chunk(pos);
    cw_long off = pos - ed.hc_start, k = ed.hc_size - off < n ? ed.hc_size - off : n;
    memcpy(out, ed.hc_text + off, (size_t)k);
    out += k, pos += k, n -= k;
  }
}

/* }====== */

}  // namespace cw
