// The plug-in's colouring as data, for highlighters that cannot run it:
// its three word tables read back from the loaded plug-in, the category
// colours the editor gives, and the scanner's rules (which characters
// make a word, may stand before one, open a string, colour as an
// operator). Each writer turns this into one highlighter's grammar; none
// holds a word of its own.
#ifndef WYN_GRAMMAR_H
#define WYN_GRAMMAR_H

#include <string>
#include <vector>

struct Grammar {
  // Words of class 0 (constants, system variables), 1 (reserved words)
  // and 2 (built-in functions), sorted, each once. A word in two classes
  // stays only in the first: the plug-in looks class 0 up first.
  std::vector<std::string> words[3];
  // Each category's colour as #rrggbb (order: wyn::Category).
  std::string colours[7];

  // The scanner's rules, byte sets over ASCII (bytes from 128 belong to
  // none). A word is a run of word characters; it is looked up whole,
  // with case as written, only when the character before it is a
  // delimiter or the text's start. A number starts with a digit after a
  // blank, the start, or punctuation other than '_'; runs over hex digits,
  // dots and a lower-case 'x' second; is not coloured when '_' follows;
  // takes one 'l' or 'L' after it. A string runs from a quote to the same
  // quote or the line's end, with backslash escaping the quote and itself.
  // "//" comments to the line's end, "/*" to the next "*/" across lines
  // (the '/' right after "/*" already closes it). Each operator character
  // is coloured alone.
  std::string word_chars;      // letters, digits, '_', '#'
  std::string delimiters;      // may stand before a word
  std::string operator_chars;  // coloured as operators
  std::string quotes;          // open a string
  std::string blanks;          // may stand before a number

  const char* name = "WYN";
  const char* scope = "source.wyn";
  const char* extension = "wyn";
};

// Reads the words and colours from the loaded plug-in (after start-up and
// configuration): false when there are none.
bool grammar_from_plugin(Grammar* out);

// One file of a grammar: a name relative to the output folder, its text.
struct GrammarFile {
  std::string name;
  std::string text;
};

// The formats, each writing one or more files.
struct GrammarFormat {
  const char* name;         // --format=NAME
  const char* description;  // for the help
  std::vector<GrammarFile> (*write)(const Grammar& g);
};
extern const GrammarFormat grammar_formats[];
extern const size_t grammar_format_count;
const GrammarFormat* grammar_format(const char* name);

std::vector<GrammarFile> write_textmate(const Grammar& g);
std::vector<GrammarFile> write_sublime(const Grammar& g);
std::vector<GrammarFile> write_vim(const Grammar& g);
std::vector<GrammarFile> write_pygments(const Grammar& g);
std::vector<GrammarFile> write_npp(const Grammar& g);
std::vector<GrammarFile> write_emacs(const Grammar& g);

// What the rules above imply, for writers that spell them out as patterns:
// the characters a number may follow (blanks, and punctuation that is no
// word character); whether the scanner can ever find w in a table (a run of
// word characters not starting with a digit, no longer than the part of a
// word it looks up, grammar_word_held bytes: a table word of exactly that
// length also stands for every longer word it begins); and the words of
// class c it can reach, in table order. Any other entry would never be
// looked up.
const size_t grammar_word_held = 100;
std::string grammar_number_leads(const Grammar& g);
bool grammar_word_whole(const Grammar& g, const std::string& w);
std::vector<std::string> grammar_reachable_words(const Grammar& g, int c);

#endif
