// The few character classes the session's readers of WYN text share: the
// blanks that indent a line, the characters of a plain name, and ASCII
// letter case (the language's names are ASCII; other bytes pass through).
#ifndef WYN_SESSION_CHARS_H
#define WYN_SESSION_CHARS_H

#include <string>
#include <string_view>

namespace wyn {

inline bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

inline bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

inline char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

inline std::string lower_of(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

}  // namespace wyn

#endif
