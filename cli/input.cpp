// Reading an input whole without letting it grow past the size limit: an
// endless pipe or a device costs the limit and no more.
#include "input.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Written by input_set_limit (the command line), read by every read.
size_t limit = INPUT_LIMIT_DEFAULT;

}  // namespace

void input_set_limit(size_t bytes) {
  limit = bytes;
}

size_t input_limit(void) {
  return limit;
}

bool parse_size(const char* text, size_t* bytes) {
  if (text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long n = strtoull(text, &end, 10);
  if (errno != 0) return false;
  unsigned shift = 0;
  if (*end == 'K' || *end == 'k')
    shift = 10;
  else if (*end == 'M' || *end == 'm')
    shift = 20;
  else if (*end == 'G' || *end == 'g')
    shift = 30;
  if (shift != 0) end++;
  if (*end != 0 || n == 0 || n > (INPUT_LIMIT_MOST >> shift)) return false;
  *bytes = (size_t)n << shift;
  return true;
}

std::string size_text(size_t bytes) {
  static const char* const units[] = {"GiB", "MiB", "KiB"};
  for (unsigned i = 0; i < 3; i++) {
    size_t unit = (size_t)1 << (30 - 10 * i);
    if (bytes >= unit && bytes % unit == 0) return std::to_string(bytes / unit) + " " + units[i];
  }
  return std::to_string(bytes) + " bytes";
}

#ifndef _WIN32
void file_id_of(const struct stat& st, FileId* id) {
  id->known = true;
  id->regular = S_ISREG(st.st_mode);
  id->dev = st.st_dev;
  id->ino = st.st_ino;
  id->size = st.st_size;
  id->mtime = st.st_mtim;
}

bool file_id_matches(const FileId& id, const struct stat& st) {
  return id.known && id.dev == st.st_dev && id.ino == st.st_ino && id.size == st.st_size &&
         id.mtime.tv_sec == st.st_mtim.tv_sec && id.mtime.tv_nsec == st.st_mtim.tv_nsec;
}
#endif

bool read_bounded(int fd, bool stop_at_nul, FileId* id, PieceTaker take, void* taker) {
  *id = FileId();
  struct stat st;
  if (fstat(fd, &st) == 0) {
#ifdef _WIN32
    id->known = true;
    id->regular = S_ISREG(st.st_mode);
    file_id_of_fd(fd, id);
#else
    file_id_of(st, id);
#endif
    if (S_ISREG(st.st_mode) && (unsigned long long)st.st_size > limit) {
      errno = EFBIG;
      return false;
    }
    if (S_ISREG(st.st_mode) && !take(taker, nullptr, (size_t)st.st_size)) return false;
  }
  char chunk[1 << 16];
  size_t total = 0;
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if ((size_t)n > limit - total) {
      errno = EFBIG;
      return false;
    }
    if (stop_at_nul && memchr(chunk, 0, (size_t)n) != nullptr) {
      errno = EILSEQ;
      return false;
    }
    total += (size_t)n;
    if (!take(taker, chunk, (size_t)n)) return false;
  }
}

// A regular file's size is known: one allocation of the right size (one
// byte more shows it grew). Otherwise grow as the text comes, never
// reserving past the limit.
bool take_into_string(void* taker, const char* data, size_t n) {
  std::string* text = (std::string*)taker;
  if (data == nullptr) {
    text->reserve(n + 1);
    return true;
  }
  if (text->size() + n > text->capacity()) {
    size_t want = text->capacity() * 2;
    if (want > limit) want = limit;
    if (want < text->size() + n) want = text->size() + n;
    text->reserve(want);
  }
  text->append(data, n);
  return true;
}

bool read_all_bounded(int fd, bool stop_at_nul, std::string* text, FileId* id) {
  text->clear();
  return read_bounded(fd, stop_at_nul, id, take_into_string, text);
}
