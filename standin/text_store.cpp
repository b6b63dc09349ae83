/*
** The buffer model: text, line index and colours kept in step, the record
** of what edits changed, buffers and the choice of the current one, and
** the reset that puts the whole editor back to its defaults.
*/
#include "model.h"

#include <stdlib.h>
#include <string.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif
#include <algorithm>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

/* {====== chunks and their Fenwick trees */

static inline size_t lowbit(size_t i) {
  return i & (0 - i);
}

/* Makes both trees afresh from the chunks: O(n), after chunks come or go. */
static void rebuild_trees(void) {
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

/* Chunk i (0-based) changed by dlen bytes and dlfs LFs. */
static void tree_add(size_t i, cw_long dlen, cw_long dlfs) {
  for (size_t k = i + 1; k < ed.fw_len.size(); k += lowbit(k)) {
    ed.fw_len[k] += dlen;
    ed.fw_lfs[k] += dlfs;
  }
}

/* Sums over the chunks before chunk i. */
static cw_long tree_sum(const std::vector<cw_long>& fw, size_t i) {
  cw_long sum = 0;
  for (size_t k = i; k > 0; k -= lowbit(k)) sum += fw[k];
  return sum;
}

/* The number of leading chunks whose total stays <= value, and that total. */
static size_t tree_descend(const std::vector<cw_long>& fw, cw_long value, cw_long* total) {
  size_t n = fw.size() - 1, i = 0, step = 1;
  while (step * 2 <= n) step *= 2;
  cw_long sum = 0;
  for (; step > 0; step /= 2)
    if (i + step <= n && sum + fw[i + step] <= value) {
      i += step;
      sum += fw[i];
    }
  *total = sum;
  return i;
}

/* Forgets every cached position; called when chunks change. */
static void forget_cache(void) {
  ed.hc = 0;
  ed.hc_start = ed.hc_size = 0;
  ed.hc_text = NULL;
  ed.hc_col = NULL;
  ed.lh_line = ed.lh_start = ed.lh_end = 0;
  ed.lf_k = ed.lf_last = 0;
}

static void cache_chunk(size_t i, cw_long start) {
  Chunk& c = ed.chunks[i];
  ed.hc = i;
  ed.hc_start = start;
  ed.hc_size = (cw_long)c.size;
  ed.hc_text = c.text.get();
  ed.hc_col = c.col.get();
}

void find_chunk(cw_long pos) {
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

/* A chunk with room for CHUNK_BYTES; its text is NULL when memory ran out. */
static Chunk new_chunk(bool with_colours) {
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
static void push_chunk(Chunk&& c) {
  ed.chunks.push_back(std::move(c));
  size_t k = ed.chunks.size();
  ed.fw_len.push_back((cw_long)ed.chunks[k - 1].size + tree_sum(ed.fw_len, k - 1) -
                      tree_sum(ed.fw_len, k - lowbit(k)));
  ed.fw_lfs.push_back((cw_long)ed.chunks[k - 1].lfs + tree_sum(ed.fw_lfs, k - 1) -
                      tree_sum(ed.fw_lfs, k - lowbit(k)));
}

/* LFs in p[0..n): sixteen bytes at a time where the processor can, as
** line look-ups count through up to a chunk. */
static uint32_t count_lfs(const char* p, size_t n) {
  uint32_t count = 0;
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
  while (n - i >= 16) {
    /* each byte lane counts up to 255 matches before they are summed */
    size_t stop = n - i >= 255 * 16 ? i + 255 * 16 : i + (n - i) / 16 * 16;
    __m128i lanes = zero;
    for (; i < stop; i += 16)
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i*)(p + i)), lf));
    __m128i sums = _mm_sad_epu8(lanes, zero);
    count += (uint32_t)_mm_cvtsi128_si32(sums) + (uint32_t)_mm_extract_epi16(sums, 4);
  }
#endif
  for (; i < n; i++) count += p[i] == '\n';
  return count;
}

