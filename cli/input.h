// wyn: reading inputs whole, within a size limit, and remembering which
// file was read so that writing back can tell when it changed meanwhile.
#ifndef WYN_INPUT_H
#define WYN_INPUT_H

#include <stddef.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <string>

// The default size limit of one input, and the most --max-size may ask:
// the editor's positions are 32-bit, so inputs stay well inside them.
const size_t INPUT_LIMIT_DEFAULT = (size_t)256 << 20;
const size_t INPUT_LIMIT_MOST = (size_t)1 << 30;

// Which file a read came from, as it was then.
struct FileId {
  bool known = false;    // false when nothing was read yet
  bool regular = false;  // a regular file (not a pipe, terminal or device)
#ifdef _WIN32
  // The volume's serial number and the file's index on it: what names a
  // file there, which the C library's stat does not tell.
  unsigned long long dev = 0;
  unsigned long long ino = 0;
  long long size = 0;
#else
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
#endif
  struct timespec mtime = {0, 0};
};

// Sets the size limit every later read obeys (--max-size).
void input_set_limit(size_t bytes);
size_t input_limit(void);

// Parses a size: a number of bytes, or with K, M or G (binary) after it.
// False when malformed, zero or above INPUT_LIMIT_MOST.
bool parse_size(const char* text, size_t* bytes);

// A size as people read it: "256 MiB", "1 GiB", "4096 bytes".
std::string size_text(size_t bytes);

// Reads all of fd into *text, stopping as soon as it would pass the limit
// (up front when fstat knows the size) and, when stop_at_nul, at the first
// NUL byte. *id tells what was read. On failure returns false with errno
// set: EFBIG past the limit, EILSEQ at a NUL.
bool read_all_bounded(int fd, bool stop_at_nul, std::string* text, FileId* id);

// Takes what is read a piece at a time; first, when the input's size is
// known, its size alone (data null). False stops the read (errno says why).
typedef bool (*PieceTaker)(void* taker, const char* data, size_t n);
// Reads fd as read_all_bounded does, handing each piece to take.
bool read_bounded(int fd, bool stop_at_nul, FileId* id, PieceTaker take, void* taker);
// The taker read_all_bounded reads with: taker is the std::string.
bool take_into_string(void* taker, const char* data, size_t n);

#ifdef _WIN32
// Fills *id from the open file fd (output_win32.cpp); leaves it alone for
// what is no disk file.
void file_id_of_fd(int fd, FileId* id);
#else
// Fills *id from st.
void file_id_of(const struct stat& st, FileId* id);

// True when st is still the file id describes: same device, inode, size
// and modification time.
bool file_id_matches(const FileId& id, const struct stat& st);
#endif

#endif
