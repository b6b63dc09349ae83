// wyn: what the output layer asks of the operating system: how stdout is
// finished, where a named output leads, how a temporary file is made and
// put in place, and the few file calls a sink is written with; one
// implementation per system (output_posix.cpp, output_win32.cpp). What is
// done with them, in which order and with which message (opening, writing,
// committing and aborting a sink, output.h), is output.cpp's, the same on
// every system.
#ifndef WYN_OUTPUT_OS_H
#define WYN_OUTPUT_OS_H

#include <stdint.h>
#ifndef _WIN32
#include <signal.h>
#endif

#include <string>

#include "output.h"

#ifdef _WIN32
using OsHandle = void*;  // a HANDLE
using OsPath = std::wstring;
inline OsHandle const kNoHandle = (OsHandle)(intptr_t)-1;  // INVALID_HANDLE_VALUE
using OsSignalMask = int;                                  // nothing to keep
#else
using OsHandle = int;  // a descriptor
using OsPath = std::string;
inline constexpr OsHandle kNoHandle = -1;
using OsSignalMask = sigset_t;
#endif

// Where the chunks of an open output go.
enum SinkMode {
  SINK_STDOUT,   // "-": the checked stdout
  SINK_THROUGH,  // a device, pipe or the tool's own descriptor, written through
  SINK_SPOOL,    // a temporary file beside target, put in its place at commit
  SINK_IN_PLACE  // held here, then written into target itself at commit
};

struct OutputSink {
  SinkMode mode = SINK_STDOUT;
  std::string shown;            // the output as the user named it, for messages
  OsHandle handle = kNoHandle;  // SINK_THROUGH, SINK_SPOOL
  bool own_handle = false;      // SINK_THROUGH: one of the tool's own, left open
  OsPath target;                // SINK_SPOOL, SINK_IN_PLACE: the file with links followed
  OsPath temp;                  // SINK_SPOOL
  bool exists = false;          // SINK_SPOOL: replaces a file (else creates one)
  FileId read_as;               // the file being replaced, as it was read
  std::string held;             // SINK_IN_PLACE
};

// Says "wyn: NAME: PROBLEM" on stderr; false, for returning.
bool output_fail(const char* name, const char* problem);

// What stdout is, as a file read is told (FileId::known stays false when
// the system cannot say).
void os_stdout_id(FileId* id);

// Ends the program, status 2, when stdout is the same file as an input
// noted so far; call before anything is written to it.
void stdout_must_be_no_input(void);

// Ends the program with status 2 after a failed write to stdout; quietly
// when the reader went away (EPIPE).
[[noreturn]] void stdout_failed(int err);

// Registers the exit check of stdout and stderr and the removal of a
// pending temporary file on an interrupt.
void os_output_init(void);

// {====== where a named output leads
// What a write to a named output reaches.
enum TargetKind {
  TO_THROUGH,  // a device, pipe or socket, or one of the tool's own files: written through
  TO_REGULAR,  // an existing regular file: replaced whole
  TO_NEW       // nothing yet: created
};

struct OsTarget {
  TargetKind kind = TO_NEW;
  OsPath path;                  // with every link followed
  OsHandle handle = kNoHandle;  // TO_THROUGH: open already, when telling what it is opened it
  bool own = false;             // handle is one of the tool's own (/dev/stdout), left open
  FileId id;                    // a regular file (also one of the tool's own open on one)
  unsigned long links = 1;      // TO_REGULAR: how many names the file has
#ifdef _WIN32
  unsigned long attributes = 0;  // TO_REGULAR
#else
  struct stat st = {};  // what the path leads to
#endif
};

// Follows out, link by link, to what a write reaches. A dangling link
// leads to its missing target, which a write creates. False with errno
// set when nothing can be written there (a folder, a loop, no access).
bool os_resolve(const char* out, OsTarget* t);
// Opens the TO_THROUGH target t for the sink (the tool's own stdout is
// flushed first); false with errno set.
bool os_open_through(OsTarget* t, OutputSink* sink);
// Why the user may not write the regular file t ("read-only file (mode
// 0444)"), or "" when they may.
std::string os_why_not_writable(const OsTarget& t);
// True when path's name ends in .wyn, as the system compares names.
bool os_names_script(const OsPath& path);
// A path's folder and its last name, as messages show them (UTF-8).
std::string os_folder_shown(const OsPath& path);
std::string os_name_shown(const OsPath& path);
// }======

// {====== temporary files
// Creates the hidden temporary file beside target, its name in *temp,
// removed by an interrupt until put in place or dropped: kNoHandle with
// errno set on failure.
OsHandle os_make_temp(const OsPath& target, OsPath* temp);
// Gives the temporary file h what the regular file t is: owner, group,
// mode, ACLs, extended attributes (where putting it in place does not);
// false when the system will not.
bool os_temp_take_identity(OsHandle h, const OsTarget& t);
// Gives a temporary file that will be a new file the mode a new file gets;
// false with errno set.
bool os_temp_new_mode(OsHandle h);
// Removes the temporary file, keeping errno.
void os_drop_temp(const OsPath& temp);
// True when path still names the file id describes.
bool os_path_is(const OsPath& path, const FileId& id);
// Puts the finished, closed temporary file in place of the target: over
// it when the sink replaces a file, else only where nothing is yet. On
// failure the temporary file is gone (or, where it is the only copy of the
// new text, named) and the message said.
bool os_spool_place(OutputSink* sink);
// }======

// (output.cpp) Says the output changed while the tool worked on it; false.
bool changed_meanwhile(const char* shown);
// True when now is still the file read_as was: same file, size and
// modification time.
bool same_as_read(const FileId& read_as, const FileId& now);

// Holds back, for its lifetime, the signals (on Windows the console's
// Ctrl-C and close) that would end the tool: one that comes meanwhile ends
// it once the holder is gone, so what is written in between is finished.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  OsSignalMask old_;
};

// {====== files written through a handle
// Each call that fails sets errno, as the C library would for the same
// failure. h is a handle not yet closed.
// Writes all size bytes where h stands (a pipe or device too).
bool os_write(OsHandle h, const char* data, size_t size);
// Opens the regular file at path for reading and writing; kNoHandle on
// failure.
OsHandle os_file_open(const OsPath& path);
// True when h is still the file id describes.
bool os_file_is(OsHandle h, const FileId& id);
// Reads at most size bytes from offset on: how many, 0 at the end, -1 on
// failure.
long long os_file_read_at(OsHandle h, size_t offset, char* data, size_t size);
// Writes all size bytes from offset on.
bool os_file_write_at(OsHandle h, size_t offset, const char* data, size_t size);
// Makes room for the file to grow from old_size to size bytes, so that
// writing them cannot run out of it; on failure the file is old_size
// bytes long as before.
bool os_file_reserve(OsHandle h, size_t old_size, size_t size);
// Cuts or extends the file to size bytes.
bool os_file_resize(OsHandle h, size_t size);
// Makes what was written last.
bool os_file_sync(OsHandle h);
// Closes h; false when that failed.
bool os_file_close(OsHandle h);
// }======

#endif
