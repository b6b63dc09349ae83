// wyn: what the output layer asks of the operating system: how stdout is
// finished, how a named output is resolved and opened, and how a sink's
// handle is written, closed and put in place; one implementation per
// system (output_posix.cpp, output_win32.cpp). The sink's write, commit
// and abort (output.h) are output.cpp's, over these.
#ifndef WYN_OUTPUT_OS_H
#define WYN_OUTPUT_OS_H

#include <stdint.h>

#include <string>

#include "output.h"

#ifdef _WIN32
using OsHandle = void*;  // a HANDLE
using OsPath = std::wstring;
inline OsHandle const kNoHandle = (OsHandle)(intptr_t)-1;  // INVALID_HANDLE_VALUE
#else
using OsHandle = int;  // a descriptor
using OsPath = std::string;
inline constexpr OsHandle kNoHandle = -1;
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
// Writes what is held into the target where it stands, after checking
// once more that it is the file read_as describes.
bool os_sink_overwrite(OutputSink* sink);
// Closes what is open and removes the temporary file, if any.
void os_sink_drop(OutputSink* sink);

#endif
