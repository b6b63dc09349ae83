// Words and quoted texts of keys-script and configuration lines (read by
// the session layer's script reader), and the numbers and positions in them.
#include "tool.h"

#include <stdlib.h>

bool lex_statements(const Source& file, std::vector<Statement>* out) {
  int line = 0;
  std::string problem;
  if (wyn::lex_statements(file.text, out, &line, &problem)) return true;
  fprintf(stderr, "%s:%d: %s\n", file.name.c_str(), line, problem.c_str());
  return false;
}

bool parse_number(const std::string& word, long* value) {
  return wyn::parse_number(word, value);
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
