// What the server is told to do: the options it starts with, and the
// settings a client sends in initializationOptions and
// workspace/didChangeConfiguration, read into plain values before the
// server applies them to the plug-in.
#ifndef WYN_LSP_SETTINGS_H
#define WYN_LSP_SETTINGS_H

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "protocol.h"
#include "symbols.h"
#include "text.h"

namespace wyn::lsp {

struct ServerOptions {
  std::string plugin_path;  // empty: beside the executable
  // A script this size or smaller is checked against a whole-buffer
  // colouring at once after each change; larger ones when the client idles.
  size_t check_at_once = 64u << 10;
  // The largest script kept; a change that would make one larger drops it.
  size_t document_limit = kDocumentLimit;
  // A deferred check runs at the latest this long after the first change it
  // covers, before the next message, for a client that never goes quiet.
  uint64_t check_within_ms = 1000;
  // Milliseconds from any fixed point; empty: the steady clock.
  std::function<uint64_t()> clock;
  // What the workspace index walks and reads, and the most routines one
  // workspace/symbol or definition answer holds (the best matches first).
  WorkspaceIndex::Limits index_limits;
  size_t symbol_limit = 2000;
  // For a client that does not report changed files: a symbol request
  // this many seconds after the last walk started starts another.
  double rewalk_after = 30;
};

// A client's settings, in the order given. Entries the client got wrong
// are kept in their place, marked, so that what is said about them comes
// in the order the client wrote them.
struct ClientSettings {
  std::string config_file;  // as given, maybe relative; "" when none
  struct Word {
    std::string word;
    int cls = -1;  // 0 constant, 1 reserved word, 2 function; -1 malformed
  };
  std::vector<Word> keywords;
  // Name and text; an empty name marks a malformed entry.
  std::vector<std::pair<std::string, std::string>> templates;
  // Where #include looks after the script's own folder, as given (maybe
  // relative to the first workspace folder); set: the client named them.
  std::vector<std::string> include_dirs;
  bool include_dirs_set = false;
  // A keywords or templates value of a shape not understood at all.
  std::string keywords_problem, templates_problem;
};

// Reads {"wyn": {...}}, the inner object itself, or flat "wyn.key" names.
// Keywords come as {"keyword": ["A", "B"]} (words under their class),
// {"A": "keyword"}, {"A": 1} or [{"word": "A", "class": "keyword"}]; a
// class is "constant", "keyword", "function" or 0 to 2. Templates come as
// {"name": "text"}. Include folders come as ["DIR", ...]; entries that are
// not strings are passed over.
ClientSettings read_settings(const json& settings);

}  // namespace wyn::lsp

#endif
