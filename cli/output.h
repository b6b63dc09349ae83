// wyn: everything the tool writes goes through here. stdout is checked on
// every write and at exit; a file is written through when it is no regular
// file, and replaced whole (keeping what the file is) when it is one.
#ifndef WYN_OUTPUT_H
#define WYN_OUTPUT_H

#include <stddef.h>

#include <string>
#include <vector>

#include "input.h"

// The command line as UTF-8, whatever the system hands over. On Windows
// the arguments are read again in UTF-16 so no name is lost to a code page;
// elsewhere they are argv as it is.
char** output_args(int* argc, char** argv);

// Checks stdout and stderr when the program ends, however it ends through
// exit(): a write that failed is "wyn: stdout: REASON" and exit status 2;
// a reader gone away (EPIPE) ends quietly with status 2. Call once, first.
void output_init(void);

// Writes to stdout; on failure says so and ends the program with status 2.
void out_write(const char* data, size_t size);
void out_text(const std::string& text);
// Pushes what stdout holds out now, checked the same way.
void out_flush(void);

// Remembers a file read as an input (name as the user knows it). stdout
// that is the same regular file, as the shell opened it with 1<> or >>, is
// refused before the first byte goes to it: "wyn: NAME: input file is
// output file" and exit status 2. Pipes, terminals and devices are fine.
void output_note_input(const std::string& name, const FileId& id);

// The checks made before anything is written. An output (not "-") that
// is the same file as one of inputs, or with scripts_too an existing .wyn
// file, is refused with a message: false.
bool output_allowed(const char* out, const std::vector<FileId>& inputs, bool scripts_too);

// An output written as its text comes, so a large one is never held whole:
// open, write any number of chunks, then commit or abort. "-" is stdout; a
// device, pipe or the tool's own stdout is written through as the chunks
// come; a regular file, existing or new, gets a temporary file beside it
// that commit puts in its place (as replace_file does) and abort removes.
// Only one sink is open at a time. Every call that fails has said why,
// naming the output; the sink must then be aborted.
struct OutputSink;

// Opens out for writing, following links: null when it cannot be.
OutputSink* output_open(const char* out);
// Appends size bytes; false when they could not be written.
bool output_write(OutputSink* sink, const char* data, size_t size);
// Puts what was written in place and frees the sink; false when it could
// not, with nothing of the new text in place (written-through outputs
// keep what already reached them).
bool output_commit(OutputSink* sink);
// Drops what was written to a temporary file and frees the sink; null is
// allowed.
void output_abort(OutputSink* sink);

// Writes text to out ("-": stdout) through a sink. A link is followed, to
// a missing target too; what is not a regular file (a device, a FIFO, a
// socket, the tool's own stdout as /dev/stdout or /proc/self/fd/1) is
// written through; a regular file is replaced as replace_file does. False,
// with a message naming out, when it could not be written.
bool write_output(const char* out, const std::string& text);

// Puts text in place of the regular file at path, which was read as read_as
// (--in-place). The new text goes to a temporary file in the same folder
// that takes the old file's owner, group, mode, ACLs and extended
// attributes, then replaces it by a rename; a file with several links, or
// whose owner or attributes cannot be given to a new file, is overwritten
// in place once the new text is complete. Refused with a message, nothing
// written: a file changed since it was read, a file the user may not
// write, a folder that takes no temporary file, what is not a regular file.
bool replace_file(const char* path, const std::string& text, const FileId& read_as);

#endif
