// The Pygments form of the plug-in's colouring: a small package to pip
// install (pyproject.toml and the module wyn_lexer.py), whose entry points
// give `pygmentize -l wyn` a RegexLexer and `-O style=wyn` the plug-in's
// colours. The lexer reads the text as the scanner does, a token at a time
// from the left, so each rule tells where a token may start only by what
// stands before it.
#include <assert.h>

#include "grammar.h"

namespace {

// A Python character class of the given bytes, for a raw string: every
// byte that is not a letter or digit is escaped, which also keeps the
// string's own quote out.
std::string char_class(const std::string& chars, bool negate = false) {
  std::string out = negate ? "[^" : "[";
  for (char c : chars) {
    bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      if (!plain) out += '\\';
      out += c;
    }
  }
  return out + "]";
}

// Words of one class as a Python tuple of strings (word characters only,
// so no quoting is needed).
std::string word_tuple(const std::vector<std::string>& words) {
  std::string out = "(";
  for (size_t i = 0; i < words.size(); i++) {
    out += (i % 6 ? " '" : "\n     '") + words[i] + "',";
  }
  return out + ")";
}

const char* const token_of[7] = {"Comment", "Name.Constant", "Keyword", "Name.Builtin",
                                 "String",  "Number",        "Operator"};

std::string lexer_module(const Grammar& g) {
  std::string word = char_class(g.word_chars);
  std::string ops = g.operator_chars;
  std::string t;
  t += "\"\"\"Pygments lexer and style for ";
  t += g.name;
  t += " scripts (*.";
  t += g.extension;
  t += "), made by `wyn export --format=pygments`\n"
       "from the plug-in's word tables and colouring rules.\"\"\"\n"
       "from pygments.lexer import RegexLexer, default, words\n"
       "from pygments.style import Style\n"
       "from pygments.token import Comment, Keyword, Name, Number, Operator, String, Text\n\n"
       "__all__ = [\"WynLexer\", \"WynStyle\"]\n\n";
  t += "# A word is coloured only after a delimiter (or at the start), and whole.\n";
  t += "_AFTER_DELIMITER = r'(?<!" + char_class(g.delimiters, true) + ")'\n";
  t += "_WHOLE = r'(?!" + word + ")'\n";
  const char* names[3] = {"_CONSTANTS", "_RESERVED", "_BUILT_INS"};
  for (int c = 0; c < 3; c++)
    t += names[c] + std::string(" = ") + word_tuple(grammar_reachable_words(g, c)) + "\n";
  t += "\n\nclass WynLexer(RegexLexer):\n"
       "    name = '";
  t += g.name;
  t += "'\n    aliases = ['wyn']\n    filenames = ['*.";
  std::string upper;
  for (const char* e = g.extension; *e; e++)
    upper += (*e >= 'a' && *e <= 'z') ? (char)(*e - 'a' + 'A') : *e;
  t += std::string(g.extension) + "', '*." + upper + "']\n";
  t += "    flags = 0  # words keep their case; '^' and '$' are not used\n\n"
       "    tokens = {\n"
       "        'root': [\n"
       "            (r'/\\*', Comment.Multiline, 'comment-first'),\n"
       "            (r'//[^\\n]*', Comment.Single),\n";
  // Strings end at their quote or before the line break; a backslash
  // escapes the quote and itself, and is plain text before anything else.
  for (char q : g.quotes) {
    std::string qc = char_class(std::string(1, q)), esc = char_class(std::string(1, q) + "\\");
    std::string body = char_class(std::string(1, q) + "\\\n", true);
    t += "            (r'" + qc + "(?:\\\\" + esc + "|\\\\(?!" + esc + ")|" + body + ")*" + qc +
         "?', String),\n";
  }
  // A number's run of hex digits, dots and a second 'x' is one token,
  // coloured only after a blank or punctuation and when no '_' follows.
  t += "            (r'(?<!" + char_class(grammar_number_leads(g), true) +
       ")[0-9](?:[0-9A-Fa-f.x][0-9A-Fa-f.]*(?![0-9A-Fa-f._])|(?![0-9A-Fa-f.x_]))[lL]?', "
       "Number),\n";
  t += "            (r'[0-9][0-9A-Fa-f.x]?[0-9A-Fa-f.]*', Text),\n";
  t += "            (words(_CONSTANTS, prefix=_AFTER_DELIMITER, suffix=_WHOLE), Name.Constant),\n";
  t += "            (words(_RESERVED, prefix=_AFTER_DELIMITER, suffix=_WHOLE), Keyword),\n";
  t += "            (words(_BUILT_INS, prefix=_AFTER_DELIMITER, suffix=_WHOLE), Name.Builtin),\n";
  t += "            (r'" + word + "+', Name),\n";
  if (ops.find('/') != std::string::npos) {
    t += "            (r'(?<=\\*)/', Text),  # not an operator after '*'\n";
  }
  t += "            (r'" + char_class(ops) + "', Operator),\n";
  t += "            (r'\\s+', Text.Whitespace),\n"
       "            (r'.', Text),\n"
       "        ],\n"
       "        # A block comment ends at the first '/' after a '*', the one right\n"
       "        # after the opener too; that '/' then opens a line comment when a\n"
       "        # '/' follows it, or a new block comment when a '*' does.\n"
       "        'comment-first': [\n"
       "            (r'/', Comment.Multiline, ('#pop', 'comment-after')),\n"
       "            default(('#pop', 'comment')),\n"
       "        ],\n"
       "        'comment': [\n"
       "            (r'[^*]+', Comment.Multiline),\n"
       "            (r'\\*/', Comment.Multiline, ('#pop', 'comment-after')),\n"
       "            (r'\\*', Comment.Multiline),\n"
       "        ],\n"
       "        'comment-after': [\n"
       "            (r'/[^\\n]*', Comment.Single, '#pop'),\n"
       "            (r'\\*', Comment.Multiline, ('#pop', 'comment-first')),\n"
       "            default('#pop'),\n"
       "        ],\n"
       "    }\n\n\n"
       "class WynStyle(Style):\n"
       "    \"\"\"The colours the plug-in gives each category.\"\"\"\n"
       "    styles = {\n";
  for (int k = 0; k < 7; k++)
    t += std::string("        ") + token_of[k] + ": '" + g.colours[k] + "',\n";
  t += "    }\n";
  return t;
}

}  // namespace

std::vector<GrammarFile> write_pygments(const Grammar& g) {
  assert(g.name != nullptr && g.extension != nullptr);
  std::string project =
      "[build-system]\n"
      "requires = [\"setuptools>=61\"]\n"
      "build-backend = \"setuptools.build_meta\"\n\n"
      "[project]\n"
      "name = \"wyn-pygments\"\n"
      "version = \"1.0\"\n"
      "description = \"Pygments lexer and style for " +
      std::string(g.name) +
      " scripts\"\n"
      "dependencies = [\"pygments\"]\n\n"
      "[project.entry-points.\"pygments.lexers\"]\n"
      "wyn = \"wyn_lexer:WynLexer\"\n\n"
      "[project.entry-points.\"pygments.styles\"]\n"
      "wyn = \"wyn_lexer:WynStyle\"\n\n"
      "[tool.setuptools]\n"
      "py-modules = [\"wyn_lexer\"]\n";
  return {{"pyproject.toml", project}, {"wyn_lexer.py", lexer_module(g)}};
}
