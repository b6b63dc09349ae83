// Reading a file a user's project holds (a settings file, a script a
// workspace walk lists) without ever waiting on what lies under its name:
// only a regular file is read, whole, up to a size limit.
#ifndef WYN_SESSION_FILES_H
#define WYN_SESSION_FILES_H

#include <stddef.h>
#include <sys/stat.h>
#include <time.h>

#include <string>

namespace wyn {

// When a file was last written: seconds, and the nanoseconds past them
// where the system keeps them (0 where it keeps whole seconds only).
struct FileTime {
  time_t sec = 0;
  long nsec = 0;
  bool operator==(const FileTime& o) const { return sec == o.sec && nsec == o.nsec; }
};

// The time stat or fstat gave in st.
FileTime modified_time(const struct stat& st);

// Reads the regular file at path (links followed) whole into *text, at
// most limit bytes of it. What is no regular file is refused before it is
// opened: opening a FIFO waits for a writer, and reading a device or
// standard input may never end. The open does not wait, and the file
// opened is checked again, so one swapped in between is refused too.
// Answers 0, with the opened file's time in *modified when that is not
// null. Else an errno value (EISDIR for a directory, EINVAL for any other
// file that is not regular, EFBIG past the limit, even when the file grew
// past it while being read; else what the failing call set), with *text
// empty and *problem, when not null, saying why.
int read_regular_file(const std::string& path, size_t limit, std::string* text, FileTime* modified,
                      std::string* problem);

// A script's file name ends in .wyn in any letter case (scripts written
// on Windows are often SETUP.WYN), with something before it.
bool is_script_name(const char* name);

}  // namespace wyn

#endif
