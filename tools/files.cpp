// Reading scripts from disk or stdin and writing results back safely.
#include "tool.h"

#include <errno.h>
#include <fcntl.h>
#include <libgen.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The editor's positions are 32-bit: keep well inside them.
const size_t MAX_SOURCE = (size_t)1 << 30;

void fail(const std::string& name, const char* problem) {
  fprintf(stderr, "wyn: %s: %s\n", name.c_str(), problem);
}

// Reads all of fd into *out; errno set on failure.
bool read_all(int fd, std::string* out) {
  char chunk[1 << 16];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out->append(chunk, (size_t)n);
    if (out->size() > MAX_SOURCE) {
      errno = EFBIG;
      return false;
    }
  }
}

bool read_any(const char* path, Source* out, bool allow_empty) {
  bool from_stdin = !strcmp(path, "-");
  out->name = from_stdin ? "stdin" : path;
  out->text.clear();
  int fd = from_stdin ? 0 : open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fail(out->name, strerror(errno));
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    fail(out->name, "is a directory");
    if (!from_stdin) close(fd);
    return false;
  }
  bool ok = read_all(fd, &out->text);
  int err = errno;
  if (!from_stdin) close(fd);
  if (!ok) {
    fail(out->name, err == EFBIG ? "file too large (at most 1 GiB)" : strerror(err));
    return false;
  }
  if (out->text.empty() && !allow_empty) {
    fail(out->name, "empty file");
    return false;
  }
  if (memchr(out->text.data(), 0, out->text.size()) != nullptr) {
    fail(out->name, "binary file (holds a NUL byte), not a script");
    return false;
  }
  return true;
}

// Writes all of text to fd; errno set on failure.
bool write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += (size_t)n;
  }
  return true;
}

}  // namespace

bool read_source(const char* path, Source* out) {
  return read_any(path, out, false);
}

bool read_script(const char* path, Source* out) {
  return read_any(path, out, true);
}

bool write_file_atomic(const char* path, const std::string& text) {
  // Write where a symbolic link points, so the link survives the rename.
  std::string target = path;
  char resolved[PATH_MAX];
  if (realpath(path, resolved) != nullptr) target = resolved;

  struct stat old;
  bool existed = stat(target.c_str(), &old) == 0;
  if (existed && S_ISDIR(old.st_mode)) {
    fail(path, "is a directory");
    return false;
  }
  std::string dir_copy = target;
  std::string base_copy = target;
  std::string dir = dirname(&dir_copy[0]);
  std::string temp = dir + "/." + basename(&base_copy[0]) + ".wyn-XXXXXX";
  int fd = mkostemp(&temp[0], O_CLOEXEC);
  if (fd < 0) {
    fail(path, strerror(errno));
    return false;
  }
  mode_t mode = existed ? (old.st_mode & 07777) : (mode_t)0644;
  if (!existed) {
    mode_t mask = umask(0);
    umask(mask);
    mode &= ~mask;
  }
  bool ok = fchmod(fd, mode) == 0 && write_all(fd, text) && fsync(fd) == 0;
  int err = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    fail(path, strerror(err));
    return false;
  }
  // Make the rename itself last; a folder that cannot be synced is no error.
  int dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
  return true;
}
