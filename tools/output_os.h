// wyn: what the output layer asks of the operating system: how stdout is
// finished, and how a named output is resolved and opened. The sink's
// write, commit and abort (output.h) live beside these, one implementation
// per system (output_posix.cpp, output_win32.cpp).
#ifndef WYN_OUTPUT_OS_H
#define WYN_OUTPUT_OS_H

#include "output.h"

// Says "wyn: NAME: PROBLEM" on stderr; false, for returning.
bool output_fail(const char* name, const char* problem);

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

#endif
