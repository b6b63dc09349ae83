// Routines as the server shows them: the session's outline, each with its
// whole extent; and an index of the routines of the workspace's script
// files.
#ifndef WYN_LSP_SYMBOLS_H
#define WYN_LSP_SYMBOLS_H

#include <stdint.h>
#include <sys/types.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "files.h"
#include "session.h"
#include "text.h"
#include "vocab.h"

namespace wyn {
struct Routine;  // the session's outline entry (outline.h)
}  // namespace wyn

namespace wyn::lsp {

// A routine of the session's outline, in bytes of the text: the header's
// first line to the end of its extent's last line, and its name.
struct Routine {
  std::string name;
  std::string header;         // the header's first line
  size_t start = 0, end = 0;  // bytes: the header's line start to the extent's last line's end
  size_t name_start = 0, name_end = 0;
  bool declaration = false;  // a prototype, which only go-to-definition falls back on
};

// The routines and declarations of doc (whose bytes are text, coloured as
// a whole), each with its extent, by the session's outline rule.
std::vector<Routine> find_routines(Document& doc, const std::string& text, const Vocabulary& vocab);
// The same from the session's outline of doc, made already.
std::vector<Routine> routines_in(const Document& doc, const std::string& text,
                                 const std::vector<wyn::Routine>& outline);

// A routine of a workspace file as answers need it: where its name sits in
// the file's names, and its extent in the client's units.
struct IndexedRoutine {
  uint32_t name_at = 0, name_len = 0;
  Position start, end;
};

// The routines of the *.wyn files below the workspace folders. A walk of
// the folders is taken a bounded step at a time, so the server can answer
// edits between steps; files the client reports created, changed or
// removed are brought up to date one by one. Each file keeps its routines'
// names and extents only, never its text. What is walked and read is
// capped; a walk that met a cap says so once through take_notice().
class WorkspaceIndex {
 public:
  struct Limits {
    size_t entries = 200000;          // directory entries read by one walk
    size_t files = 5000;              // scripts indexed
    size_t file_bytes = 4u << 20;     // the largest script read
    size_t total_bytes = 256u << 20;  // all the scripts read, together
    int depth = 32;                   // folders below a workspace folder
  };
  struct File {
    std::string names;  // the routines' names, end to end
    std::vector<IndexedRoutine> routines;
    off_t size = 0;
    FileTime modified;
    uint64_t walk = 0;        // the last walk that saw it
    uint64_t vocabulary = 0;  // the vocabulary generation it was read with
    std::string_view name(const IndexedRoutine& r) const {
      return std::string_view(names).substr(r.name_at, r.name_len);
    }
  };

  WorkspaceIndex();
  ~WorkspaceIndex();  // closes the folder a walk has open
  WorkspaceIndex(const WorkspaceIndex&) = delete;
  WorkspaceIndex& operator=(const WorkspaceIndex&) = delete;

  void set_limits(const Limits& limits) { limits_ = limits; }
  // Starts a walk of folders from the top; one under way starts over.
  // Files unchanged since they were read, with the same vocabulary, are
  // not read again.
  void walk(const std::vector<std::string>& folders);
  // A file created or changed: read again by the next step, when it is a
  // script the walk would index.
  void touch(const std::string& path);
  // A file a script includes: indexed, and kept by later walks, whatever
  // its name or folder, read by the next step when it is not held yet.
  void include(const std::string& path);
  // A file or folder removed: its scripts leave the index.
  void forget(const std::string& path);

  bool busy() const { return walking_ || !touched_.empty(); }
  // A walk has finished and every touched file has been read.
  bool settled() const { return walked_ && touched_.empty(); }
  // One bounded piece of the work: a few hundred directory entries, or
  // scripts up to a few hundred KiB (always at least one).
  void step(Document& scratch, const Vocabulary& vocab, Encoding enc);
  // Ends the walk and forgets the touched files, keeping what was read:
  // for when the work cannot go on (memory ran out).
  void stop();
  // What the last finished walk left out, once; "" when nothing.
  std::string take_notice() { return std::move(notice_); }
  const std::map<std::string, File>& files() const { return files_; }

 private:
  struct Reader;
  struct OpenFolder;
  bool covers(const std::string& path) const;
  size_t update(const std::string& path, bool walking, Reader& reader);
  void erase(const std::string& path);
  void finish_walk();

  Limits limits_;
  std::map<std::string, File> files_;
  size_t indexed_bytes_ = 0;  // the sizes of files_, added up
  std::vector<std::string> folders_;
  std::set<std::string> touched_;   // read again at the next step
  std::set<std::string> included_;  // files scripts include

  // The walk under way: folders still to read, with their depth, and the
  // one being read.
  bool walking_ = false, walked_ = false;
  uint64_t walk_ = 0;
  std::vector<std::pair<std::string, int>> todo_;
  std::unique_ptr<OpenFolder> open_;
  // What this walk has met, against the limits, and what it left out.
  size_t entries_ = 0, scripts_ = 0, bytes_ = 0;
  size_t too_large_ = 0, too_many_ = 0;
  bool entries_cut_ = false;
  std::string notice_, last_notice_;
};

}  // namespace wyn::lsp

#endif
