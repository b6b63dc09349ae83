// Routines from the plug-in's routine list in the shape of the session's
// outline, as bytes, and the workspace's index.
#include "symbols.h"

#include "outline.h"

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

#include "files.h"

namespace wyn::lsp {

std::vector<Routine> find_routines(Document& doc, const std::string& text,
                                   const Vocabulary& vocab) {
  std::vector<LineSpan> marks;
  std::string message;
  if (!doc.routines(&marks, &message, nullptr)) return {};
  return routines_in(doc, text, routine_outline(doc, marks, vocab.words[1]));
}

std::vector<Routine> routines_in(const Document& doc, const std::string& text,
                                 const std::vector<wyn::Routine>& outline) {
  std::vector<Routine> out;
  for (const wyn::Routine& o : outline) {
    Routine r;
    r.name = o.name;
    r.header = o.header;
    r.declaration = o.declaration;
    r.start = (size_t)doc.line_start(o.marked.first);
    r.name_start = r.start + o.name_at;
    r.name_end = r.name_start + o.name.size();
    long last = doc.line_start(o.extent.last);
    r.end = last < 0 ? text.size() : (size_t)last + (size_t)doc.line_length(o.extent.last);
    out.push_back(r);
  }
  return out;
}

// {====== the workspace index

namespace {

// Work done by one step: directory entries read, and script bytes read
// and listed (about 20 ms a MiB), whichever runs out first.
const size_t kStepEntries = 512;
const size_t kStepBytes = 256u << 10;

bool is_script_name(const char* name) {
  return name[0] != '.' && wyn::is_script_name(name);
}

// A folder the walk skips: hidden ones (and . and ..), and the packages a
// project pulls in.
bool skipped_folder(const char* name) {
  return name[0] == '.' || strcmp(name, "node_modules") == 0;
}

}  // namespace

struct WorkspaceIndex::Reader {
  Document& scratch;
  const Vocabulary& vocab;
  Encoding enc;
};

// The folder a walk is reading, kept open between steps.
struct WorkspaceIndex::OpenFolder {
  DIR* dir;
  std::string path;
  int depth;
  ~OpenFolder() { closedir(dir); }
};

WorkspaceIndex::WorkspaceIndex() = default;
WorkspaceIndex::~WorkspaceIndex() = default;

void WorkspaceIndex::walk(const std::vector<std::string>& folders) {
  folders_ = folders;
  open_.reset();
  todo_.clear();
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) todo_.emplace_back(*it, 0);
  walk_++;
  walking_ = true;
  entries_ = scripts_ = bytes_ = too_large_ = too_many_ = 0;
  entries_cut_ = false;
  if (folders.empty()) finish_walk();
}

// True when path is a script below a workspace folder that a walk would
// reach: no hidden or skipped folder on the way, not too deep.
bool WorkspaceIndex::covers(const std::string& path) const {
  if (included_.count(path) != 0) return true;
  size_t slash = path.rfind('/');
  if (slash == std::string::npos || !is_script_name(path.c_str() + slash + 1)) return false;
  for (const std::string& f : folders_) {
    if (path.compare(0, f.size(), f) != 0) continue;
    size_t at = f.size();
    if (f != "/" && (at >= path.size() || path[at] != '/')) continue;
    if (path[at] == '/') at++;
    int depth = 0;
    bool ok = true;
    for (size_t next; ok && (next = path.find('/', at)) != std::string::npos; at = next + 1) {
      std::string part = path.substr(at, next - at);
      ok = !part.empty() && !skipped_folder(part.c_str()) && ++depth <= limits_.depth;
    }
    if (ok) return true;
  }
  return false;
}

void WorkspaceIndex::touch(const std::string& path) {
  if (covers(path)) touched_.insert(path);
}

void WorkspaceIndex::include(const std::string& path) {
  if (included_.size() >= limits_.files && included_.count(path) == 0) return;
  included_.insert(path);
  if (files_.count(path) == 0) touched_.insert(path);
}

void WorkspaceIndex::forget(const std::string& path) {
  erase(path);
  std::string below = path == "/" ? path : path + "/";
  for (auto it = files_.lower_bound(below);
       it != files_.end() && it->first.compare(0, below.size(), below) == 0;) {
    indexed_bytes_ -= (size_t)it->second.size;
    it = files_.erase(it);
  }
  for (auto it = touched_.lower_bound(below);
       it != touched_.end() && it->compare(0, below.size(), below) == 0;)
    it = touched_.erase(it);
  touched_.erase(path);
}

void WorkspaceIndex::erase(const std::string& path) {
  auto it = files_.find(path);
  if (it == files_.end()) return;
  indexed_bytes_ -= (size_t)it->second.size;
  files_.erase(it);
}

