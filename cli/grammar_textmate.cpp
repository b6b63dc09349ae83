// The TextMate form of the plug-in's colouring: one JSON grammar, read by
// VS Code's engine, GitHub-style code views and documentation highlighters.
#include "grammar.h"
#include "grammar_regex.h"

namespace {

// s as a JSON string, quotes included.
std::string json_string(const std::string& s) {
  static const char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char ch : s) {
    unsigned char c = (unsigned char)ch;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7f) {
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

}  // namespace

std::vector<GrammarFile> write_textmate(const Grammar& g) {
  std::string text = "{\n  \"name\": " + json_string(g.name) +
                     ",\n  \"scopeName\": " + json_string(g.scope) + ",\n  \"fileTypes\": [" +
                     json_string(g.extension) + "],\n  \"patterns\": [";
  const char* sep = "\n";
  for (const GrammarRule& r : grammar_rules(g)) {
    text += sep;
    sep = ",\n";
    text += "    {";
    if (!r.scope.empty()) text += "\"name\": " + json_string(r.scope) + ", ";
    if (r.end.empty())
      text += "\"match\": " + json_string(r.match);
    else
      text += "\"begin\": " + json_string(r.match) + ", \"end\": " + json_string(r.end);
    text += "}";
  }
  text += "\n  ]\n}\n";
  return {{std::string(g.extension) + ".tmLanguage.json", text}};
}
