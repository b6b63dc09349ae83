// Safe writing, the part every system shares: stdout checked on every
// write, and whole texts written through a sink, which the system's own
// layer opens, fills and puts in place.
#include "output.h"

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
      ok = os_sink_overwrite(sink);
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
