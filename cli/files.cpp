// Reading scripts, keys scripts and configuration files from disk or stdin,
// whole and within the size limit, and finding the scripts below a folder.
#include "tool.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "files.h"

namespace {

void fail(const std::string& name, const std::string& problem) {
  fprintf(stderr, "wyn: %s: %s\n", name.c_str(), problem.c_str());
}

// Each piece read goes straight to the end of a document.
bool take_into_document(void* taker, const char* data, size_t n) {
  if (data == nullptr) return true;
  if (((wyn::Document*)taker)->append(data, n)) return true;
  errno = ENOMEM;
  return false;
}

// Reads path into out's text, or with doc into doc (out's text stays
// empty; doc is emptied first and holds what was read so far on failure).
bool read_any(const char* path, Source* out, wyn::Document* doc = nullptr) {
  bool from_stdin = !strcmp(path, "-");
  out->name = from_stdin ? "stdin" : path;
  out->text.clear();
  int fd = from_stdin ? 0 : open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
#ifdef _WIN32
    // Windows opens no folder as a file: said as elsewhere.
    struct stat dir_st;
    if (errno == EACCES && stat(path, &dir_st) == 0 && S_ISDIR(dir_st.st_mode)) {
      fail(out->name, "is a directory");
      return false;
    }
#endif
    fail(out->name, strerror(errno));
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    fail(out->name, "is a directory");
    if (!from_stdin) close(fd);
    return false;
  }
  if (doc != nullptr) {
    if (!doc->set_text(std::string())) {
      fail(out->name, strerror(ENOMEM));
      if (!from_stdin) close(fd);
      return false;
    }
    if (S_ISREG(st.st_mode) && st.st_size > 0 && (uintmax_t)st.st_size <= input_limit())
      doc->expect((size_t)st.st_size);
  }
  bool ok = doc != nullptr ? read_bounded(fd, true, &out->id, take_into_document, doc)
                           : read_all_bounded(fd, true, &out->text, &out->id);
  int err = errno;
  output_note_input(out->name, out->id);
  if (!from_stdin) close(fd);
  if (ok) return true;
  if (err == EFBIG)
    fail(out->name, "larger than " + size_text(input_limit()) +
                        ", the size limit (--max-size raises it, up to " +
                        size_text(INPUT_LIMIT_MOST) + ")");
  else if (err == EILSEQ)
    fail(out->name, "binary file (holds a NUL byte), not a script");
  else
    fail(out->name, strerror(err));
  return false;
}

bool ends_with(const std::string& s, const char* tail) {
  size_t n = strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// How many folders deep a walk goes below an operand; a folder further
// down is named on stderr, not searched.
const int most_depth = 64;

// Every *.wyn below folder, each folder's entries in name order. Hidden
// entries (.git and the like) are passed over and linked folders not
// entered, so a link loop cannot trap the walk. False when a folder or an
// entry could not be read or a folder lies too deep (said on stderr); the
// walk goes on past it.
bool scripts_below(const std::string& folder, int depth, std::vector<std::string>* out) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    fprintf(stderr, "wyn: %s: %s\n", folder.c_str(), strerror(errno));
    return false;
  }
  bool ok = true;
  std::vector<std::string> names;
  while (struct dirent* e = readdir(dir))
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string path = folder + (ends_with(folder, "/") ? "" : "/") + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) continue;  // gone since the folder was read
      fprintf(stderr, "wyn: %s: %s\n", path.c_str(), strerror(errno));
      ok = false;
    } else if (S_ISDIR(st.st_mode)) {
      if (depth >= most_depth) {
        fprintf(stderr, "wyn: %s: not searched: more than %d folders deep\n", path.c_str(),
                most_depth);
        ok = false;
      } else if (!scripts_below(path, depth + 1, out)) {
        ok = false;
      }
    } else if (wyn::is_script_name(name.c_str()) && stat(path.c_str(), &st) == 0 &&
               S_ISREG(st.st_mode)) {
      out->push_back(path);
    }
  }
  return ok;
}

}  // namespace

// The operands as files: with -R a folder stands for the scripts below it.
// False when a folder could not be read.
bool script_operands(const Options& opt, std::vector<std::string>* out) {
  bool ok = true;
  if (opt.args.empty()) out->push_back("-");
  for (const char* arg : opt.args) {
    struct stat st;
    if (opt.recurse && stat(arg, &st) == 0 && S_ISDIR(st.st_mode)) {
      if (!scripts_below(arg, 0, out)) ok = false;
    } else {
      out->push_back(arg);
    }
  }
  return ok;
}

bool read_source(const char* path, Source* out) {
  working_on(path);
  return read_any(path, out);
}

bool read_source_into(const char* path, Source* out, wyn::Document* doc) {
  working_on(path);
  return read_any(path, out, doc);
}

bool read_script(const char* path, Source* out) {
  return read_any(path, out);
}
