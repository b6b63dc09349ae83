// JSON text written directly.
#include "jsonw.h"

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
