// Words and quoted texts of keys-script and configuration lines, and the
// numbers and positions in them.
#include "tool.h"

#include <errno.h>
#include <stdlib.h>

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted text whose opening quote is at text[*i]; leaves *i past
// the closing quote. Returns null, or what is wrong.
const char* read_quoted(const std::string& text, size_t* i, std::string* out) {
  size_t p = *i + 1;
  for (;;) {
    if (p >= text.size() || text[p] == '\n') return "unterminated quoted text";
    char c = text[p++];
    if (c == '"') break;
    if (c != '\\') {
      *out += c;
      continue;
    }
    if (p >= text.size() || text[p] == '\n') return "unterminated quoted text";
    char e = text[p++];
    switch (e) {
      case 'n':
        *out += '\n';
        break;
      case 't':
        *out += '\t';
        break;
      case 'r':
        *out += '\r';
        break;
      case '\\':
        *out += '\\';
        break;
      case '"':
        *out += '"';
        break;
      case 'x': {
        int hi = p < text.size() ? hex_value(text[p]) : -1;
        int lo = p + 1 < text.size() ? hex_value(text[p + 1]) : -1;
        if (hi < 0 || lo < 0) return "\\x needs two hexadecimal digits";
        if (hi == 0 && lo == 0) return "\\x00: a script holds no NUL byte";
        *out += (char)(hi * 16 + lo);
        p += 2;
        break;
      }
      default:
        return "unknown escape in quoted text (use \\n \\t \\r \\\\ \\\" \\xHH)";
    }
  }
  *i = p;
  return nullptr;
}

}  // namespace

bool lex_statements(const Source& file, std::vector<Statement>* out) {
  const std::string& text = file.text;
  Statement st;
  int line = 1;
  st.line = line;
  size_t i = 0;
  for (;;) {
    bool at_end = i >= text.size();
    char c = at_end ? '\n' : text[i];
    if (c == '\n' || c == ';') {
      if (!st.words.empty()) out->push_back(st);
      st = Statement();
      if (c == '\n' && !at_end) line++;
      st.line = line;
      if (at_end) return true;
      i++;
    } else if (is_blank(c)) {
      i++;
    } else if (c == '#' && st.words.empty()) {
      while (i < text.size() && text[i] != '\n') i++;
    } else if (c == '"') {
      std::string word;
      const char* problem = read_quoted(text, &i, &word);
      if (problem != nullptr) {
        fprintf(stderr, "%s:%d: %s\n", file.name.c_str(), line, problem);
        return false;
      }
      st.words.push_back(word);
      st.quoted.push_back(true);
    } else {
      size_t start = i;
      while (i < text.size() && !is_blank(text[i]) && text[i] != '\n' && text[i] != ';' &&
             text[i] != '"')
        i++;
      st.words.push_back(text.substr(start, i - start));
      st.quoted.push_back(false);
    }
  }
}

bool parse_number(const std::string& word, long* value) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long v = strtol(word.c_str(), &end, 10);
  if (errno != 0 || *end != 0 || v < -0x7FFFFFFFL - 1 || v > 0x7FFFFFFFL) return false;
  *value = v;
  return true;
}

bool parse_position(const char* text, long* line, long* col) {
  char* end = nullptr;
  long l = strtol(text, &end, 10);
  if (end == text || *end != ':' || text[0] == '-' || text[0] == '+') return false;
  const char* col_text = end + 1;
  long c = strtol(col_text, &end, 10);
  if (end == col_text || *end != 0 || col_text[0] == '-' || col_text[0] == '+') return false;
  if (l < 1 || c < 1 || l > 0x7FFFFFFF || c > 0x7FFFFFFF) return false;
  *line = l;
  *col = c;
  return true;
}
