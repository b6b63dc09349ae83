// Safe writing on Windows: stdout and stdin in binary mode and checked to
// the last byte, a console given UTF-8 and, when it takes them, colour
// sequences; outputs that are devices or pipes (NUL, CON, \\.\...) written
// through; regular files replaced whole through a temporary file beside
// them that ReplaceFileW puts in their place (keeping attributes, ACLs and
// streams), and no temporary file left behind by Ctrl-C, nor a file that
// is written where it stands left half written.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "output_os.h"

namespace {

// The temporary file not yet put in place, for on_ctrl to remove. Written
// by make_temp and forget_temp, read by on_ctrl on the system's own
// thread; the lock keeps it from seeing half a name. A SignalsHeld holds
// the lock as well, so on_ctrl, and the end it leads to, waits for it.
CRITICAL_SECTION pending_lock;
wchar_t pending[32768];
bool has_pending = false;

BOOL WINAPI on_ctrl(DWORD) {
  EnterCriticalSection(&pending_lock);
  // The file is open for sharing deletion: it goes when the handle closes.
  if (has_pending) DeleteFileW(pending);
  LeaveCriticalSection(&pending_lock);
  return FALSE;  // on to the default handler, which ends the program
}

bool fail(const char* name, const char* problem) {
  return output_fail(name, problem);
}

// The C library's error number for a system error, so messages read the
// same as on other systems.
int errno_of(DWORD err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_FILE_TOO_LARGE:
      return EFBIG;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    default:
      return EIO;
  }
}

bool fail_system(const char* name, DWORD err) {
  return fail(name, strerror(errno_of(err)));
}

void close_standard_streams(void) {
  errno = 0;
  if (fflush(stdout) != 0 || ferror(stdout)) stdout_failed(errno);
  fflush(stderr);
}

std::wstring folder_of(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L".";
  return path.substr(0, slash == 0 || path[slash - 1] == L':' ? slash + 1 : slash);
}

std::wstring name_of(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/:");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool write_all(HANDLE h, const char* data, size_t size) {
  while (size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : (DWORD)size, done = 0;
    if (!WriteFile(h, data, chunk, &done, nullptr) || done == 0) return false;
    data += done;
    size -= done;
  }
  return true;
}

// Where a write to a path lands.
enum Kind {
  TO_THROUGH,  // a device or pipe: written through
  TO_REGULAR,  // an existing regular file: replaced whole
  TO_NEW       // nothing yet: created
};

struct Target {
  Kind kind = TO_NEW;
  std::wstring path;  // a regular file's path with every link followed
  HANDLE through = INVALID_HANDLE_VALUE;
  BY_HANDLE_FILE_INFORMATION info = {};
};

const DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

void fill_id(const BY_HANDLE_FILE_INFORMATION& info, FileId* id) {
  id->known = true;
  id->regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  id->dev = info.dwVolumeSerialNumber;
  id->ino = (unsigned long long)info.nFileIndexHigh << 32 | info.nFileIndexLow;
  id->size = (long long)((unsigned long long)info.nFileSizeHigh << 32 | info.nFileSizeLow);
  unsigned long long t = (unsigned long long)info.ftLastWriteTime.dwHighDateTime << 32 |
                         info.ftLastWriteTime.dwLowDateTime;
  id->mtime.tv_sec = (time_t)(t / 10000000);
  id->mtime.tv_nsec = (long)(t % 10000000 * 100);
}

bool id_matches(const FileId& id, const BY_HANDLE_FILE_INFORMATION& info) {
  FileId now;
  fill_id(info, &now);
  return id.known && id.dev == now.dev && id.ino == now.ino && id.size == now.size &&
         id.mtime.tv_sec == now.mtime.tv_sec && id.mtime.tv_nsec == now.mtime.tv_nsec;
}

// What path names now, through a handle that only reads attributes.
bool info_of(const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, share_all, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = GetFileInformationByHandle(h, info) != 0;
  CloseHandle(h);
  return ok;
}

// Finds what a write to out reaches. False with errno set when nothing
// can be written there (a folder, a missing folder, no access).
bool resolve(const char* out, Target* t) {
  std::wstring w = wyn_wide(out);
  t->path = w;
  // Opened for writing first: a device or pipe is then ready to take the
  // text, and a pipe is not connected to twice.
  HANDLE h = CreateFileW(w.c_str(), GENERIC_WRITE, share_all, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_DISK) {
    t->kind = TO_THROUGH;
    t->through = h;
    return true;
  }
  if (h == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND) {
      t->kind = TO_NEW;
      return true;
    }
    // A read-only file or one open elsewhere: still tell what it is.
    h = CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, share_all, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      errno = errno_of(err);
      return false;
    }
  }
  bool ok = GetFileInformationByHandle(h, &t->info) != 0;
  wchar_t final_path[32768];
  DWORD n = ok ? GetFinalPathNameByHandleW(h, final_path, 32768, FILE_NAME_NORMALIZED) : 0;
  CloseHandle(h);
  if (!ok) {
    errno = EIO;
    return false;
  }
  if (t->info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    errno = EISDIR;
    return false;
  }
  if (n > 0 && n < 32768) t->path = final_path;
  t->kind = TO_REGULAR;
  return true;
}

