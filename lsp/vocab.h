// The plug-in's vocabulary as the server shows it: the words of its three
// keyword tables and its templates, read back from the tables the plug-in
// built, and what a template says about a call's parameters.
#ifndef WYN_LSP_VOCAB_H
#define WYN_LSP_VOCAB_H

#include <stdint.h>

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "session.h"

namespace wyn::lsp {

struct Vocabulary {
  std::vector<std::string> words[3];                           // by word class, in table order
  std::vector<std::pair<std::string, std::string>> templates;  // name, text
  std::unordered_map<std::string, int> word_class;             // the first class holding it
  std::unordered_map<std::string, std::string> template_text;
  uint64_t generation = 0;  // counts the loads

  void load(const Plugin& plugin);
  int class_of(const std::string& word) const;  // -1: none
  const std::string* template_of(const std::string& name) const;
};

// A call template "Name (&a, b, c);": its name and parameter names, with
// the offsets of each name in signature(), the text shown for it
// ("Name (a, b, c)"). False for templates of another form (blocks, "Name ( );").
struct CallTemplate {
  std::string name;
  std::vector<std::string> params;
  std::string signature;
  std::vector<std::pair<uint32_t, uint32_t>> offsets;
};
bool parse_call_template(const std::string& text, CallTemplate* out);

// A template as a snippet: '&' the final cursor $0, a call's parameters
// ${n:name}, each new line indented as the line it follows ('@' one level
// less), the text escaped for snippet syntax. indent is the line's own.
std::string template_snippet(const std::string& text, const std::string& indent);
// The same without snippet syntax, for clients that take plain text.
std::string template_plain(const std::string& text, const std::string& indent);

}  // namespace wyn::lsp

#endif
