// The pygments form of the plug-in's colouring.
#include "grammar.h"

std::vector<GrammarFile> write_pygments(const Grammar& g) {
  std::string text;
  for (int c = 0; c < 3; c++)
    for (const std::string& w : g.words[c]) text += w + "\n";
  return {{"wyn.pygments", text}};
}