// name as a full path in backslashes; name itself when it has none.
std::wstring full_name(const std::wstring& name) {
  DWORD n = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (n == 0) return name;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(name.c_str(), n, &full[0], nullptr);
  if (n == 0 || n >= full.size()) return name;
  full.resize(n);
  return full;
}

// Creates the temporary file beside target, open for writing and for
// deletion by anyone (on_ctrl); INVALID_HANDLE_VALUE with the system's
// error set on failure.
HANDLE make_temp(const std::wstring& target, std::wstring* temp) {
  std::wstring base = folder_of(target);
  if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
  // A name is at most 255 UTF-16 units, and at most 255 bytes of UTF-8
  // where the file system underneath counts bytes (Wine's, for one); a
  // name's UTF-8 is never shorter than its UTF-16, so the target's own is
  // cut to fit in UTF-8 bytes, at a character's start (never inside a
  // surrogate pair), so that the dot, ".wyn-" and the twelve digits below
  // still fit.
  std::wstring name = name_of(target);
  const size_t room = 255 - 1 - 5 - 12;
  size_t bytes = 0, cut = 0;
  while (cut < name.size()) {
    wchar_t c = name[cut];
    bool pair = c >= 0xD800 && c <= 0xDBFF && cut + 1 < name.size() && name[cut + 1] >= 0xDC00 &&
                name[cut + 1] <= 0xDFFF;
    size_t b = pair ? 4 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    if (bytes + b > room) break;
    bytes += b;
    cut += pair ? 2 : 1;
  }
  name.resize(cut);
  base += L"." + name + L".wyn-";
  static unsigned serial = 0;
  for (int tries = 0; tries < 100; tries++) {
    wchar_t suffix[32];
    swprintf(suffix, 32, L"%08lx%04x", GetCurrentProcessId() ^ GetTickCount(), ++serial & 0xFFFF);
    *temp = base + suffix;
    if (temp->size() >= sizeof pending / sizeof pending[0]) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return INVALID_HANDLE_VALUE;
    }
    EnterCriticalSection(&pending_lock);
    HANDLE h = CreateFileW(temp->c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD err = GetLastError();
    if (h != INVALID_HANDLE_VALUE) {
      memcpy(pending, temp->c_str(), (temp->size() + 1) * sizeof(wchar_t));
      has_pending = true;
    }
    LeaveCriticalSection(&pending_lock);
    if (h != INVALID_HANDLE_VALUE || (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS)) {
      SetLastError(err);
      return h;
    }
  }
  return INVALID_HANDLE_VALUE;
}

// The temporary file is in place or gone: no longer ours to remove.
void forget_temp(void) {
  EnterCriticalSection(&pending_lock);
  has_pending = false;
  LeaveCriticalSection(&pending_lock);
}

void drop_temp(const std::wstring& temp) {
  DWORD err = GetLastError();
  DeleteFileW(temp.c_str());
  forget_temp();
  SetLastError(err);
}

std::string utf8_of(const std::wstring& path) {
  return wyn_utf8(path.c_str());
}

}  // namespace

void file_id_of_fd(int fd, FileId* id) {
  HANDLE h = (HANDLE)_get_osfhandle(fd);
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(h, &info))
    return;
  fill_id(info, id);
}

