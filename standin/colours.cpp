/*
** The current buffer's colours: one palette code per character beside the
** text in each chunk, and the palette that maps codes to colour values,
** up to 255 of them, whose unused codes are given back when it is full.
*/
#include "model.h"

#include <assert.h>
#include <string.h>
#include <new>

namespace cw {

void colour_codes(cw_long pos, cw_long n, unsigned char* out) {
  assert(pos >= 0 && n >= 0 && pos + n <= ed.len);
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
  assert(ed.palette.size() <= 256);
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
  assert(pos >= 0 && pos + n <= ed.len);
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

}  // namespace cw
