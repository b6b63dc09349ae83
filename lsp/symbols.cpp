// Routines from the plug-in's routine list, and the workspace's index.
#include "symbols.h"

#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

namespace wyn::lsp {

namespace {

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Bytes [start, end) of stand-in line n's text, without its break.
void line_bytes(const Document& doc, long n, size_t* start, size_t* end) {
  long s = doc.line_start(n);
  *start = s < 0 ? 0 : (size_t)s;
  *end = *start + (size_t)doc.line_length(n);
}

// "function Foo(a)" names Foo; a header with no word before its '(' is
// named by its first word. Offsets within the line.
void routine_name(const std::string& header, size_t* from, size_t* to) {
  size_t paren = header.find('(');
  size_t end = paren == std::string::npos ? header.size() : paren;
  while (end > 0 && (header[end - 1] == ' ' || header[end - 1] == '\t')) end--;
  size_t start = end;
  while (start > 0 && is_name_char(header[start - 1])) start--;
  if (start == end) {
    start = 0;
    end = 0;
    while (end < header.size() && is_name_char(header[end])) end++;
  }
  *from = start;
  *to = end;
}

// "end;" (blanks allowed before the ';') right after the indentation.
bool closes_at(const std::string& text, size_t start, size_t end, const std::string& indent) {
  if (end - start < indent.size() + 4 || text.compare(start, indent.size(), indent) != 0)
    return false;
  size_t i = start + indent.size();
  if (text.compare(i, 3, "end") != 0) return false;
  i += 3;
  while (i < end && (text[i] == ' ' || text[i] == '\t')) i++;
  return i < end && text[i] == ';';
}

}  // namespace

std::vector<Routine> find_routines(Document& doc, const std::string& text,
                                   const Vocabulary& vocab) {
  std::vector<LineSpan> marks;
  std::string message;
  std::vector<Routine> out;
  if (!doc.routines(&marks, &message, nullptr)) return out;
  for (const LineSpan& m : marks) {
    size_t a = 0, b = 0;
    line_bytes(doc, m.first, &a, &b);
    Routine r;
    r.header = text.substr(a, b - a);
    size_t na = 0, nb = 0;
    routine_name(r.header, &na, &nb);
    r.name = r.header.substr(na, nb - na);
    if (r.name.empty() || vocab.class_of(r.name) == 1) continue;  // "if (a) then" and the like
    r.start = a;
    r.name_start = a + na;
    r.name_end = a + nb;
    out.push_back(r);
  }
  // Extents, read from the text line by line (lines end at LF, as the
  // plug-in's do): to "end;" at the header's indentation, else to the line
  // before the next routine, else to the end of the text.
  for (size_t i = 0; i < out.size(); i++) {
    Routine& r = out[i];
    size_t ind = 0;
    while (ind < r.header.size() && (r.header[ind] == ' ' || r.header[ind] == '\t')) ind++;
    std::string indent = r.header.substr(0, ind);
    size_t stop = i + 1 < out.size() ? out[i + 1].start : text.size();
    size_t line = r.start, last_end = r.start + r.header.size();
    for (;;) {
      const char* nl = (const char*)memchr(text.data() + line, '\n', text.size() - line);
      size_t end = nl ? (size_t)(nl - text.data()) : text.size();
      size_t content = end > line && text[end - 1] == '\r' ? end - 1 : end;
      if (line != r.start) {
        if (line >= stop) break;
        last_end = content;
        if (closes_at(text, line, content, indent)) break;
      }
      if (nl == nullptr) break;
      line = end + 1;
    }
    r.end = last_end;
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
          old->second.mtime == st.st_mtim.tv_sec && old->second.mtime_ns == st.st_mtim.tv_nsec) {
        seen[path] = std::move(old->second);
        continue;
      }
      Entry entry;
      entry.path = path;
      entry.size = st.st_size;
      entry.mtime = st.st_mtim.tv_sec;
      entry.mtime_ns = st.st_mtim.tv_nsec;
      FILE* fp = fopen(path.c_str(), "rb");
      if (fp == nullptr) continue;
      char buf[65536];
      size_t k;
      while ((k = fread(buf, 1, sizeof buf, fp)) > 0 && entry.text.size() <= max_bytes)
        entry.text.append(buf, k);
      fclose(fp);
      if (entry.text.size() > max_bytes) continue;
      entry.lines.build(entry.text);
      scratch.set_text(entry.text);
      entry.routines = find_routines(scratch, entry.text, vocab);
      seen[path] = std::move(entry);
    }
    closedir(dir);
  }
  entries_.swap(seen);
}

}  // namespace wyn::lsp