namespace {

OutputSink* sink_failed(OutputSink* sink) {
  if (sink->handle != INVALID_HANDLE_VALUE) CloseHandle(sink->handle);
  delete sink;
  return nullptr;
}

OutputSink* open_regular(OutputSink* sink, const BY_HANDLE_FILE_INFORMATION& info) {
  const char* shown = sink->shown.c_str();
  if (!id_matches(sink->read_as, info)) return changed_meanwhile(shown), sink_failed(sink);
  if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
    return fail(shown, "read-only file (read-only attribute); nothing written"), sink_failed(sink);
  HANDLE probe = CreateFileW(sink->target.c_str(), GENERIC_WRITE, share_all, nullptr, OPEN_EXISTING,
                             0, nullptr);
  if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
    return fail(shown, "not writable by you; nothing written"), sink_failed(sink);
  if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
  // Another name shares the file: only writing into it keeps them one.
  sink->mode = SINK_IN_PLACE;
  if (info.nNumberOfLinks > 1) return sink;
  HANDLE h = make_temp(sink->target, &sink->temp);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    std::string folder = utf8_of(folder_of(sink->target)), problem = strerror(errno_of(err));
    if (err == ERROR_ACCESS_DENIED || err == ERROR_WRITE_PROTECT)
      problem = "cannot make a file in this folder (" + problem + "); " +
                utf8_of(name_of(sink->target)) +
                " is replaced through a new file beside it; nothing written";
    return fail(folder.c_str(), problem.c_str()), sink_failed(sink);
  }
  sink->mode = SINK_SPOOL;
  sink->handle = h;
  sink->exists = true;
  return sink;
}

OutputSink* open_new(OutputSink* sink) {
  HANDLE h = make_temp(sink->target, &sink->temp);
  if (h == INVALID_HANDLE_VALUE)
    return fail_system(sink->shown.c_str(), GetLastError()), sink_failed(sink);
  sink->mode = SINK_SPOOL;
  sink->handle = h;
  return sink;
}

}  // namespace

