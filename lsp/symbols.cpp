// Routines from the plug-in's routine list in the shape of the session's
// outline, as bytes, and the workspace's index.
#include "symbols.h"

#include "outline.h"

#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <new>

#ifdef _WIN32
// The C library's stat on Windows keeps whole seconds only.
#define WYN_MTIME_SEC(st)  (st).st_mtime
#define WYN_MTIME_NSEC(st) 0L
#else
#define WYN_MTIME_SEC(st)  (st).st_mtim.tv_sec
#define WYN_MTIME_NSEC(st) (st).st_mtim.tv_nsec
#endif
namespace wyn::lsp {

std::vector<Routine> find_routines(Document& doc, const std::string& text,
                                   const Vocabulary& vocab) {
  std::vector<Routine> out;
  std::vector<LineSpan> marks;
  std::string message;
  if (!doc.routines(&marks, &message, nullptr)) return out;
  for (const wyn::Routine& o : routine_outline(doc, marks, vocab.words[1])) {
    Routine r;
    r.name = o.name;
    r.header = o.header;
    r.start = (size_t)doc.line_start(o.marked.first);
    r.name_start = r.start + o.name_at;
    r.name_end = r.name_start + o.name.size();
    long last = doc.line_start(o.extent.last);
    r.end = last < 0 ? text.size() : (size_t)last + (size_t)doc.line_length(o.extent.last);
    out.push_back(r);
  }
  return out;
}

void WorkspaceIndex::refresh(const std::vector<std::string>& folders, Document& scratch,
                             const Vocabulary& vocab) {
  std::map<std::string, Entry> seen;
  size_t files = 0;
  std::vector<std::pair<std::string, int>> todo;  // folder, depth
  for (const std::string& f : folders) todo.emplace_back(f, 0);
  while (!todo.empty() && files < max_files) {
    auto [folder, depth] = todo.back();
    todo.pop_back();
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) continue;
    while (struct dirent* e = readdir(dir)) {
      if (e->d_name[0] == '.') continue;  // hidden, and . and ..
      std::string path = folder + (folder.back() == '/' ? "" : "/") + e->d_name;
      struct stat st;
      if (lstat(path.c_str(), &st) != 0) continue;  // links are not followed: no cycles
      if (S_ISDIR(st.st_mode)) {
        if (depth < 32 && strcmp(e->d_name, "node_modules") != 0)
          todo.emplace_back(path, depth + 1);
        continue;
      }
      size_t n = strlen(e->d_name);
      if (!S_ISREG(st.st_mode) || n < 5 || strcmp(e->d_name + n - 4, ".wyn") != 0) continue;
      if ((size_t)st.st_size > max_bytes || files >= max_files) continue;
      files++;
      auto old = entries_.find(path);
      if (old != entries_.end() && old->second.size == st.st_size &&
          old->second.mtime == WYN_MTIME_SEC(st) && old->second.mtime_ns == WYN_MTIME_NSEC(st)) {
        seen[path] = std::move(old->second);
        continue;
      }
      Entry entry;
      entry.path = path;
      entry.size = st.st_size;
      entry.mtime = WYN_MTIME_SEC(st);
      entry.mtime_ns = WYN_MTIME_NSEC(st);
      FILE* fp = fopen(path.c_str(), "rb");
      if (fp == nullptr) continue;
      char buf[65536];
      size_t k;
      while ((k = fread(buf, 1, sizeof buf, fp)) > 0 && entry.text.size() <= max_bytes)
        entry.text.append(buf, k);
      fclose(fp);
      if (entry.text.size() > max_bytes) continue;
      entry.lines.build(entry.text);
      if (!scratch.set_text(entry.text)) {  // no routines of the last file for this one
        closedir(dir);
        throw std::bad_alloc();
      }
      entry.routines = find_routines(scratch, entry.text, vocab);
      seen[path] = std::move(entry);
    }
    closedir(dir);
  }
  entries_.swap(seen);
}

}  // namespace wyn::lsp
