// Safe writing, the part every system shares: stdout checked on every
// write, whole texts written through a sink, which the system's own layer
// opens, fills and puts in place, and the order of steps that writes a
// file where it stands so that it holds the old text or the whole new one.
#include "output.h"

#include <assert.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <utility>

#include "output_os.h"

namespace {

// Every regular file read as an input, and how many of them stdout was
// found not to be.
std::vector<std::pair<std::string, FileId>> inputs;
size_t inputs_checked = 0;

}  // namespace

bool output_fail(const char* name, const char* problem) {
  fprintf(stderr, "wyn: %s: %s\n", name, problem);
  return false;
}

bool changed_meanwhile(const char* shown) {
  return output_fail(shown, "changed while being edited; nothing written");
}

void output_init(void) {
  os_output_init();
}

void output_note_input(const std::string& name, const FileId& id) {
  if (id.known && id.regular) inputs.emplace_back(name, id);
}

void stdout_must_be_no_input(void) {
  if (inputs_checked == inputs.size()) return;
  static FileId out;
  static bool known = false;
  if (!known) {
    os_stdout_id(&out);
    known = true;
  }
  for (; inputs_checked < inputs.size(); inputs_checked++) {
    const auto& [name, in] = inputs[inputs_checked];
    if (out.known && out.regular && in.dev == out.dev && in.ino == out.ino) {
      // Nothing has gone to stdout: leave without the exit check's flush.
      fprintf(stderr, "wyn: %s: input file is output file\n", name.c_str());
      fflush(stderr);
      _Exit(2);
    }
  }
}

void out_write(const char* data, size_t size) {
  if (size == 0) return;
  stdout_must_be_no_input();
  errno = 0;
  if (fwrite(data, 1, size, stdout) != size || ferror(stdout)) stdout_failed(errno);
}

void out_text(const std::string& text) {
  out_write(text.data(), text.size());
}

void out_flush(void) {
  errno = 0;
  if (fflush(stdout) != 0) stdout_failed(errno);
}

OutputSink* output_open(const char* out) {
  return os_sink_open(out, nullptr);
}

bool output_write(OutputSink* sink, const char* data, size_t size) {
  switch (sink->mode) {
    case SINK_STDOUT:
      out_write(data, size);
      return true;
    case SINK_THROUGH:
    case SINK_SPOOL:
      return os_sink_write(sink, data, size);
    case SINK_IN_PLACE:
      try {
        sink->held.append(data, size);
      } catch (const std::bad_alloc&) {
        return output_fail(sink->shown.c_str(), strerror(ENOMEM));
      }
      return true;
  }
  return false;
}

namespace {

// Reads the size bytes h holds into *copy. False with errno set, or with
// *short_read when fewer are there (the file changed).
bool copy_of(OsHandle h, size_t size, std::string* copy, bool* short_read) {
  *short_read = false;
  try {
    copy->resize(size);
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
  for (size_t done = 0; done < size;) {
    long long n = os_file_read_at(h, done, &(*copy)[done], size - done);
    if (n < 0) return false;
    *short_read = n == 0;
    if (*short_read) return false;
    done += (size_t)n;
  }
  return true;
}

// Writes text over the start of h, cuts the file after it and makes it
// last; false with errno set.
bool write_over(OsHandle h, const std::string& text) {
  return os_file_write_at(h, 0, text.data(), text.size()) && os_file_resize(h, text.size()) &&
         os_file_sync(h);
}

// Writes what the sink holds into its target where it stands (a file with
// several links, or one whose identity a new file cannot take), after
// checking once more that it is the file read_as describes. The file then
// holds the whole new text or, when that cannot be, the old text put back:
// room for the new text is made first, a copy of the old is kept to write
// back, and no signal ends the tool in between.
bool overwrite(OutputSink* sink) {
  assert(sink->mode == SINK_IN_PLACE);
  const char* shown = sink->shown.c_str();
  const std::string& text = sink->held;
  OsHandle h = os_file_open(sink->target);
  if (h == kNoHandle) return output_fail(shown, strerror(errno));
  if (!os_file_is(h, sink->read_as)) {
    os_file_close(h);
    return changed_meanwhile(shown);
  }
  // The file is still the one read: it holds read_as.size bytes.
  std::string old;
  bool short_read = false;
  if (!copy_of(h, (size_t)sink->read_as.size, &old, &short_read)) {
    int err = errno;
    os_file_close(h);
    if (short_read) return changed_meanwhile(shown);
    std::string problem = std::string("cannot keep a copy of the old text (") + strerror(err) +
                          "), so it is not written into; nothing written";
    return output_fail(shown, problem.c_str());
  }
  // From here the file holds the old text or the whole new one, whatever
  // signal comes: it ends the tool once the file is one of them.
  SignalsHeld held;
  // Room for all of the new text first, so that a full disk or a file
  // size limit stops nothing half way.
  if (text.size() > old.size() && !os_file_reserve(h, old.size(), text.size())) {
    int err = errno;
    os_file_close(h);
    std::string problem =
        std::string("cannot make room for the new text (") + strerror(err) + "); nothing written";
    return output_fail(shown, problem.c_str());
  }
  if (write_over(h, text)) return os_file_close(h) || output_fail(shown, strerror(errno));
  int err = errno;
  bool restored = write_over(h, old);
  int restore_err = errno;
  if (!os_file_close(h) && restored) {
    restored = false;
    restore_err = errno;
  }
  std::string problem = strerror(err);
  problem += restored ? "; the old text is back in place"
                      : std::string("; the old text could not be put back (") +
                            strerror(restore_err) + "): the file is damaged";
  return output_fail(shown, problem.c_str());
}

}  // namespace

bool output_commit(OutputSink* sink) {
  bool ok = true;
  switch (sink->mode) {
    case SINK_STDOUT:
      break;
    case SINK_THROUGH:
      ok = os_sink_close(sink);
      break;
    case SINK_SPOOL:
      ok = os_sink_commit_spool(sink);
      break;
    case SINK_IN_PLACE:
      ok = overwrite(sink);
      break;
  }
  delete sink;
  return ok;
}

void output_abort(OutputSink* sink) {
  if (sink == nullptr) return;
  os_sink_drop(sink);
  delete sink;
}

namespace {

bool write_whole(OutputSink* sink, const std::string& text) {
  if (sink == nullptr) return false;
  if (!output_write(sink, text.data(), text.size())) {
    output_abort(sink);
    return false;
  }
  return output_commit(sink);
}

}  // namespace

bool write_output(const char* out, const std::string& text) {
  return write_whole(os_sink_open(out, nullptr), text);
}

bool replace_file(const char* path, const std::string& text, const FileId& read_as) {
  return write_whole(os_sink_open(path, &read_as), text);
}
