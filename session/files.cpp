// Reading a regular file whole without waiting on whatever else a name may
// lead to, with the reasons a file is refused said in words.
#include "files.h"

#include <assert.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "chars.h"

#ifndef O_NONBLOCK
#define O_NONBLOCK 0  // Windows: nothing a file name reaches waits on open
#endif
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif

namespace wyn {

namespace {

// What a file that is no regular file is instead.
const char* not_regular(mode_t mode) {
  if (S_ISDIR(mode)) return "is a directory";
  if (S_ISFIFO(mode)) return "is a FIFO or pipe, not a regular file";
  if (S_ISCHR(mode)) return "is a device, not a regular file";
  return "not a regular file";
}

int not_regular_status(mode_t mode) {
  return S_ISDIR(mode) ? EISDIR : EINVAL;
}

// "1 MiB", "64 KiB", else a count of bytes.
std::string size_words(size_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= (1u << 10) && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " bytes";
}

// Reads the open regular file fd, whose fstat answered opened, into *text.
// 0, or an errno value with *why saying what went wrong.
int read_opened(int fd, const struct stat& opened, size_t limit, std::string* text,
                std::string* why) {
  if (!S_ISREG(opened.st_mode)) {
    *why = not_regular(opened.st_mode);
    return not_regular_status(opened.st_mode);
  }
  if ((unsigned long long)opened.st_size > limit) {
    *why = "larger than " + size_words(limit);
    return EFBIG;
  }
  text->reserve((size_t)opened.st_size);
  char chunk[1 << 16];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0) return 0;
    if (n < 0) {
      int err = errno;
      if (err == EINTR) continue;
      *why = strerror(err);
      return err;
    }
    if ((size_t)n > limit - text->size()) {  // it grew while being read
      *why = "larger than " + size_words(limit);
      return EFBIG;
    }
    text->append(chunk, (size_t)n);
  }
}

}  // namespace

FileTime modified_time(const struct stat& st) {
  FileTime t;
#ifdef _WIN32
  t.sec = st.st_mtime;  // the C library's stat keeps whole seconds only
#else
  t.sec = st.st_mtim.tv_sec;
  t.nsec = (long)st.st_mtim.tv_nsec;
#endif
  return t;
}

int read_regular_file(const std::string& path, size_t limit, std::string* text, FileTime* modified,
                      std::string* problem) {
  assert(text != nullptr);
  text->clear();
  std::string why;
  int status = 0;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    status = errno, why = strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    status = not_regular_status(st.st_mode), why = not_regular(st.st_mode);
  } else {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
      status = errno, why = strerror(errno);
    } else {
      struct stat opened;
      if (fstat(fd, &opened) != 0)
        status = errno, why = strerror(errno);
      else
        status = read_opened(fd, opened, limit, text, &why);
      if (status == 0 && modified != nullptr) *modified = modified_time(opened);
      close(fd);
    }
  }
  if (status == 0) return 0;
  text->clear();
  if (problem != nullptr) *problem = why;
  return status;
}

bool is_script_name(const char* name) {
  static const char tail[] = ".wyn";
  size_t n = strlen(name);
  if (n < 5) return false;
  for (size_t i = 0; i < 4; i++) {
    char c = name[n - 4 + i];
    if (ascii_lower(c) != tail[i]) return false;
  }
  return true;
}

}  // namespace wyn
