// The Emacs form of the plug-in's colouring: wyn-words.el, the data
// editors/emacs/wyn-mode.el reads. It holds the three word classes as
// lists of strings (for hash tables or regexp-opt) and the category
// colours; the matching rules live in wyn-mode, which follows the
// scanner's (see grammar.h).
#include "grammar.h"

namespace {

// A Lisp string literal: only '"' and '\' need escaping; any other byte
// stands for itself in a file read as UTF-8.
std::string lisp_string(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

void word_list(std::string* out, const char* name, const char* doc,
               const std::vector<std::string>& words) {
  *out += "(defconst ";
  *out += name;
  *out += "\n  '(";
  size_t column = 4;
  for (size_t i = 0; i < words.size(); i++) {
    std::string w = lisp_string(words[i]);
    if (i > 0) {
      if (column + 1 + w.size() > 78) {
        *out += "\n    ";
        column = 4;
      } else {
        *out += ' ';
        column++;
      }
    }
    *out += w;
    column += w.size();
  }
  *out += ")\n  ";
  *out += lisp_string(doc);
  *out += ")\n\n";
}

}  // namespace

std::vector<GrammarFile> write_emacs(const Grammar& g) {
  // Category names in wyn::Category's order, as wyn-mode's faces know them.
  static const char* const categories[7] = {"comment", "constant", "keyword", "function",
                                            "string",  "number",   "operator"};
  std::string text =
      ";;; wyn-words.el --- the words and colours of WYN scripts  -*- lexical-binding: t -*-\n"
      ";; Written by `wyn export --format=emacs' from the plug-in's own tables;\n"
      ";; write it again rather than edit it.  wyn-mode loads it.\n\n"
      ";;; Code:\n\n";
  word_list(&text, "wyn-words-constants",
            "Constants and system variables, matched whole, case kept.", g.words[0]);
  word_list(&text, "wyn-words-keywords", "Reserved words and directives, matched whole, case kept.",
            g.words[1]);
  word_list(&text, "wyn-words-functions", "Built-in functions, matched whole, case kept.",
            g.words[2]);
  text += "(defconst wyn-words-colours\n  '(";
  for (int k = 0; k < 7; k++) {
    if (k > 0) text += "\n    ";
    text += "(";
    text += categories[k];
    text += " . " + lisp_string(g.colours[k]) + ")";
  }
  text += ")\n  \"The colour the editor gives each category, as #rrggbb.\")\n\n";
  text += "(provide 'wyn-words)\n;;; wyn-words.el ends here\n";
  return {{"wyn-words.el", text}};
}
