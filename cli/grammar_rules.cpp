// The scanner's rules as grammar.h describes them, worked out once for the
// writers that turn them into patterns of their own.
#include <assert.h>

#include "grammar.h"

std::string grammar_number_leads(const Grammar& g) {
  std::string leads = g.blanks;
  for (int c = 33; c < 127; c++)
    if (g.word_chars.find((char)c) == std::string::npos) leads += (char)c;
  return leads;
}

bool grammar_word_whole(const Grammar& g, const std::string& w) {
  if (w.empty() || w.size() > grammar_word_held || (w[0] >= '0' && w[0] <= '9')) return false;
  for (char c : w)
    if (c == '\0' || g.word_chars.find(c) == std::string::npos) return false;
  return true;
}

std::vector<std::string> grammar_reachable_words(const Grammar& g, int c) {
  assert(c >= 0 && c < 3);
  std::vector<std::string> out;
  for (const std::string& w : g.words[c])
    if (grammar_word_whole(g, w)) out.push_back(w);
  return out;
}
