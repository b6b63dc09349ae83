// Routines as the server shows them: the plug-in's routine list, less the
// headers named by a reserved word, each with its whole extent; and an
// index of the routines of the workspace's script files.
#ifndef WYN_LSP_SYMBOLS_H
#define WYN_LSP_SYMBOLS_H

#include <stdint.h>
#include <sys/types.h>
#include <time.h>

#include <map>
#include <string>
#include <vector>

#include "session.h"
#include "text.h"
#include "vocab.h"

namespace wyn::lsp {

// A routine of the session's outline, in bytes of the text: the header's
// first line to the end of its extent's last line, and its name.
struct Routine {
  std::string name;
  std::string header;         // the header's first line
  size_t start = 0, end = 0;  // bytes: the header's line start to the extent's last line's end
  size_t name_start = 0, name_end = 0;
};

// The routines of doc (whose bytes are text): the plug-in's routine list
// less the headers named by a reserved word, each with its extent, by the
// session's outline rule.
std::vector<Routine> find_routines(Document& doc, const std::string& text, const Vocabulary& vocab);

// The routines of *.wyn files below some folders, read again only when a
// file's size or time changes.
class WorkspaceIndex {
 public:
  struct Entry {
    std::string path;
    std::string text;  // kept for position conversion
    LineIndex lines;
    std::vector<Routine> routines;
    off_t size = 0;
    time_t mtime = 0;
    long mtime_ns = 0;
  };
  // Walks the folders (hidden folders skipped, at most max_files files of
  // at most max_bytes each) and brings every entry up to date.
  void refresh(const std::vector<std::string>& folders, Document& scratch, const Vocabulary& vocab);
  const std::map<std::string, Entry>& entries() const { return entries_; }
  void clear() { entries_.clear(); }

  size_t max_files = 5000;
  size_t max_bytes = 16u << 20;

 private:
  std::map<std::string, Entry> entries_;
};

}  // namespace wyn::lsp

#endif
