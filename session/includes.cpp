// #include lines found by colour, the files they name found on disk, and
// the chains of includes followed with bounds.
#include "includes.h"

#include <assert.h>
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <set>

#include "chars.h"
#include "files.h"
#include "statements.h"

namespace wyn {

namespace {

bool is_separator(char c) {
  return c == '/' || c == '\\';
}

bool same_letters(const char* a, const std::string& b) {
  size_t i = 0;
  for (; a[i] != 0 && i < b.size(); i++)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return a[i] == 0 && i == b.size();
}

std::string join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool is_regular(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The entry of folder called name, or failing that the first (in byte
// order) whose name differs from it in letter case only; "" when none.
// Windows opens a name in any letter case itself and would answer with the
// name as asked, so there the listing is read first: a link or a location
// then names the file as it is stored, the same file the editor opens.
// With listings, the folder's listing is the one kept there.
std::string entry_named(const std::string& folder, const std::string& name,
                        FolderListings* listings) {
  std::string exact = join(folder, name);
  struct stat st;
#ifndef _WIN32
  if (lstat(exact.c_str(), &st) == 0) return exact;
#endif
  if (listings != nullptr) {
    const std::vector<std::string>* alike = listings->alike(folder, name);
    if (alike == nullptr) return lstat(exact.c_str(), &st) == 0 ? exact : "";
    if (alike->empty()) return "";
    auto same = std::find(alike->begin(), alike->end(), name);
    return join(folder, same != alike->end() ? *same : alike->front());
  }
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return lstat(exact.c_str(), &st) == 0 ? exact : "";
  std::string best;
  while (struct dirent* e = readdir(dir)) {
    if (strcmp(e->d_name, name.c_str()) == 0) {
      best = e->d_name;
      break;
    }
    if (same_letters(e->d_name, name) && (best.empty() || strcmp(e->d_name, best.c_str()) < 0))
      best = e->d_name;
  }
  closedir(dir);
  return best.empty() ? "" : join(folder, best);
}

// name's components, '/' and '\' both separating, looked for one by one
// below base; the regular file reached, or "".
std::string find_below(const std::string& base, const std::vector<std::string>& parts,
                       FolderListings* listings) {
  std::string at = base;
  for (const std::string& part : parts) {
    if (part == ".") continue;
    at = part == ".." ? join(at, "..") : entry_named(at, part, listings);
    if (at.empty()) return "";
  }
  return is_regular(at) ? at : "";
}

// What identifies a file whatever path reaches it, so that a cycle
// through "a.h" and "./A.H" is seen; the path itself when it cannot be
// made absolute.
std::string identity(const std::string& path) {
#ifdef _WIN32
  char full[_MAX_PATH];
  if (_fullpath(full, path.c_str(), sizeof full) == nullptr) return path;
  std::string out = full;
  for (char& c : out) c = c == '\\' ? '/' : ascii_lower(c);
  return out;
#else
  char full[PATH_MAX];
  return realpath(path.c_str(), full) == nullptr ? path : std::string(full);
#endif
}

// Line (from 1) and byte column (from 0) of pos in text.
void line_col(const std::string& text, size_t pos, long* line, long* col) {
  assert(pos <= text.size());
  long n = 1;
  size_t start = 0;
  for (size_t i = 0; i < pos; i++)
    if (text[i] == '\n') n++, start = i + 1;
  *line = n;
  *col = (long)(pos - start);
}

Diagnostic warning_at(const std::string& text, const IncludeLine& inc, std::string message) {
  Diagnostic d;
  d.severity = Diagnostic::WARNING;
  d.from = inc.from;
  d.to = inc.to;
  line_col(text, d.from, &d.line, &d.col);
  line_col(text, d.to, &d.end_line, &d.end_col);
  d.message = std::move(message);
  return d;
}

// Follows includes depth first from the chain's last file, to find one
// that comes back to a file on the chain. Each file is looked into once
// over the whole search (done), within the depth and file bounds.
class CycleFinder {
 public:
  CycleFinder(const std::vector<std::string>& dirs, const IncludeReader& read,
              FolderListings* listings)
      : dirs_(dirs), read_(read), listings_(listings) {}

  // True with *chain the paths round the cycle, its first file last too.
  bool find(std::vector<std::string>* chain, std::vector<std::string>* ids) {
    assert(!chain->empty() && chain->size() == ids->size());
    std::string id = ids->back();
    if (done_.count(id) != 0 || chain->size() > (size_t)kIncludeDepth ||
        done_.size() >= kIncludeFiles)
      return false;
    done_.insert(id);
    std::string text;
    std::vector<signed char> cats;
    if (!read_(chain->back(), &text, &cats)) return false;
    std::string folder = folder_of(chain->back());
    for (const IncludeLine& inc : find_includes(text, cats)) {
      std::string target = resolve_include(inc.name, folder, dirs_, listings_);
      if (target.empty()) continue;
      std::string target_id = identity(target);
      size_t first = (size_t)(std::find(ids->begin(), ids->end(), target_id) - ids->begin());
      bool cycle = first < ids->size();
      chain->push_back(target);
      ids->push_back(target_id);
      if (cycle) {
        chain->erase(chain->begin(), chain->begin() + (long)first);
        return true;
      }
      if (find(chain, ids)) return true;
      chain->pop_back();
      ids->pop_back();
    }
    return false;
  }

 private:
  const std::vector<std::string>& dirs_;
  const IncludeReader& read_;
  FolderListings* listings_;
  std::set<std::string> done_;
};

}  // namespace

std::vector<IncludeLine> find_includes(const std::string& text,
                                       const std::vector<signed char>& cats) {
  std::vector<IncludeLine> out;
  auto code = [&](size_t i) {
    return i >= cats.size() || (cats[i] != CAT_COMMENT && cats[i] != CAT_STRING);
  };
  size_t line = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (; line < text.size(); line++) {
    size_t i = line, end = text.find('\n', line);
    if (end == std::string::npos) end = text.size();
    line = end;
    while (i < end && is_blank(text[i])) i++;
    if (i >= end || text[i] != '#' || !code(i)) continue;
    size_t hash = i++;
    while (i < end && is_blank(text[i])) i++;
    if (text.compare(i, 7, "include") != 0 || (i + 7 < end && is_name_char(text[i + 7]))) continue;
    for (i += 7; i < end && is_blank(text[i]);) i++;
    if (i >= end || (text[i] != '"' && text[i] != '<')) continue;
    char close = text[i] == '"' ? '"' : '>';
    size_t from = i + 1, to = text.find(close, from);
    if (to == std::string::npos || to >= end || to == from) continue;
    IncludeLine inc;
    inc.at = hash;
    inc.from = from;
    inc.to = to;
    inc.name = text.substr(from, to - from);
    out.push_back(std::move(inc));
  }
  return out;
}

const std::vector<std::string>* FolderListings::alike(const std::string& folder,
                                                      const std::string& name) {
  auto it = folders_.find(folder);
  if (it == folders_.end()) {
    Listing listing;
    if (DIR* dir = opendir(folder.empty() ? "." : folder.c_str())) {
      listing.ok = true;
      while (struct dirent* e = readdir(dir)) listing.by_key[key(e->d_name)].push_back(e->d_name);
      closedir(dir);
      for (auto& [k, names] : listing.by_key) std::sort(names.begin(), names.end());
    }
    it = folders_.emplace(folder, std::move(listing)).first;
  }
  if (!it->second.ok) return nullptr;
  static const std::vector<std::string> none;
  auto found = it->second.by_key.find(key(name));
  return found == it->second.by_key.end() ? &none : &found->second;
}

std::string FolderListings::key(std::string name) {
  for (char& c : name) c = ascii_lower(c);
  return name;
}

std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string resolve_include(const std::string& name, const std::string& folder,
                            const std::vector<std::string>& dirs, FolderListings* listings) {
  std::vector<std::string> parts;
  for (size_t i = 0; i <= name.size();) {
    size_t j = i;
    while (j < name.size() && !is_separator(name[j])) j++;
    if (j > i) parts.push_back(name.substr(i, j - i));
    i = j + 1;
  }
  if (parts.empty()) return "";
  if (is_separator(name[0])) return find_below("/", parts, listings);
  if (name.size() >= 2 && name[1] == ':') {  // a drive: C:\..., only there
#ifdef _WIN32
    parts.erase(parts.begin());
    return find_below(name.substr(0, 2) + "/", parts, listings);
#else
    return "";
#endif
  }
  std::string found = find_below(folder, parts, listings);
  for (size_t i = 0; found.empty() && i < dirs.size(); i++)
    if (!dirs[i].empty()) found = find_below(dirs[i], parts, listings);
  return found;
}

IncludeReader coloured_reader(Document& scratch, size_t limit) {
  return [&scratch, limit](const std::string& path, std::string* text,
                           std::vector<signed char>* cats) {
    if (read_regular_file(path, limit, text, nullptr, nullptr) != 0) return false;
    if (!scratch.set_text(*text) || !scratch.colour_whole()) return false;
    *cats = scratch.categories();
    return true;
  };
}

std::vector<std::string> included_files(const std::string& path,
                                        const std::vector<IncludeLine>& includes,
                                        const std::vector<std::string>& dirs,
                                        const IncludeReader& read) {
  std::vector<std::string> out;
  std::set<std::string> seen = {identity(path)};
  // Breadth first: each round the files the last round's files include.
  std::deque<std::pair<std::string, int>> todo;  // a file found, and its depth
  auto take = [&](const std::vector<IncludeLine>& found, const std::string& from, int depth) {
    std::string folder = folder_of(from);
    for (const IncludeLine& inc : found) {
      if (out.size() >= kIncludeFiles) return;
      std::string target = resolve_include(inc.name, folder, dirs);
      if (target.empty() || !seen.insert(identity(target)).second) continue;
      out.push_back(target);
      if (depth < kIncludeDepth) todo.emplace_back(target, depth);
    }
  };
  take(includes, path, 1);
  while (!todo.empty()) {
    auto [file, depth] = todo.front();
    todo.pop_front();
    std::string text;
    std::vector<signed char> cats;
    if (read(file, &text, &cats)) take(find_includes(text, cats), file, depth + 1);
  }
  return out;
}

std::vector<Diagnostic> check_includes(const std::string& path, const std::string& text,
                                       const std::vector<signed char>& cats,
                                       const std::vector<std::string>& dirs,
                                       const IncludeReader& read, FolderListings* listings) {
  std::vector<Diagnostic> out;
  std::string folder = folder_of(path);
  std::string root_id = identity(path);
  CycleFinder cycles(dirs, read, listings);
  for (const IncludeLine& inc : find_includes(text, cats)) {
    std::string target = resolve_include(inc.name, folder, dirs, listings);
    if (target.empty()) {
      std::string searched = folder.empty() ? "." : folder;
      for (const std::string& d : dirs) searched += ", " + d;
      out.push_back(warning_at(
          text, inc, "include file '" + inc.name + "' not found (searched " + searched + ")"));
      continue;
    }
    std::vector<std::string> chain = {path, target}, ids = {root_id, identity(target)};
    if (ids[1] != root_id && !cycles.find(&chain, &ids)) continue;
    std::string said;
    for (const std::string& file : chain) said += (said.empty() ? "" : " -> ") + file;
    out.push_back(warning_at(text, inc, "include cycle: " + said));
  }
  return out;
}

std::vector<std::string> config_include_dirs(const std::string& text,
                                             const std::string& config_path) {
  std::vector<std::string> out;
  std::vector<Statement> statements;
  int line = 0;
  std::string problem;
  if (!lex_statements(text, &statements, &line, &problem)) return out;
  for (const Statement& st : statements) {
    if (st.words.size() != 2 || st.words[0] != "include-dir" || st.words[1].empty()) continue;
    const std::string& dir = st.words[1];
    bool absolute = dir[0] == '/' || (dir.size() >= 2 && dir[1] == ':');
    out.push_back(absolute ? dir : folder_of(config_path) + dir);
  }
  return out;
}

}  // namespace wyn
