// Statement scripts, configuration files applied through the plug-in's
// configuration entry points, and where a project's .wyn.cfg lies.
#include "statements.h"

#include <assert.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "files.h"

namespace wyn {

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
  assert(*i < text.size() && text[*i] == '"');
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

// Class 0, 1 or 2, by number or by name; -1 for anything else.
int word_class(const std::string& word) {
  static const char* const names[] = {"constant", "keyword", "function"};
  for (int i = 0; i < 3; i++)
    if (word == names[i] || word == std::string(1, (char)('0' + i))) return i;
  return -1;
}

// Checks one configuration statement and, with plugin set, makes its call.
// Null when all is well, else what is wrong.
std::string config_statement(const Statement& st, Plugin* plugin) {
  const std::string& verb = st.words[0];
  size_t n = st.words.size();
  std::string error;
  if (verb == "keyword") {
    if (n != 3) return "keyword needs WORD CLASS";
    int cls = word_class(st.words[2]);
    if (cls < 0) return "CLASS is 0 (constant), 1 (keyword) or 2 (function)";
    if (st.words[1].empty()) return "empty keyword";
    if (plugin && !plugin->add_keyword(st.words[1], cls, &error)) return error;
    return "";
  }
  if (verb == "template") {
    if (n != 3 || !st.quoted[2]) return "template needs NAME \"TEXT\"";
    if (st.words[1].empty()) return "empty template name";
    if (plugin && !plugin->assign_template(st.words[1], st.words[2], &error)) return error;
    return "";
  }
  if (verb == "hash-size") {
    long cls = 0, size = 0;
    if (n != 3 || !parse_number(st.words[1], &cls) || !parse_number(st.words[2], &size))
      return "hash-size needs CLASS SIZE, two numbers";
    if (cls != 1 && cls != 2) return "hash-size applies to class 1 or 2";
    if (size < 1) return "hash-size needs a SIZE above 0";
    if (plugin && !plugin->set_hash_size(cls, size, &error)) return error;
    return "";
  }
  if (verb == "comment-char") {
    if (n != 2 || st.words[1].empty()) return "comment-char needs \"TEXT\"";
    if (plugin && !plugin->set_comment_introducer(st.words[1], &error)) return error;
    return "";
  }
  // Where #include looks: read by the front ends, nothing for the plug-in.
  if (verb == "include-dir") {
    if (n != 2 || st.words[1].empty()) return "include-dir needs a FOLDER";
    return "";
  }
  return "unknown setting '" + verb +
         "' (keyword, template, hash-size, comment-char or include-dir)";
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

bool lex_statements(const std::string& text, std::vector<Statement>* out, int* bad_line,
                    std::string* problem) {
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
      if (const char* p = read_quoted(text, &i, &word)) {
        *bad_line = line;
        *problem = p;
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

bool apply_config(Plugin& plugin, const std::string& text, const std::string& name,
                  std::string* error) {
  std::vector<Statement> statements;
  int line = 0;
  std::string problem;
  if (!lex_statements(text, &statements, &line, &problem)) {
    if (error) *error = name + ":" + std::to_string(line) + ": " + problem;
    return false;
  }
  for (int pass = 0; pass < 2; pass++) {
    for (const Statement& st : statements) {
      problem = config_statement(st, pass == 0 ? nullptr : &plugin);
      if (problem.empty()) continue;
      if (error) *error = name + ":" + std::to_string(st.line) + ": " + problem;
      return false;
    }
  }
  return true;
}

bool read_config_file(const std::string& path, size_t limit, std::string* text,
                      std::string* problem) {
  assert(text != nullptr && problem != nullptr);
  int status = read_regular_file(path, limit, text, nullptr, problem);
  if (status == 0 && memchr(text->data(), 0, text->size()) != nullptr) {
    text->clear();
    *problem = "binary file (holds a NUL byte), not a configuration file";
    status = EILSEQ;
  }
  if (status == 0) return true;
  errno = status;
  return false;
}

std::string find_config_file(const std::string& start) {
  std::string folder = start;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  for (int depth = 0; depth < 256 && !folder.empty(); depth++) {
    std::string cfg = folder + (folder == "/" ? "" : "/") + ".wyn.cfg";
    if (exists(cfg)) return cfg;
    if (folder == "/" || exists(folder + "/.git")) break;
    size_t slash = folder.rfind('/');
    if (slash == std::string::npos) break;
    folder = slash == 0 ? "/" : folder.substr(0, slash);
  }
  return "";
}

}  // namespace wyn
