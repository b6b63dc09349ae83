/*
** How the current buffer's text is kept, below what the host operations
** see: the Fenwick trees over the chunks' sizes and LF counts, the chunk
** cache, LF counting and making chunks. Shared by the text store, the
** edits and the line index; nothing else reaches the chunks this way.
*/
#ifndef CW_TEXT_STORE_H
#define CW_TEXT_STORE_H

#include <assert.h>
#include <stddef.h>
#include <stdint.h>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "model.h"

CW_HIDDEN_BEGIN

namespace cw {

/* {====== the Fenwick trees over the chunks */

inline size_t lowbit(size_t i) {
  return i & (0 - i);
}

/* Makes both trees afresh from the chunks: O(n), after chunks come or go. */
void rebuild_trees(void);

/* Chunk i (0-based) changed by dlen bytes and dlfs LFs. */
inline void tree_add(size_t i, cw_long dlen, cw_long dlfs) {
  assert(i < ed.chunks.size());
  for (size_t k = i + 1; k < ed.fw_len.size(); k += lowbit(k)) {
    ed.fw_len[k] += dlen;
    ed.fw_lfs[k] += dlfs;
  }
}

/* Sums over the chunks before chunk i. */
inline cw_long tree_sum(const std::vector<cw_long>& fw, size_t i) {
  assert(i < fw.size());
  cw_long sum = 0;
  for (size_t k = i; k > 0; k -= lowbit(k)) sum += fw[k];
  return sum;
}

/* The number of leading chunks whose total stays <= value, and that total. */
inline size_t tree_descend(const std::vector<cw_long>& fw, cw_long value, cw_long* total) {
  assert(!fw.empty());
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

/* }====== */

/* {====== chunks */

/* Forgets every cached position; called when chunks change. */
inline void forget_cache(void) {
  ed.hc = 0;
  ed.hc_start = ed.hc_size = 0;
  ed.hc_text = NULL;
  ed.hc_col = NULL;
  ed.lh_line = ed.lh_start = ed.lh_end = 0;
  ed.lf_k = ed.lf_last = 0;
}

/* LFs in p[0..n): sixteen bytes at a time where the processor can, as
** line look-ups count through up to a chunk. */
inline uint32_t count_lfs(const char* p, size_t n) {
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

/* A chunk with room for CHUNK_BYTES; its text is NULL when memory ran out. */
Chunk new_chunk(bool with_colours);
/* Adds a chunk at the end; the vectors must have room for it already. */
void push_chunk(Chunk&& c);
/* n new chunks into *out, and room in the buffer's chunk list and trees
** for n more, all or nothing: false (and a refusal counted where memory
** ran short) leaves the buffer as it was. */
bool take_chunks(size_t n, bool colours, std::vector<Chunk>* out);
/* Empties the buffer to one empty chunk. False when even that fails: the
** buffer is then empty with no chunk at all, which only an append or
** another make_one_chunk reads. */
bool make_one_chunk(void);

/* }====== */

}  // namespace cw

CW_HIDDEN_END

#endif /* CW_TEXT_STORE_H */
