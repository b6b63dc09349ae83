// The Notepad++ user-defined language form of the plug-in's colouring
// (XML). Its model is coarser than the scanner: a keyword colours wherever
// its own word boundaries fall, whatever stands before it; a number is a
// digit run with a prefix, extra digits and a suffix, with no rule on the
// character before or after; comments and strings are open/close pairs.
// What it cannot say is left as its defaults would have it. A word the
// scanner can never read whole (a space, a dot, a byte from 128) is left
// out: the list is space-separated, and it would colour where the plug-in
// does not.
#include <stdio.h>

#include "grammar.h"
#include "grammar_regex.h"

namespace {

// s as XML character data or an attribute value.
std::string xml_text(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string keywords(const char* name, const std::string& value) {
  return "      <Keywords name=\"" + std::string(name) + "\">" + xml_text(value) + "</Keywords>\n";
}

// A style in the editor's colour, "#rrggbb" written as NPP wants it.
std::string style(const char* name, const std::string& colour) {
  std::string hex = colour.size() == 7 ? colour.substr(1) : "000000";
  for (char& c : hex)
    if (c >= 'a' && c <= 'f') c = (char)(c - 'a' + 'A');
  return "      <WordsStyle name=\"" + std::string(name) + "\" fgColor=\"" + hex +
         "\" bgColor=\"FFFFFF\" fontName=\"\" fontStyle=\"0\" nesting=\"0\" />\n";
}

std::string spaced(const std::string& chars) {
  std::string out;
  for (char c : chars) {
    if (!out.empty()) out += ' ';
    out += c;
  }
  return out;
}

}  // namespace

std::vector<GrammarFile> write_npp(const Grammar& g) {
  // Category order as in Grammar::colours.
  enum { COMMENT, CONSTANT, KEYWORD, FUNCTION, STRING, NUMBER, OPERATOR };
  std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<NotepadPlus>\n";
  x += "  <UserLang name=\"" + xml_text(g.name) + "\" ext=\"" + xml_text(g.extension) +
       "\" udlVersion=\"2.1\">\n    <Settings>\n"
       "      <Global caseIgnored=\"no\" allowFoldOfComments=\"no\" foldCompact=\"no\" "
       "forcePureLC=\"0\" decimalSeparator=\"0\" />\n"
       "      <Prefix Keywords1=\"no\" Keywords2=\"no\" Keywords3=\"no\" Keywords4=\"no\" "
       "Keywords5=\"no\" Keywords6=\"no\" Keywords7=\"no\" Keywords8=\"no\" />\n"
       "    </Settings>\n    <KeywordLists>\n";
  x += keywords("Comments", "00// 01 02 03/* 04*/");
  // A lower-case 'x' second, hex digits and dots, one 'l' or 'L' after.
  x += keywords("Numbers, prefix1", "0x");
  x += keywords("Numbers, prefix2", "");
  x += keywords("Numbers, extras1", "A B C D E F a b c d e f");
  x += keywords("Numbers, extras2", "");
  x += keywords("Numbers, suffix1", "l L");
  x += keywords("Numbers, suffix2", "");
  x += keywords("Numbers, range", "");
  x += keywords("Operators1", spaced(g.operator_chars));
  x += keywords("Operators2", "");
  for (const char* f : {"Folders in code1", "Folders in code2", "Folders in comment"})
    for (const char* part : {", open", ", middle", ", close"})
      x += keywords((std::string(f) + part).c_str(), "");
  // Keywords1..3 hold the plug-in's classes 1, 0 and 2; the rest are empty.
  const int order[3] = {1, 0, 2};
  for (int i = 0; i < 8; i++) {
    std::string words;
    if (i < 3)
      for (const std::string& w : g.words[order[i]])
        if (grammar_word_whole(g, w)) words += (words.empty() ? "" : " ") + w;
    x += keywords(("Keywords" + std::to_string(i + 1)).c_str(), words);
  }
  // Each quote opens a string closed by itself or the line's end; the
  // backslash escapes.
  std::string delims;
  for (int i = 0; i < 8; i++) {
    char buf[4];
    for (int part = 0; part < 3; part++) {
      std::string v;
      if (i < (int)g.quotes.size()) {
        std::string q(1, g.quotes[i]);
        v = part == 0 ? q : part == 1 ? "\\" : "((EOL " + q + "))";
      }
      snprintf(buf, sizeof buf, "%02d", i * 3 + part);
      delims += (delims.empty() ? "" : " ") + std::string(buf) + v;
    }
  }
  x += keywords("Delimiters", delims);
  x += "    </KeywordLists>\n    <Styles>\n";
  x += style("DEFAULT", "#000000");
  x += style("COMMENTS", g.colours[COMMENT]);
  x += style("LINE COMMENTS", g.colours[COMMENT]);
  x += style("NUMBERS", g.colours[NUMBER]);
  x += style("KEYWORDS1", g.colours[KEYWORD]);
  x += style("KEYWORDS2", g.colours[CONSTANT]);
  x += style("KEYWORDS3", g.colours[FUNCTION]);
  for (const char* k : {"KEYWORDS4", "KEYWORDS5", "KEYWORDS6", "KEYWORDS7", "KEYWORDS8"})
    x += style(k, "#000000");
  x += style("OPERATORS", g.colours[OPERATOR]);
  for (const char* k : {"FOLDER IN CODE1", "FOLDER IN CODE2", "FOLDER IN COMMENT"})
    x += style(k, "#000000");
  x += style("DELIMITERS1", g.colours[STRING]);
  x += style("DELIMITERS2", g.colours[STRING]);
  for (int i = 3; i <= 8; i++) x += style(("DELIMITERS" + std::to_string(i)).c_str(), "#000000");
  x += "    </Styles>\n  </UserLang>\n</NotepadPlus>\n";
  return {{std::string(g.extension) + ".udl.xml", x}};
}
