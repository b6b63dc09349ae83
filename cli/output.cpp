// Safe writing, the part every system shares: stdout checked on every
// write, and whole texts written through a sink: what an output is and
// how it is written (through, through a temporary file put in its place,
// or into the file where it stands so that it holds the old text or the
// whole new one), over the few calls each system's own layer gives.
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

bool same_as_read(const FileId& read_as, const FileId& now) {
  return read_as.known && now.known && read_as.dev == now.dev && read_as.ino == now.ino &&
         read_as.size == now.size && read_as.mtime.tv_sec == now.mtime.tv_sec &&
         read_as.mtime.tv_nsec == now.mtime.tv_nsec;
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

// {====== opening a sink
namespace {

OutputSink* sink_failed(OutputSink* sink) {
  if (sink->handle != kNoHandle && !sink->own_handle) os_file_close(sink->handle);
  delete sink;
  return nullptr;
}

// The regular file t (read as sink->read_as) is to be replaced: checks it
// may be, then spools to a temporary file that takes its identity, or,
// when a new file cannot be it, holds the text to write into it.
OutputSink* open_regular(OutputSink* sink, const OsTarget& t) {
  assert(t.kind == TO_REGULAR);
  const char* shown = sink->shown.c_str();
  if (!same_as_read(sink->read_as, t.id)) return changed_meanwhile(shown), sink_failed(sink);
  std::string why = os_why_not_writable(t);
  if (!why.empty())
    return output_fail(shown, (why + "; nothing written").c_str()), sink_failed(sink);
  // Another name shares the file: only writing into it keeps them one.
  sink->mode = SINK_IN_PLACE;
  if (t.links > 1) return sink;
  OsHandle h = os_make_temp(sink->target, &sink->temp);
  if (h == kNoHandle) {
    std::string folder = os_folder_shown(sink->target), problem = strerror(errno);
    if (errno == EACCES || errno == EPERM || errno == EROFS)
      problem = "cannot make a file in this folder (" + problem + "); " +
                os_name_shown(sink->target) +
                " is replaced through a new file beside it; nothing written";
    return output_fail(folder.c_str(), problem.c_str()), sink_failed(sink);
  }
  // The new file takes the old one's identity; when it cannot (another
  // user's file), the old file is written in place instead.
  if (!os_temp_take_identity(h, t)) {
    os_file_close(h);
    os_drop_temp(sink->temp);
    return sink;
  }
  sink->mode = SINK_SPOOL;
  sink->handle = h;
  sink->exists = true;
  return sink;
}

// The target does not exist yet: spools to a temporary file that commit
// names.
OutputSink* open_new(OutputSink* sink) {
  const char* shown = sink->shown.c_str();
  OsHandle h = os_make_temp(sink->target, &sink->temp);
  if (h == kNoHandle) return output_fail(shown, strerror(errno)), sink_failed(sink);
  if (!os_temp_new_mode(h)) {
    int err = errno;
    os_file_close(h);
    os_drop_temp(sink->temp);
    return output_fail(shown, strerror(err)), sink_failed(sink);
  }
  sink->mode = SINK_SPOOL;
  sink->handle = h;
  return sink;
}

// Opens a sink on out ("-": stdout). With read_as, out must be the regular
// file read as read_as (--in-place), checked again at commit; without it,
// out may be anything a write reaches. Null, with a message, on failure.
OutputSink* sink_open(const char* out, const FileId* read_as) {
  OutputSink* sink = new OutputSink;
  sink->shown = out;
  if (read_as == nullptr && !strcmp(out, "-")) return sink;
  OsTarget t;
  if (!os_resolve(out, &t)) return output_fail(out, strerror(errno)), sink_failed(sink);
  sink->target = t.path;
  if (read_as != nullptr) {
    if (t.kind != TO_REGULAR) {
      if (t.handle != kNoHandle && !t.own) os_file_close(t.handle);
      return output_fail(out, t.kind == TO_NEW
                                  ? "no longer there; nothing written"
                                  : "not a regular file; --in-place writes only to one"),
             sink_failed(sink);
    }
    sink->read_as = *read_as;
    return open_regular(sink, t);
  }
  switch (t.kind) {
    case TO_THROUGH:
      if (!os_open_through(&t, sink)) return output_fail(out, strerror(errno)), sink_failed(sink);
      sink->mode = SINK_THROUGH;
      return sink;
    case TO_REGULAR:
      sink->read_as = t.id;
      return open_regular(sink, t);
    case TO_NEW:
      return open_new(sink);
  }
  return sink_failed(sink);
}

}  // namespace

bool output_allowed(const char* out, const std::vector<FileId>& input_ids, bool scripts_too) {
  OsTarget t;
  if (!strcmp(out, "-") || !os_resolve(out, &t)) return true;
  if (t.handle != kNoHandle && !t.own) os_file_close(t.handle);
  // One of the tool's own descriptors counts as the file it is open on.
  if (!t.id.known || !t.id.regular) return true;
  for (const FileId& in : input_ids)
    if (in.known && in.dev == t.id.dev && in.ino == t.id.ino)
      return output_fail(out, "is also an input; nothing written");
  if (scripts_too && os_names_script(t.path))
    return output_fail(out, "is a script (.wyn), not a page or tags file; nothing written");
  return true;
}

OutputSink* output_open(const char* out) {
  return sink_open(out, nullptr);
}
// }======

// {====== writing and finishing a sink
bool output_write(OutputSink* sink, const char* data, size_t size) {
  assert(sink != nullptr);
  switch (sink->mode) {
    case SINK_STDOUT:
      out_write(data, size);
      return true;
    case SINK_THROUGH:
    case SINK_SPOOL:
      return os_write(sink->handle, data, size) ||
             output_fail(sink->shown.c_str(), strerror(errno));
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

// Puts the temporary file, once its text is made to last, in place of the
// target, which must still be the file it was when the sink was opened.
bool commit_spool(OutputSink* sink) {
  assert(sink->mode == SINK_SPOOL && sink->handle != kNoHandle);
  const char* shown = sink->shown.c_str();
  bool ok = os_file_sync(sink->handle);
  int err = errno;
  if (!os_file_close(sink->handle) && ok) {
    ok = false;
    err = errno;
  }
  sink->handle = kNoHandle;
  if (!ok) {
    os_drop_temp(sink->temp);
    return output_fail(shown, strerror(err));
  }
  // Last look: someone may have saved the file while we worked.
  if (sink->exists && !os_path_is(sink->target, sink->read_as)) {
    os_drop_temp(sink->temp);
    return changed_meanwhile(shown);
  }
  return os_spool_place(sink);
}

}  // namespace

bool output_commit(OutputSink* sink) {
  assert(sink != nullptr);
  bool ok = true;
  switch (sink->mode) {
    case SINK_STDOUT:
      break;
    case SINK_THROUGH:
      ok = sink->own_handle || os_file_close(sink->handle) ||
           output_fail(sink->shown.c_str(), strerror(errno));
      break;
    case SINK_SPOOL:
      ok = commit_spool(sink);
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
  if (sink->handle != kNoHandle && !sink->own_handle) os_file_close(sink->handle);
  if (sink->mode == SINK_SPOOL) os_drop_temp(sink->temp);
  delete sink;
}
// }======

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
  return write_whole(sink_open(out, nullptr), text);
}

bool replace_file(const char* path, const std::string& text, const FileId& read_as) {
  return write_whole(sink_open(path, &read_as), text);
}
