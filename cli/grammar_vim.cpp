// The Vim form of the plug-in's colouring: a syntax file and its file-type
// detection, laid out as a package (syntax/wyn.vim, ftdetect/wyn.vim) that
// Vim and Neovim load from pack/*/start/. The words are `syn keyword`s
// (quick to look up), contained in a match that only starts after a
// delimiter, since a keyword alone cannot ask what stands before it
// (".name", "-name" and "\"x\"name" are not coloured). The rest are
// `syn match` and `syn region` items whose patterns carry the scanner's
// context rules.
#include <assert.h>
#include <ctype.h>

#include "grammar.h"

namespace {

// A Vim collection of the given bytes. The line break is left out: a
// pattern that allows it says `^` instead.
std::string collection(const std::string& chars, bool negate = false) {
  std::string out = negate ? "[^" : "[";
  for (size_t i = 0; i < chars.size(); i++) {
    char c = chars[i];
    // A run of three or more letters or digits in a row is written as a range.
    size_t j = i;
    while (j + 1 < chars.size() && chars[j + 1] == chars[j] + 1 &&
           isalnum((unsigned char)chars[j + 1]))
      j++;
    if (isalnum((unsigned char)c) && j - i >= 2) {
      out += std::string(1, c) + "-" + chars[j];
      i = j;
      continue;
    }
    if (c == '\n') continue;
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '/') {
      out += "\\d47";  // the patterns' own delimiter
    } else {
      if (c == '\\' || c == ']' || c == '^' || c == '-') out += '\\';
      out += c;
    }
  }
  return out + "]";
}

const char* const group_of[7] = {"wynComment", "wynConstant", "wynKeyword", "wynFunction",
                                 "wynString",  "wynNumber",   "wynOperator"};
const char* const standard_of[7] = {"Comment", "Constant", "Keyword", "Function",
                                    "String",  "Number",   "Operator"};

std::string syntax_file(const Grammar& g) {
  std::string word = collection(g.word_chars);
  std::string hex = "[0-9A-Fa-f.]", hex_x = "[0-9A-Fa-f.x]", hex_end = "[0-9A-Fa-f._]";
  std::string t;
  t += "\" Vim syntax file for ";
  t += g.name;
  t += " scripts (*.";
  t += g.extension;
  t += "), made by `wyn export --format=vim` from the\n"
       "\" plug-in's word tables and colouring rules. Colours: the standard groups of\n"
       "\" the colour scheme; `let g:wyn_plugin_colours = 1` before loading gives the\n"
       "\" plug-in's own colours instead (as guifg, seen with 'termguicolors' or a GUI).\n"
       "if exists('b:current_syntax')\n  finish\nendif\n"
       "let s:cpo_save = &cpo\nset cpo&vim\n\n"
       "syn case match\n"
       "\" A block comment may open anywhere above: parse from the start.\n"
       "syn sync fromstart\n"
       "syn iskeyword ";
  // 'iskeyword' lists the word characters by code, runs as ranges.
  const std::string& wc = g.word_chars;
  for (size_t i = 0, j; i < wc.size(); i = j) {
    for (j = i + 1; j < wc.size() && wc[j] == wc[j - 1] + 1;) j++;
    t += (i ? "," : "") + std::to_string((unsigned char)wc[i]);
    if (j - i > 1) t += "-" + std::to_string((unsigned char)wc[j - 1]);
  }
  t += "\n\n";

  // Later items win where two start at the same character.
  t += "\" Operators one character each; the '/' after '*' is not one.\n";
  std::string ops = g.operator_chars;
  bool slash = ops.find('/') != std::string::npos;
  if (slash) ops.erase(ops.find('/'), 1);
  t += "syn match wynOperator /" + collection(ops) + "/\n";
  if (slash) t += "syn match wynOperator /\\*\\@1<!\\//\n";
  t += "\" A number's run of hex digits, dots and a second 'x' is taken whole;\n"
       "\" coloured only after a blank or punctuation and when no '_' follows.\n";
  t += "syn match wynRun /" + word + "\\@1<!\\d" + hex_x + "\\=" + hex + "*/\n";
  t += "syn match wynNumber /\\%(^\\|" + collection(grammar_number_leads(g)) + "\\)\\@1<=\\d\\%(" +
       hex_x + hex + "*" + hex_end + "\\@!\\|[0-9A-Fa-f.x_]\\@!\\)[lL]\\=/\n";
  t += "\" Words from the tables, whole and with their case, only inside a word\n"
       "\" that follows a delimiter.\n";
  for (int c = 0; c < 3; c++) {
    std::string line;
    for (const std::string& w : grammar_reachable_words(g, c)) {
      if (line.size() + w.size() > 90) {
        t += line + "\n";
        line.clear();
      }
      if (line.empty()) line = std::string("syn keyword ") + group_of[c + 1] + " contained";
      line += " " + w;
    }
    if (!line.empty()) t += line + "\n";
  }
  std::string first = g.word_chars;  // a digit starts a number instead
  for (char d = '0'; d <= '9'; d++)
    if (first.find(d) != std::string::npos) first.erase(first.find(d), 1);
  t += "syn match wynWord /\\%(^\\|" + collection(g.delimiters) + "\\)\\@1<=" + collection(first) +
       word + "*/ transparent contains=wynConstant,wynKeyword,wynFunction\n";
  t += "\" Strings end at their quote or the line's end; '\\' escapes the quote and itself.\n";
  for (char q : g.quotes) {
    std::string qs(1, q);
    std::string d = q == '+' ? "!" : "+";
    t += "syn region wynString start=" + d + qs + d + " skip=" + d + "\\\\[\\\\" + qs + "]" + d +
         " end=" + d + qs + d + " end=" + d + "$" + d + "\n";
  }
  t += "\" Comments. A block comment ends at the first '/' after a '*' (the '/' right\n"
       "\" after the opener too); that '/' then opens a line comment when a '/'\n"
       "\" follows it, or a new block comment when a '*' does.\n"
       "syn match wynComment +//.*+\n"
       "syn region wynComment start=+/\\*+ end=+\\*\\@1<=//.*+ end=+\\*\\@1<=/[/*]\\@!+\n\n";

  t += "if get(g:, 'wyn_plugin_colours', 0)\n";
  for (int k = 0; k < 7; k++)
    t += std::string("  hi ") + group_of[k] + " guifg=" + g.colours[k] + "\n";
  t += "else\n";
  for (int k = 0; k < 7; k++)
    t += std::string("  hi def link ") + group_of[k] + " " + standard_of[k] + "\n";
  t += "endif\n\nlet b:current_syntax = 'wyn'\nlet &cpo = s:cpo_save\nunlet s:cpo_save\n";
  return t;
}

}  // namespace

std::vector<GrammarFile> write_vim(const Grammar& g) {
  assert(g.name != nullptr && g.extension != nullptr);
  // The extension in any letter case, as on systems that ignore it.
  std::string glob = "*.";
  for (const char* e = g.extension; *e; e++) {
    char c = *e;
    if (c >= 'a' && c <= 'z')
      glob += std::string("[") + c + (char)(c - 'a' + 'A') + "]";
    else
      glob += c;
  }
  std::string detect = "\" " + std::string(g.name) + " scripts, whatever the case of *." +
                       g.extension + "\nautocmd BufNewFile,BufRead " + glob + " setfiletype wyn\n";
  return {{"syntax/wyn.vim", syntax_file(g)}, {"ftdetect/wyn.vim", detect}};
}
