// The scanner's rules as regular expressions (see grammar_regex.h). Each
// rule below mirrors one step of the plug-in's scanner; the comments say
// where a pattern has to go out of its way to do so.
#include "grammar_regex.h"

#include <assert.h>

namespace {

bool is_alnum(int c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// One character as it may stand inside a bracket expression.
std::string class_char(char c) {
  switch (c) {
    case '\t':
      return "\\t";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\\':
    case ']':
    case '[':
    case '^':
    case '-':
    case '&':
    case '~':
    case '|':
      return std::string("\\") + c;
    default:
      return std::string(1, c);
  }
}

// A bracket expression of the given bytes, or its complement; a run of
// three or more consecutive letters or digits is written as a range.
std::string char_class(const std::string& chars, bool negate = false) {
  assert(!chars.empty());
  std::string out = negate ? "[^" : "[";
  for (size_t i = 0; i < chars.size(); i++) {
    size_t j = i;
    while (j + 1 < chars.size() && is_alnum(chars[i]) && is_alnum(chars[j + 1]) &&
           chars[j + 1] == chars[j] + 1)
      j++;
    if (j >= i + 2) {
      out += std::string(1, chars[i]) + "-" + chars[j];
      i = j;
    } else {
      out += class_char(chars[i]);
    }
  }
  return out + "]";
}

bool in(const std::string& set, char c) {
  return set.find(c) != std::string::npos;
}

}  // namespace

std::string regex_escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (in("\\^$.|?*+()[]{}", c)) out += '\\';
    out += c;
  }
  return out;
}

std::vector<GrammarRule> grammar_rules(const Grammar& g) {
  const std::string sfx = std::string(".") + g.extension;
  std::vector<GrammarRule> rules;
  auto add = [&](const char* scope, std::string match, std::string end = "") {
    rules.push_back({*scope ? scope + sfx : "", std::move(match), std::move(end)});
  };
  const std::string word = char_class(g.word_chars);
  add("comment.line.double-slash", "//.*");
  // The first '/' with a '*' before it closes, the opener's own '*'
  // included ("/*/"). The scanner then reads that '/' again: before a
  // '/' or '*' it opens the next comment, so the end leaves it there.
  add("comment.block", "/\\*", "(?<=\\*)(?=/[/*])|(?<=\\*)/");
  for (size_t i = 0; i < g.quotes.size(); i++) {
    // Backslash escapes only the string's own quote and itself; any other
    // character after it is read as usual, so a line end still ends it.
    std::string q = class_char(g.quotes[i]);
    add(g.quotes[i] == '"' ? "string.quoted.double" : "string.quoted.single",
        q + "(?:\\\\[" + q + "\\\\]|[^" + q + "\\\\\\n]|\\\\(?![" + q + "\\\\]))*" + q + "?");
  }
  // A number needs a blank or punctuation other than '_' before it. '#'
  // is punctuation, but a digit after one is inside a word, never read
  // as a number, so it is left out like the other word characters.
  std::string before_number = g.blanks;
  for (int c = 33; c < 127; c++)
    if (!is_alnum(c) && !in(g.word_chars, (char)c)) before_number += (char)c;
  // The run is taken whole (atomic), as the scanner reads it: only then is
  // the '_' after it asked for.
  const std::string run = "(?>[0-9]x?[0-9A-Fa-f.]*)";
  add("constant.numeric", "(?<!" + char_class(before_number, true) + ")" + run + "(?!_)[lL]?");
  // The scanner also reads a run it does not colour (before a '_', or after
  // a character of no class) and its dots are then no operators.
  add("", "(?<!" + word + ")" + run);
  // Lookbehind of the complement so that the line's start counts as a
  // delimiter, as the text's start and a line break do for the plug-in.
  const std::string after_delim = "(?<!" + char_class(g.delimiters, true) + ")";
  for (int c = 0; c < 3; c++) {
    std::string alt;
    for (const std::string& w : g.words[c]) {
      // A word the scanner cannot read as one never colours.
      if (!grammar_word_whole(g, w)) continue;
      if (!alt.empty()) alt += '|';
      alt += regex_escape(w);
      // A word at the lookup's limit stands for every longer one it begins.
      if (w.size() == grammar_word_held) alt += word + "*";
    }
    static const char* const scopes[3] = {"constant.language", "keyword.control",
                                          "support.function"};
    if (!alt.empty()) add(scopes[c], after_delim + "(?:" + alt + ")(?!" + word + ")");
  }
  // Outside a comment a '/' after a '*' is read as a closer: no operator.
  add("", "(?<=\\*)/");
  add("keyword.operator", char_class(g.operator_chars));
  return rules;
}
