// wyn: what the output layer asks of the operating system: how stdout is
// finished, how a named output is resolved and opened, how a sink's handle
// is written, closed and put in place, and the few file calls a write into
// a file where it stands is made of; one implementation per system
// (output_posix.cpp, output_win32.cpp). The sink's write, commit and abort
// (output.h) and the order of those file calls are output.cpp's.
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

// Opens a sink on out ("-": stdout). With read_as, out must be the regular
// file read as read_as (--in-place), checked again at commit; without it,
// out may be anything a write reaches. Null, with a message, on failure.
OutputSink* os_sink_open(const char* out, const FileId* read_as);

// The sink's handle, for output.cpp. Each says why, naming the output,
// when it fails. Writes size bytes to it.
bool os_sink_write(OutputSink* sink, const char* data, size_t size);
// Closes a written-through handle (one of the tool's own stays open).
bool os_sink_close(OutputSink* sink);
// Puts the finished temporary file in place of the target.
bool os_sink_commit_spool(OutputSink* sink);
// Closes what is open and removes the temporary file, if any.
void os_sink_drop(OutputSink* sink);

// Says the output changed while the tool worked on it; false.
bool changed_meanwhile(const char* shown);

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

// {====== a regular file written where it stands
// Each call that fails sets errno, as the C library would for the same
// failure. h is a handle os_file_open gave and not yet closed.
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
