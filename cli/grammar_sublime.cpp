// The sublime-syntax form of the plug-in's colouring (YAML), read by
// Sublime Text and bat. A region that spans lines becomes a context of
// its own, pushed by its opener and popped by its end.
#include "grammar.h"
#include "grammar_regex.h"

namespace {

// s as a YAML single-quoted scalar: only the quote itself is doubled, so
// a pattern's backslashes stand as written. The patterns hold no line
// breaks or other control characters (they name them by escapes).
std::string yaml_string(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

}  // namespace

std::vector<GrammarFile> write_sublime(const Grammar& g) {
  std::string text = "%YAML 1.2\n---\nname: " + yaml_string(g.name) + "\nfile_extensions: [" +
                     yaml_string(g.extension) + "]\nscope: " + yaml_string(g.scope) +
                     "\ncontexts:\n  main:\n";
  std::string regions;
  int n = 0;
  for (const GrammarRule& r : grammar_rules(g)) {
    text += "    - match: " + yaml_string(r.match) + "\n";
    if (!r.scope.empty()) text += "      scope: " + yaml_string(r.scope) + "\n";
    if (r.end.empty()) continue;
    std::string name = "region" + std::to_string(++n);
    text += "      push: " + name + "\n";
    regions += "  " + name + ":\n    - meta_scope: " + yaml_string(r.scope) +
               "\n    - match: " + yaml_string(r.end) + "\n      pop: true\n";
  }
  return {{std::string(g.extension) + ".sublime-syntax", text + regions}};
}
