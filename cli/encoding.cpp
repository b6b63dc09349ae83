// Telling well-formed UTF-8 from the rest, byte for byte as the standard
// draws the line, so a page that passes our bytes on stays valid UTF-8.
#include "encoding.h"

size_t utf8_sequence_length(const unsigned char* p, size_t n) {
  if (n == 0 || p[0] < 0x80) return n == 0 ? 0 : 1;
  size_t len = p[0] >= 0xC2 && p[0] <= 0xDF   ? 2
               : p[0] >= 0xE0 && p[0] <= 0xEF ? 3
               : p[0] >= 0xF0 && p[0] <= 0xF4 ? 4
                                              : 0;  // 80..C1: no lead; F5..FF: never UTF-8
  if (len == 0 || len > n) return 0;
  // The second byte's range closes the gaps the lead byte leaves open:
  // overlong three- and four-byte forms, surrogates, and past U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (p[0] == 0xE0) low = 0xA0;
  if (p[0] == 0xED) high = 0x9F;
  if (p[0] == 0xF0) low = 0x90;
  if (p[0] == 0xF4) high = 0x8F;
  if (p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < len; i++)
    if ((p[i] & 0xC0) != 0x80) return 0;
  return len;
}

bool is_valid_utf8(const std::string& text) {
  const unsigned char* p = (const unsigned char*)text.data();
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    if (p[i] < 0x80) {  // ASCII needs no sequence check
      i++;
      continue;
    }
    size_t len = utf8_sequence_length(p + i, n - i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}
