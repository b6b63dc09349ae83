// JSON text written directly.
#include "jsonw.h"

#include <string.h>

namespace wyn::lsp {

void write_string(std::string* out, std::string_view s) {
  static const char hex[] = "0123456789abcdef";
  out->push_back('"');
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = (unsigned char)s[i];
    if (c >= 0x80) {
      size_t n = 1;
      code_point_units(s, i, Encoding::Utf8, &n);
      if (n == 1)
        out->append("\xEF\xBF\xBD");  // U+FFFD for a malformed byte
      else
        out->append(s.data() + i, n);
      i += n;
      continue;
    }
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back((char)c);
    } else if (c == '\n') {
      out->append("\\n");
    } else if (c == '\t') {
      out->append("\\t");
    } else if (c == '\r') {
      out->append("\\r");
    } else if (c < 0x20) {
      out->append("\\u00");
      out->push_back(hex[c >> 4]);
      out->push_back(hex[c & 15]);
    } else {
      out->push_back((char)c);
    }
    i++;
  }
  out->push_back('"');
}

namespace {

// "00" to "99": two digits at a time halve the divisions.
struct DigitPairs {
  char text[200];
  constexpr DigitPairs() : text() {
    for (int i = 0; i < 100; i++)
      text[2 * i] = (char)('0' + i / 10), text[2 * i + 1] = (char)('0' + i % 10);
  }
};
constexpr DigitPairs kPairs;

}  // namespace

char* put_uint(char* p, uint32_t v) {
  // Most numbers in a token array are below 10 (line steps, types,
  // modifiers) or below 100 (columns, lengths).
  if (v < 10) {
    *p = (char)('0' + v);
    return p + 1;
  }
  if (v < 100) {
    memcpy(p, kPairs.text + 2 * v, 2);
    return p + 2;
  }
  char digits[10];
  char* b = digits + sizeof digits;
  while (v >= 100) {
    b -= 2;
    memcpy(b, kPairs.text + 2 * (v % 100), 2);
    v /= 100;
  }
  if (v < 10) {
    *--b = (char)('0' + v);
  } else {
    b -= 2;
    memcpy(b, kPairs.text + 2 * v, 2);
  }
  size_t n = (size_t)(digits + sizeof digits - b);
  memcpy(p, b, n);
  return p + n;
}

void write_uint(std::string* out, uint64_t v) {
  char digits[20];
  int k = 0;
  do digits[k++] = (char)('0' + v % 10), v /= 10;
  while (v != 0);
  while (k > 0) out->push_back(digits[--k]);
}

void write_position(std::string* out, Position p) {
  out->append("{\"line\":");
  write_uint(out, p.line);
  out->append(",\"character\":");
  write_uint(out, p.character);
  out->push_back('}');
}

void write_range(std::string* out, Position a, Position b) {
  out->append("{\"start\":");
  write_position(out, a);
  out->append(",\"end\":");
  write_position(out, b);
  out->push_back('}');
}

}  // namespace wyn::lsp
