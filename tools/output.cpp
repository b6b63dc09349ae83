// Safe writing, the part every system shares: stdout checked on every
// write, and whole texts written through a sink, which the system's own
// layer opens, fills and puts in place.
#include "output.h"

#include <errno.h>
#include <stdio.h>

#include "output_os.h"

bool output_fail(const char* name, const char* problem) {
  fprintf(stderr, "wyn: %s: %s\n", name, problem);
  return false;
}

void output_init(void) {
  os_output_init();
}

void out_write(const char* data, size_t size) {
  if (size == 0) return;
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
      sink->held.append(data, size);
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
