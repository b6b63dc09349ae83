// file: URIs to paths and back.
#include "uri.h"

#include <string.h>

namespace wyn::lsp {

namespace {

bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hex_value(char c) {
  return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

}  // namespace

std::string uri_to_path(const std::string& uri) {
  if (uri.compare(0, 7, "file://") != 0) return "";
  std::string rest = uri.substr(7);
  size_t slash = rest.find('/');
  if (slash == std::string::npos) return "";
  rest = rest.substr(slash);  // past any authority ("localhost")
  std::string out;
  for (size_t i = 0; i < rest.size(); i++) {
    if (rest[i] == '%' && i + 2 < rest.size() && is_hex(rest[i + 1]) && is_hex(rest[i + 2])) {
      char c = (char)(hex_value(rest[i + 1]) * 16 + hex_value(rest[i + 2]));
      if (c == 0) return "";
      out += c;
      i += 2;
    } else {
      out += rest[i];
    }
  }
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string path_to_uri(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out = "file://";
  for (unsigned char c : path) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
        (c != 0 && strchr("/-._~", c) != nullptr)) {  // strchr finds the terminator too
      out += (char)c;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

}  // namespace wyn::lsp
