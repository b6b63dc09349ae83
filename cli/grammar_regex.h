// The scanner's rules (grammar.h) as regular expressions in the dialect
// the TextMate and sublime-syntax engines share: look-behind of one
// character, atomic groups, no extended mode. Each writer wraps these in
// its own file format; none of them builds a pattern of its own.
#ifndef WYN_GRAMMAR_REGEX_H
#define WYN_GRAMMAR_REGEX_H

#include <string>
#include <vector>

#include "grammar.h"

// One rule of a grammar, in the order the rules are tried at a position.
// With an end, match opens a region that runs across lines to end.
struct GrammarRule {
  std::string scope;  // TextMate scope name with the language's suffix; empty: none
  std::string match;
  std::string end;
};

// The scanner's rules, first to last.
std::vector<GrammarRule> grammar_rules(const Grammar& g);

// s with every regular-expression metacharacter escaped.
std::string regex_escape(const std::string& s);

#endif