/* Empties the buffer to one empty chunk. False when even that fails:
** the buffer is then empty with no chunk at all, which only an append
** or another make_one_chunk reads. */
static bool make_one_chunk(void) {
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

/* Appends to the loaded text, growing it in place where the system can,
** and cuts what it adds into chunks that are stretches of it. */
/* Gives the block a text is loaded into room for cap bytes. */
static bool grow_loaded(size_t cap) {
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

static bool append_loaded(const char* s, size_t n) {
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
  const Chunk& end = ed.chunks.back();
  size_t fill = end.cap < CHUNK_FILL ? end.cap : CHUNK_FILL;
  size_t room = fill > end.size ? fill - end.size : 0;
  size_t fresh = n > room ? (n - room + CHUNK_FILL - 1) / CHUNK_FILL : 0;
  bool colours = ed.chunks.back().col != NULL;
  std::vector<Chunk> more;
  try { /* everything first, so that a failure adds nothing */
    more.reserve(fresh);
    for (size_t i = 0; i < fresh; i++) {
      more.push_back(new_chunk(colours));
      if (!more.back().text || (colours && !more.back().col)) return false;
    }
    if (buffer_alloc_fails()) return false;
    ed.chunks.reserve(ed.chunks.size() + fresh);
    ed.fw_len.reserve(ed.chunks.size() + fresh + 1);
    ed.fw_lfs.reserve(ed.chunks.size() + fresh + 1);
  } catch (const std::bad_alloc&) {
    refused();
    return false;
  }
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

const char* text_span(cw_long pos, cw_long n) {
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
  while (n > 0) {
    if (!cached(pos)) find_chunk(pos);
    cw_long off = pos - ed.hc_start, k = ed.hc_size - off < n ? ed.hc_size - off : n;
    memcpy(out, ed.hc_text + off, (size_t)k);
    out += k, pos += k, n -= k;
  }
}

void colour_codes(cw_long pos, cw_long n, unsigned char* out) {
  while (n > 0) {
    if (!cached(pos)) find_chunk(pos);
    cw_long off = pos - ed.hc_start, k = ed.hc_size - off < n ? ed.hc_size - off : n;
    if (ed.hc_col == NULL)
      memset(out, 0, (size_t)k);
    else
      memcpy(out, ed.hc_col + off, (size_t)k);
    out += k, pos += k, n -= k;
  }
}

/* The palette code of a colour, added when new; codes no character holds
** any longer are given back first when the palette is full. -1 when 255
** other colours are in use. */
static int new_colour_code(cw_long colour) {
  if (colour == CW_NO_COLOUR) return 0;
  std::vector<cw_long>& p = ed.palette;
  if (ed.last_code < p.size() && p[ed.last_code] == colour) return (int)ed.last_code;
  for (size_t i = 1; i < p.size(); i++)
    if (p[i] == colour) return (int)(ed.last_code = i);
  if (p.size() == 256) {
    bool used[256] = {false};
    for (const Chunk& c : ed.chunks)
      if (c.col)
        for (uint32_t i = 0; i < c.size; i++) used[c.col[i]] = true;
    unsigned char to[256];
    std::vector<cw_long> kept(1, CW_NO_COLOUR);
    to[0] = 0;
    for (size_t i = 1; i < 256; i++)
      if (used[i]) {
        to[i] = (unsigned char)kept.size();
        kept.push_back(p[i]);
      }
    if (kept.size() == 256) return -1;
    for (Chunk& c : ed.chunks)
      if (c.col)
        for (uint32_t i = 0; i < c.size; i++) c.col[i] = to[c.col[i]];
    p.swap(kept);
  }
  p.push_back(colour);
  return (int)p.size() - 1;
}

/* The same, -1 as well when memory runs out. */
static int colour_code(cw_long colour) {
  try {
    return new_colour_code(colour);
  } catch (const std::bad_alloc&) {
    refused();
    return -1;
  }
}

bool fill_colour_anywhere(cw_long pos, cw_long n, cw_long colour) {
  if (n <= 0) return true;
  int code = colour_code(colour);
  if (code < 0) return false;
  if (!cached(pos)) find_chunk(pos);
  if (CW_LIKELY(ed.hc_col != NULL && pos + n <= ed.hc_start + ed.hc_size)) { /* a token */
    memset(ed.hc_col + (pos - ed.hc_start), code, (size_t)n);
    return true;
  }
  while (n > 0) {
    if (!cached(pos)) find_chunk(pos);
    cw_long off = pos - ed.hc_start, k = ed.hc_size - off < n ? ed.hc_size - off : n;
    if (ed.hc_col == NULL && code != 0) { /* the chunk's first colour */
      Chunk& c = ed.chunks[ed.hc];
      c.col.reset(new (std::nothrow) unsigned char[CHUNK_BYTES]());
      if (!c.col) {
        refused();
        return false;
      }
      ed.hc_col = c.col.get();
    }
    if (ed.hc_col != NULL) memset(ed.hc_col + off, code, (size_t)k);
    pos += k, n -= k;
  }
  return true;
}

/* }====== */

/* {====== the line index */

/* Notes the k-th LF as the one last found: at offset off of chunk i,
** which starts at start and whose LFs run up to the last-th. */
static cw_long note_lf(cw_long k, size_t i, size_t off, cw_long start, cw_long last) {
  ed.lf_k = k;
  ed.lf_chunk = i;
  ed.lf_off = off;
  ed.lf_last = last;
  ed.lf_pos = start + (cw_long)off;
  return ed.lf_pos;
}

/* Position of the k-th LF (1 <= k < lines). Within the chunk of the LF
** last found, the search walks from that one, either way; elsewhere it
** finds the chunk by the tree and walks from its start. */
static cw_long nth_lf(cw_long k) {
  if (ed.lf_k > 0) {
    size_t i = ed.lf_chunk;
    const char* t = ed.chunks[i].text.get();
    cw_long start = ed.lf_pos - (cw_long)ed.lf_off;
    if (k == ed.lf_k) return ed.lf_pos;
    if (k > ed.lf_k && k <= ed.lf_last) {
      const char* p = t + ed.lf_off;
      for (cw_long seen = ed.lf_k; seen < k; seen++)
        p = (const char*)memchr(p + 1, '\n', (size_t)(t + ed.chunks[i].size - p - 1));
      return note_lf(k, i, (size_t)(p - t), start, ed.lf_last);
    }
    if (k < ed.lf_k && k > ed.lf_last - (cw_long)ed.chunks[i].lfs) {
      size_t off = ed.lf_off;
      for (cw_long seen = ed.lf_k; seen > k; seen--) do
          off--;
        while (t[off] != '\n');
      return note_lf(k, i, off, start, ed.lf_last);
    }
  }
  cw_long seen;
  size_t i = tree_descend(ed.fw_lfs, k - 1, &seen); /* chunks with fewer than k LFs in all */
  cw_long start = tree_sum(ed.fw_len, i), last = seen + (cw_long)ed.chunks[i].lfs;
  const char* t = ed.chunks[i].text.get();
  size_t n = ed.chunks[i].size, off = 0;
  /* whole stretches of 64 bytes counted at once, then byte by byte */
  for (uint32_t c; off + 64 <= n && seen + (cw_long)(c = count_lfs(t + off, 64)) < k; off += 64)
    seen += (cw_long)c;
  for (;; off++)
    if (t[off] == '\n' && ++seen == k) break;
  return note_lf(k, i, off, start, last);
}

cw_long line_start(cw_long index) {
  if (index == ed.lh_line && ed.lh_end > 0) return ed.lh_start;
  return index == 0 ? 0 : nth_lf(index) + 1;
}

/* Notes line index, from start to the next line's, as the line last found. */
static cw_long note_line(cw_long index, cw_long start, cw_long end) {
  ed.lh_line = index;
  ed.lh_start = start;
  ed.lh_end = end;
  return index;
}

/* Where the line after line index starts; len + 1 after the last. */
static cw_long next_start(cw_long index) {
  return index + 1 < ed.lines ? nth_lf(index + 1) + 1 : ed.len + 1;
}

/* Most look-ups are on the line last looked up or one next to it, as a
** scan walks down or up the text; the rest count the LFs before pos from
** the LF last found when it is in the same chunk, else from the chunk's
** start. */
cw_long line_index(cw_long pos) {
  if (pos >= ed.lh_start && pos < ed.lh_end) return ed.lh_line;
  if (ed.lh_end > 0) {
    cw_long line = ed.lh_line;
    if (pos >= ed.lh_end && line + 1 < ed.lines) {
      cw_long end = next_start(line + 1);
      if (pos < end) return note_line(line + 1, ed.lh_end, end);
    } else if (pos < ed.lh_start && line > 0) {
      cw_long start = line_start(line - 1);
      if (pos >= start) return note_line(line - 1, start, ed.lh_start);
    }
  }
  if (pos >= ed.len) {
    cw_long last = ed.lines - 1;
    return note_line(last, line_start(last), ed.len + 1);
  }
  if (!cached(pos)) find_chunk(pos);
  size_t off = (size_t)(pos - ed.hc_start);
  cw_long index;
  if (ed.lf_k > 0 && ed.lf_chunk == ed.hc)
    index = off > ed.lf_off
                ? ed.lf_k + (cw_long)count_lfs(ed.hc_text + ed.lf_off + 1, off - ed.lf_off - 1)
                : ed.lf_k - (cw_long)count_lfs(ed.hc_text + off, ed.lf_off - off + 1);
  else if (off < (size_t)ed.hc_size / 2)
    index = tree_sum(ed.fw_lfs, ed.hc) + (cw_long)count_lfs(ed.hc_text, off);
  else /* from the end of the chunk: the LFs through it less those from pos on */
    index = tree_sum(ed.fw_lfs, ed.hc + 1) -
            (cw_long)count_lfs(ed.hc_text + off, (size_t)ed.hc_size - off);
  /* the line's start is near: the LF before pos is the index-th */
  size_t back = off;
  while (back > 0 && ed.hc_text[back - 1] != '\n') back--;
  cw_long start;
  if (back > 0) {
    cw_long last = tree_sum(ed.fw_lfs, ed.hc + 1);
    start = note_lf(index, ed.hc, back - 1, ed.hc_start, last) + 1;
  } else {
    start = index == 0 ? 0 : nth_lf(index) + 1;
  }
  return note_line(index, start, next_start(index));
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

  /* Room first: an edit that cannot be made leaves everything as it was.
  ** Only an insertion that overflows its chunk needs new ones. */
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
    try {
      spare.reserve(most);
      for (size_t i = 0; i < most; i++) {
        spare.push_back(new_chunk(colours));
        if (!spare.back().text || (colours && !spare.back().col)) return false;
      }
      if (buffer_alloc_fails()) return false;
      ed.chunks.reserve(ed.chunks.size() + most);
      ed.fw_len.reserve(ed.chunks.size() + most + 1);
      ed.fw_lfs.reserve(ed.chunks.size() + most + 1);
    } catch (const std::bad_alloc&) {
      refused();
      return false;
    }
  }
  if (!note_change(pos, n_del, n_ins)) return false;
  std::string().swap(ed.flat); /* stale now, and as large as the text */
  ed.flat_of = 0;
  ed.whole = false;

  /* Deletion, chunk by chunk; chunks it empties go afterwards. */
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
    if (ed.len == 0)
      ed.chunks.erase(ed.chunks.begin() + 1, ed.chunks.end());
    else
      ed.chunks.erase(std::remove_if(ed.chunks.begin(), ed.chunks.end(),
                                     [](const Chunk& c) { return c.size == 0; }),
                      ed.chunks.end());
    rebuild_trees();
  }
  forget_cache();

  if (n_ins > 0) {
    if (pos == ed.len) {
      i = ed.chunks.size() - 1;
      off = ed.chunks[i].size;
    } else {
      find_chunk(pos);
      i = ed.hc;
      off = (size_t)(pos - ed.hc_start);
    }
    Chunk& c = ed.chunks[i];
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

/* {====== buffers */

/* d becomes an empty buffer with a new handle. Without memory for its
** palette and index it has none, which its empty text never reads. */
static bool make_empty(Buffer* d) {
  *d = Buffer();
  d->id = ++ed.buffer_serial;
  d->lines = 1;
  d->run_low = -1;
  d->generation = ++ed.generation_serial;
  try {
    d->palette.assign(1, CW_NO_COLOUR);
    d->fw_len.assign(1, 0);
    d->fw_lfs.assign(1, 0);
  } catch (const std::bad_alloc&) {
    refused();
    return false;
  }
  return true;
}

cw_doc new_buffer(void) {
  if (buffer_alloc_fails()) return 0;
  Buffer* d = NULL;
  try {
    d = new Buffer();
    if (!make_empty(d)) {
      delete d;
      return 0;
    }
    ed.parked.reserve(ed.parked.size() + 1);
    ed.parked_at[d->id] = ed.parked.size();
  } catch (const std::bad_alloc&) {
    delete d;
    refused();
    return 0;
  }
  ed.parked.push_back(d);
  return d->id;
}

/* Where the parked buffer id is, or parked.size() when it is none. */
static size_t parked_index(cw_doc id) {
  std::unordered_map<cw_doc, size_t>::const_iterator it = ed.parked_at.find(id);
  return it == ed.parked_at.end() ? ed.parked.size() : it->second;
}

/* The current buffer's state swaps places with the parked one, so the
** parked list keeps every other buffer and the operations keep reaching
** the current one directly. */
bool select_buffer(cw_doc id) {
  if (id == ed.id) return id != 0;
  size_t i = parked_index(id);
  if (i == ed.parked.size()) return false;
  std::swap(static_cast<Buffer&>(ed), *ed.parked[i]);
  /* the entry now names the buffer that took the slot: no allocation */
  std::unordered_map<cw_doc, size_t>::node_type entry = ed.parked_at.extract(id);
  entry.key() = ed.parked[i]->id;
  ed.parked_at.insert(std::move(entry));
  return true;
}

/* Takes parked buffer i out of the list: the last one fills its place. */
static Buffer* unpark(size_t i) {
  Buffer* d = ed.parked[i];
  ed.parked_at.erase(d->id);
  if (i + 1 < ed.parked.size()) {
    ed.parked[i] = ed.parked.back();
    ed.parked_at[ed.parked[i]->id] = i;
  }
  ed.parked.pop_back();
  return d;
}

/* Freeing the current buffer makes another current, so that no buffer
** stays behind that no handle names: the one parked last, or, when there
** is none, a fresh empty one. */
bool free_buffer(cw_doc id) {
  if (id == 0) return false;
  if (id == ed.id) {
    if (ed.parked.empty()) {
      make_empty(&ed);
      return true;
    }
    Buffer* next = unpark(ed.parked.size() - 1);
    static_cast<Buffer&>(ed) = std::move(*next);
    delete next;
    return true;
  }
  size_t i = parked_index(id);
  if (i == ed.parked.size()) return false;
  delete unpark(i);
  return true;
}

/* }====== */

/* Gives back every block the ledger holds, every table and every parked
** buffer. */
static void release_memory(void) {
  for (std::unordered_map<void*, Block>::iterator it = ed.ledger.begin(); it != ed.ledger.end();
       ++it)
    free(it->first);
  ed.ledger.clear();
  free_tables();
  for (size_t i = 0; i < ed.parked.size(); i++) delete ed.parked[i];
  ed.parked.clear();
  ed.parked_at.clear();
}

void reset_state(void) {
  release_memory();
  if (ed.module != NULL) module_close(ed.module);

  unsigned long long generation_serial = ed.generation_serial;
  cw_doc buffer_serial = ed.buffer_serial;
  uintptr_t table_serial = ed.table_serial;
  ed = Editor();
  ed.generation_serial = generation_serial;
  ed.buffer_serial = buffer_serial;
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
