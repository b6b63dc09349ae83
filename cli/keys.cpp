// The edit command's keys script: what a user does at the keyboard, one
// action per line (or separated by ';'):
//
//   type "TEXT"     type TEXT character by character; \n in it is Enter
//   newline [N]     Enter: the plug-in's smart indent, else the editor's own
//   expand          the expansion key on the word at or before the cursor
//   indent          the plug-in's smart indent alone
//   goto LINE:COL   put the cursor there (both from 1)
//   left|right|up|down [N], home, end
#include "tool.h"

namespace {

struct Verb {
  const char* name;
  KeyOp op;
  int operands;  // 0 none, 1 optional count, 2 quoted text, 3 position
};

const Verb verbs[] = {
    {"type", KEY_TYPE, 2},     {"newline", KEY_NEWLINE, 1}, {"expand", KEY_EXPAND, 0},
    {"indent", KEY_INDENT, 0}, {"goto", KEY_GOTO, 3},       {"left", KEY_LEFT, 1},
    {"right", KEY_RIGHT, 1},   {"up", KEY_UP, 1},           {"down", KEY_DOWN, 1},
    {"home", KEY_HOME, 0},     {"end", KEY_END, 0},
};

bool bad(const Source& script, const Statement& st, const std::string& problem) {
  fprintf(stderr, "%s:%d: %s\n", script.name.c_str(), st.line, problem.c_str());
  return false;
}

bool parse_one(const Source& script, const Statement& st, KeyAction* act) {
  const Verb* verb = nullptr;
  for (size_t i = 0; i < sizeof verbs / sizeof verbs[0]; i++)
    if (!st.quoted[0] && st.words[0] == verbs[i].name) verb = &verbs[i];
  if (verb == nullptr)
    return bad(script, st,
               "unknown action '" + st.words[0] +
                   "' (type, newline, expand, indent, goto, left, right, up, "
                   "down, home, end)");
  act->op = verb->op;
  act->script_line = st.line;
  size_t n = st.words.size() - 1;
  std::string name = verb->name;
  switch (verb->operands) {
    case 0:
      if (n != 0) return bad(script, st, name + " takes nothing after it");
      return true;
    case 1:
      if (n == 0) return true;
      if (n != 1 || st.quoted[1] || !parse_number(st.words[1], &act->count) || act->count < 1 ||
          act->count > 1000000)
        return bad(script, st, name + " takes an optional count from 1 to 1000000");
      return true;
    case 2:
      if (n != 1 || !st.quoted[1]) return bad(script, st, "type needs one \"quoted text\"");
      act->text = st.words[1];
      return true;
    default:
      if (n != 1 || st.quoted[1] || !parse_position(st.words[1].c_str(), &act->line, &act->col))
        return bad(script, st, "goto needs LINE:COL, both from 1");
      return true;
  }
}

}  // namespace

bool keys_parse(const Source& script, std::vector<KeyAction>* out) {
  std::vector<Statement> statements;
  if (!lex_statements(script, &statements)) return false;
  for (size_t i = 0; i < statements.size(); i++) {
    KeyAction act;
    if (!parse_one(script, statements[i], &act)) return false;
    out->push_back(act);
  }
  if (out->empty()) {
    fprintf(stderr, "%s: no action in the keys script\n", script.name.c_str());
    return false;
  }
  return true;
}