bool os_sink_commit_spool(OutputSink* sink) {
  const char* shown = sink->shown.c_str();
  bool flushed = FlushFileBuffers(sink->handle) != 0;
  DWORD err = GetLastError();
  CloseHandle(sink->handle);
  sink->handle = INVALID_HANDLE_VALUE;
  if (!flushed) {
    drop_temp(sink->temp);
    return fail_system(shown, err);
  }
  if (!sink->exists) {
    // Without replacing: a file that appeared meanwhile is someone's.
    if (MoveFileExW(sink->temp.c_str(), sink->target.c_str(), MOVEFILE_WRITE_THROUGH)) {
      forget_temp();
      return true;
    }
    err = GetLastError();
    drop_temp(sink->temp);
    return err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS ? changed_meanwhile(shown)
                                                                   : fail_system(shown, err);
  }
  // Last look: someone may have saved the file while we worked.
  BY_HANDLE_FILE_INFORMATION info;
  if (!info_of(sink->target, &info) || !id_matches(sink->read_as, info)) {
    drop_temp(sink->temp);
    return changed_meanwhile(shown);
  }
  // Both by their full names, in backslashes: some ReplaceFileW take the
  // replaced file's folder from its name for a scratch file of their own,
  // and find none in a bare or slashed name.
  if (ReplaceFileW(full_name(sink->target).c_str(), full_name(sink->temp).c_str(), nullptr,
                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    forget_temp();
    return true;
  }
  err = GetLastError();
  if (err == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
    // The old file is gone and the new one still under its temporary
    // name: finish the move, or keep the only copy there is.
    if (MoveFileExW(sink->temp.c_str(), sink->target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      forget_temp();
      return true;
    }
    forget_temp();
    std::string problem = "could not be replaced; the new text is in " + utf8_of(sink->temp);
    return fail(shown, problem.c_str());
  }
  drop_temp(sink->temp);
  return fail_system(shown, err);
}

namespace {

// errno for what the system said went wrong last; false, for returning.
bool failed(void) {
  errno = errno_of(GetLastError());
  return false;
}

// Moves h to offset from the start.
bool seek_to(HANDLE h, size_t offset) {
  LARGE_INTEGER at;
  at.QuadPart = (LONGLONG)offset;
  return SetFilePointerEx(h, at, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

SignalsHeld::SignalsHeld() : old_(0) {
  // on_ctrl takes the lock too: it waits until the holder is gone.
  EnterCriticalSection(&pending_lock);
}

SignalsHeld::~SignalsHeld() {
  LeaveCriticalSection(&pending_lock);
}

OsHandle os_file_open(const OsPath& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share_all, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) failed();
  return h;
}

bool os_file_is(OsHandle h, const FileId& id) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(h, &info) && id_matches(id, info);
}

long long os_file_read_at(OsHandle h, size_t offset, char* data, size_t size) {
  DWORD chunk = size > (1u << 30) ? (1u << 30) : (DWORD)size, got = 0;
  if (!seek_to(h, offset) || !ReadFile(h, data, chunk, &got, nullptr)) {
    failed();
    return -1;
  }
  return got;
}

bool os_file_write_at(OsHandle h, size_t offset, const char* data, size_t size) {
  return (seek_to(h, offset) && write_all(h, data, size)) || failed();
}

bool os_file_reserve(OsHandle h, size_t old_size, size_t size) {
  // The file made that long: the room is taken there and then.
  if (os_file_resize(h, size)) return true;
  int err = errno;
  os_file_resize(h, old_size);
  errno = err;
  return false;
}

bool os_file_resize(OsHandle h, size_t size) {
  return (seek_to(h, size) && SetEndOfFile(h)) || failed();
}

bool os_file_sync(OsHandle h) {
  return FlushFileBuffers(h) || failed();
}

bool os_file_close(OsHandle h) {
  return CloseHandle(h) || failed();
}

void os_stdout_id(FileId* id) {
  file_id_of_fd(_fileno(stdout), id);
}

[[noreturn]] void stdout_failed(int err) {
  // The reader went away: nobody is left to tell. The C library calls a
  // pipe closed at the far end EINVAL; the system's own error says it.
  DWORD why = GetLastError();
  bool pipe = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_PIPE;
  if (why == ERROR_NO_DATA || why == ERROR_BROKEN_PIPE || (pipe && err == EINVAL)) err = EPIPE;
  if (err != EPIPE) fprintf(stderr, "wyn: stdout: %s\n", err ? strerror(err) : "write error");
  _exit(2);
}

char** output_args(int* argc, char** argv) {
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide == nullptr) return argv;
  // Kept for the life of the program, as argv is.
  static std::vector<std::string> args;
  static std::vector<char*> pointers;
  for (int i = 0; i < n; i++) args.push_back(wyn_utf8(wide[i]));
  LocalFree(wide);
  for (std::string& a : args) pointers.push_back(&a[0]);
  pointers.push_back(nullptr);
  *argc = n;
  return pointers.data();
}

void os_output_init(void) {
  InitializeCriticalSection(&pending_lock);
  // Bytes in, bytes out: CR LF stays CR LF and a lone LF stays LF.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(console, &mode)) {
    SetConsoleOutputCP(CP_UTF8);
    // A console that cannot show colour sequences gets plain text unless
    // --color=always insists.
    if (!(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) &&
        !SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
      _putenv("NO_COLOR=1");
  }
  atexit(close_standard_streams);
  SetConsoleCtrlHandler(on_ctrl, TRUE);
}

bool output_allowed(const char* out, const std::vector<FileId>& inputs, bool scripts_too) {
  Target t;
  if (!strcmp(out, "-") || !resolve(out, &t)) return true;
  if (t.through != INVALID_HANDLE_VALUE) CloseHandle(t.through);
  if (t.kind != TO_REGULAR) return true;
  FileId id;
  fill_id(t.info, &id);
  for (const FileId& in : inputs)
    if (in.known && in.dev == id.dev && in.ino == id.ino)
      return fail(out, "is also an input; nothing written");
  size_t n = t.path.size();
  if (scripts_too && n > 4 && _wcsicmp(t.path.c_str() + n - 4, L".wyn") == 0)
    return fail(out, "is a script (.wyn), not a page or tags file; nothing written");
  return true;
}

OutputSink* os_sink_open(const char* out, const FileId* read_as) {
  OutputSink* sink = new OutputSink;
  sink->shown = out;
  if (read_as == nullptr && !strcmp(out, "-")) return sink;
  Target t;
  if (!resolve(out, &t)) return fail(out, strerror(errno)), sink_failed(sink);
  sink->target = t.path;
  if (read_as != nullptr) {
    if (t.kind != TO_REGULAR) {
      if (t.through != INVALID_HANDLE_VALUE) CloseHandle(t.through);
      return fail(out, t.kind == TO_NEW ? "no longer there; nothing written"
                                        : "not a regular file; --in-place writes only to one"),
             sink_failed(sink);
    }
    sink->read_as = *read_as;
    return open_regular(sink, t.info);
  }
  switch (t.kind) {
    case TO_THROUGH:
      sink->mode = SINK_THROUGH;
      sink->handle = t.through;
      return sink;
    case TO_REGULAR:
      fill_id(t.info, &sink->read_as);
      return open_regular(sink, t.info);
    case TO_NEW:
      return open_new(sink);
  }
  return sink_failed(sink);
}

bool os_sink_write(OutputSink* sink, const char* data, size_t size) {
  return write_all(sink->handle, data, size) || fail_system(sink->shown.c_str(), GetLastError());
}

bool os_sink_close(OutputSink* sink) {
  return CloseHandle(sink->handle) || fail_system(sink->shown.c_str(), GetLastError());
}

void os_sink_drop(OutputSink* sink) {
  if (sink->handle != INVALID_HANDLE_VALUE) CloseHandle(sink->handle);
  if (sink->mode == SINK_SPOOL) drop_temp(sink->temp);
}
