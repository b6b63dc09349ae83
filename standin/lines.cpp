/*
** The current buffer's line index: the start of a line and the line of a
** position, from the LF counts the chunks keep and from the line and the
** LF last found, so that a scan walking the text line by line pays
** little for each look-up.
*/
#include "text_store.h"

#include <assert.h>
#include <string.h>

namespace cw {

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
  assert(k >= 1 && k < ed.lines);
  if (ed.lf_k > 0) {
    size_t i = ed.lf_chunk;
    assert(i < ed.chunks.size()); /* every change to the chunks forgets the LF */
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
  assert(index >= 0 && index < ed.lines);
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
  assert(pos >= 0 && pos <= ed.len);
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
  assert(index >= 0 && index < ed.lines);
  if (index + 1 < line_count()) return line_start(index + 1) - 1;
  return text_length();
}

cw_long line_break_length(cw_long index) {
  assert(index >= 0 && index < ed.lines);
  if (index + 1 >= line_count()) return 0; /* the last line has no break */
  cw_long lf = line_start(index + 1) - 1;
  if (lf - 1 >= line_start(index) && text_at(lf - 1) == '\r') return 2;
  return 1;
}

}  // namespace cw