// Brings the script at path up to date: read and listed again when its
// size, time or the vocabulary changed, dropped when it is gone or past a
// limit. The bytes read.
size_t WorkspaceIndex::update(const std::string& path, bool walking, Reader& reader) {
  if (walking && scripts_ >= limits_.files) {  // counted, not even looked at
    too_many_++;
    erase(path);
    return 0;
  }
  struct stat st;
  // Links are not followed: no cycles, and nothing outside the folders.
  if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    erase(path);
    return 0;
  }
  auto it = files_.find(path);
  size_t size = (size_t)st.st_size, old = it == files_.end() ? 0 : (size_t)it->second.size;
  bool fits = size <= limits_.file_bytes;
  if (!fits) {
    too_large_ += walking;
  } else if (walking) {
    // A walk counts what it has seen so far, so the files and bytes it
    // keeps are the first it meets, whatever the index held before.
    fits = scripts_ < limits_.files && bytes_ + size <= limits_.total_bytes;
    if (fits)
      scripts_++, bytes_ += size;
    else
      too_many_++;
  } else {
    fits = (it != files_.end() || files_.size() < limits_.files) &&
           indexed_bytes_ - old + size <= limits_.total_bytes;
  }
  if (!fits) {
    erase(path);
    return 0;
  }
  // A file the client reported is read whatever its time says: one
  // rewritten within the clock's tick at the same size looks unchanged.
  if (walking && it != files_.end() && it->second.size == st.st_size &&
      it->second.modified == modified_time(st) &&
      it->second.vocabulary == reader.vocab.generation) {
    it->second.walk = walk_;
    return 0;
  }
  std::string text;
  FileTime modified;
  if (read_regular_file(path, limits_.file_bytes, &text, &modified, nullptr) != 0) {
    erase(path);
    return 0;
  }
  if (!reader.scratch.set_text(text)) {  // the stand-in could not take it
    erase(path);
    return text.size() + 1;
  }
  reader.scratch.colour_whole();  // the outline leaves out what is commented out
  LineIndex lines;
  lines.build(text);
  File f;
  for (const Routine& r : find_routines(reader.scratch, text, reader.vocab)) {
    if (r.declaration) continue;
    IndexedRoutine ir;
    ir.name_at = (uint32_t)f.names.size();
    ir.name_len = (uint32_t)r.name.size();
    ir.start = lines.position(text, r.start, reader.enc);
    ir.end = lines.position(text, r.end, reader.enc);
    f.names += r.name;
    f.routines.push_back(ir);
  }
  f.names.shrink_to_fit();
  f.routines.shrink_to_fit();
  f.size = (off_t)text.size();
  f.modified = modified;
  f.walk = walk_;
  f.vocabulary = reader.vocab.generation;
  erase(path);
  files_[path] = std::move(f);
  indexed_bytes_ += text.size();  // once it is in: the sum never counts a file that is not
  return text.size() + 1;
}

void WorkspaceIndex::step(Document& scratch, const Vocabulary& vocab, Encoding enc) {
  Reader reader{scratch, vocab, enc};
  size_t entries = 0, bytes = 0;
  while (!touched_.empty() && entries < kStepEntries && bytes < kStepBytes) {
    std::string path = *touched_.begin();
    touched_.erase(touched_.begin());
    entries++;
    bytes += update(path, false, reader);
  }
  while (walking_ && entries < kStepEntries && bytes < kStepBytes) {
    if (open_ == nullptr) {
      if (todo_.empty()) {
        finish_walk();
        break;
      }
      auto [path, depth] = std::move(todo_.back());
      todo_.pop_back();
      entries++;
      if (DIR* dir = opendir(path.c_str()))
        open_.reset(new OpenFolder{dir, std::move(path), depth});
      continue;
    }
    struct dirent* e = readdir(open_->dir);
    if (e == nullptr) {
      open_.reset();
      continue;
    }
    entries++;
    if (++entries_ > limits_.entries) {
      entries_cut_ = true;
      finish_walk();
      break;
    }
    if (e->d_name[0] == '.') continue;  // hidden, and . and ..
    const std::string& folder = open_->path;
    std::string path = folder + (folder.back() == '/' ? "" : "/") + e->d_name;
    bool is_dir = false, is_script = is_script_name(e->d_name), known = false;
#if defined(_DIRENT_HAVE_D_TYPE) && !defined(_WIN32)
    // The entry's type, where the system gives it, spares a stat of every
    // file that is not a script. Links are not followed.
    if (e->d_type != DT_UNKNOWN) {
      is_dir = e->d_type == DT_DIR;
      if (!is_dir && (e->d_type != DT_REG || !is_script)) continue;
      known = true;
    }
#endif
    if (!known) {
      struct stat st;
      if (lstat(path.c_str(), &st) != 0) continue;
      is_dir = S_ISDIR(st.st_mode);
    }
    if (is_dir) {
      if (open_->depth < limits_.depth && !skipped_folder(e->d_name))
        todo_.emplace_back(std::move(path), open_->depth + 1);
    } else if (is_script) {
      bytes += update(path, true, reader);
    }
  }
}

void WorkspaceIndex::stop() {
  open_.reset();
  todo_.clear();
  touched_.clear();
  walking_ = false;
  walked_ = true;
}

// Drops the scripts the walk did not see, and words what it left out.
void WorkspaceIndex::finish_walk() {
  open_.reset();
  todo_.clear();
  walking_ = false;
  walked_ = true;
  for (auto it = files_.begin(); it != files_.end();) {
    if (it->second.walk == walk_ || included_.count(it->first) != 0) {
      ++it;
      continue;
    }
    indexed_bytes_ -= (size_t)it->second.size;
    it = files_.erase(it);
  }
  std::string notice;
  if (entries_cut_)
    notice += "stopped after " + std::to_string(limits_.entries) +
              " directory entries, so scripts further on are not indexed; ";
  if (too_many_ != 0)
    notice += std::to_string(too_many_) + " scripts past the first " +
              std::to_string(limits_.files) + " (or " + std::to_string(limits_.total_bytes >> 20) +
              " MiB) left out; ";
  if (too_large_ != 0)
    notice += std::to_string(too_large_) + " scripts larger than " +
              std::to_string(limits_.file_bytes >> 20) + " MiB left out; ";
  if (!notice.empty()) notice = "workspace index: " + notice.substr(0, notice.size() - 2);
  // Said once, not again by every walk that meets the same limits.
  if (notice != last_notice_) notice_ = notice;
  last_notice_ = notice;
}

// }======

}  // namespace wyn::lsp
