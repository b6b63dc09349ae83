// JSON text written directly, for the answers that run large: the semantic
// token arrays (tokens.cpp) and the lists of thousands of entries
// (answers.cpp: completion, document and workspace symbols, folding
// ranges). A nlohmann-json tree of them built first costs several times the
// work behind them: the full completion list took five times as long, and
// the document symbols twice as long, when written through one. Strings are
// escaped and always come out as valid UTF-8.
#ifndef WYN_LSP_JSONW_H
#define WYN_LSP_JSONW_H

#include <stdint.h>
#include <string.h>

#include <string>
#include <string_view>

#include "text.h"

namespace wyn::lsp {

// Appends s as a JSON string; a byte that is no part of well-formed UTF-8
// becomes U+FFFD.
void write_string(std::string* out, std::string_view s);
void write_uint(std::string* out, uint64_t v);
// "00" to "99": two digits at a time halve the divisions.
struct DigitPairs {
  char text[200];
  constexpr DigitPairs() : text() {
    for (int i = 0; i < 100; i++)
      text[2 * i] = (char)('0' + i / 10), text[2 * i + 1] = (char)('0' + i % 10);
  }
};
inline constexpr DigitPairs kDigitPairs;

// Writes v in decimal at p, at most 10 bytes; the end of what it wrote.
// For arrays of many small numbers written into a buffer of their own, so
// inline: most numbers in a token array are below 10 (line steps, types,
// modifiers) or below 100 (columns, lengths).
inline char* put_uint(char* p, uint32_t v) {
  if (v < 10) {
    *p = (char)('0' + v);
    return p + 1;
  }
  if (v < 100) {
    memcpy(p, kDigitPairs.text + 2 * v, 2);
    return p + 2;
  }
  char digits[10];
  char* b = digits + sizeof digits;
  while (v >= 100) {
    b -= 2;
    memcpy(b, kDigitPairs.text + 2 * (v % 100), 2);
    v /= 100;
  }
  if (v < 10) {
    *--b = (char)('0' + v);
  } else {
    b -= 2;
    memcpy(b, kDigitPairs.text + 2 * v, 2);
  }
  size_t n = (size_t)(digits + sizeof digits - b);
  memcpy(p, b, n);
  return p + n;
}
void write_position(std::string* out, Position p);
void write_range(std::string* out, Position a, Position b);

}  // namespace wyn::lsp

#endif
