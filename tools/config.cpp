// --config FILE: configuration calls made before the command, each through
// the function the plug-in registered for it.
//
//   keyword WORD CLASS        _wyn_add_keyword; CLASS 0|constant, 1|keyword, 2|function
//   template NAME "TEXT"      _wyn_assign_template
//   hash-size CLASS SIZE      _wyn_hash_size; CLASS 1 or 2, SIZE above 0
//   comment-char "TEXT"       WYNSetCommentChar
#include "tool.h"

namespace {

// Class 0, 1 or 2, by number or by name; -1 for anything else.
int word_class(const std::string& word) {
  static const char* const names[] = {"constant", "keyword", "function"};
  for (int i = 0; i < 3; i++)
    if (word == names[i] || word == std::string(1, (char)('0' + i))) return i;
  return -1;
}

bool bad(const Source& file, const Statement& st, const char* problem) {
  fprintf(stderr, "%s:%d: %s\n", file.name.c_str(), st.line, problem);
  return false;
}

// Checks one line and, when call is set, makes its call.
bool apply(const Source& file, const Statement& st, bool call) {
  const std::string& verb = st.words[0];
  size_t n = st.words.size();
  if (verb == "keyword") {
    if (n != 3) return bad(file, st, "keyword needs WORD CLASS");
    int cls = word_class(st.words[2]);
    if (cls < 0) return bad(file, st, "CLASS is 0 (constant), 1 (keyword) or 2 (function)");
    if (st.words[1].empty()) return bad(file, st, "empty keyword");
    std::string error;
    return !call || reported(plugin().add_keyword(st.words[1], cls, &error), error);
  }
  if (verb == "template") {
    if (n != 3 || !st.quoted[2]) return bad(file, st, "template needs NAME \"TEXT\"");
    if (st.words[1].empty()) return bad(file, st, "empty template name");
    std::string error;
    return !call || reported(plugin().assign_template(st.words[1], st.words[2], &error), error);
  }
  if (verb == "hash-size") {
    long cls = 0, size = 0;
    if (n != 3 || !parse_number(st.words[1], &cls) || !parse_number(st.words[2], &size))
      return bad(file, st, "hash-size needs CLASS SIZE, two numbers");
    if (cls != 1 && cls != 2) return bad(file, st, "hash-size applies to class 1 or 2");
    if (size < 1) return bad(file, st, "hash-size needs a SIZE above 0");
    std::string error;
    return !call || reported(plugin().set_hash_size(cls, size, &error), error);
  }
  if (verb == "comment-char") {
    if (n != 2 || st.words[1].empty()) return bad(file, st, "comment-char needs \"TEXT\"");
    std::string error;
    return !call || reported(plugin().set_comment_introducer(st.words[1], &error), error);
  }
  std::string problem =
      "unknown setting '" + verb + "' (keyword, template, hash-size or comment-char)";
  return bad(file, st, problem.c_str());
}

}  // namespace

bool config_apply(const Source& file) {
  std::vector<Statement> statements;
  if (!lex_statements(file, &statements)) return false;
  // Check every line before the first call, so a bad file changes nothing.
  for (size_t i = 0; i < statements.size(); i++)
    if (!apply(file, statements[i], false)) return false;
  for (size_t i = 0; i < statements.size(); i++)
    if (!apply(file, statements[i], true)) return false;
  return true;
}
