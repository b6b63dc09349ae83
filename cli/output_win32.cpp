// Safe writing on Windows, the calls output.cpp asks for (output_os.h):
// stdout and stdin in binary mode and checked to the last byte, a console
// given UTF-8 and, when it takes them, colour sequences; outputs that are
// devices or pipes (NUL, CON, \\.\...) written through; regular files
// replaced whole through a temporary file beside them that ReplaceFileW
// puts in their place (keeping attributes, ACLs and streams), and no
// temporary file left behind by Ctrl-C, nor a file that is written where
// it stands left half written.
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

// errno for what the system said went wrong last; false, for returning.
bool failed(void) {
  errno = errno_of(GetLastError());
  return false;
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
  return same_as_read(id, now);
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

}  // namespace

bool os_resolve(const char* out, OsTarget* t) {
  std::wstring w = wyn_wide(out);
  t->path = w;
  // Opened for writing first: a device or pipe is then ready to take the
  // text, and a pipe is not connected to twice.
  HANDLE h = CreateFileW(w.c_str(), GENERIC_WRITE, share_all, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_DISK) {
    t->kind = TO_THROUGH;
    t->handle = h;
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
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = GetFileInformationByHandle(h, &info) != 0;
  wchar_t final_path[32768];
  DWORD n = ok ? GetFinalPathNameByHandleW(h, final_path, 32768, FILE_NAME_NORMALIZED) : 0;
  CloseHandle(h);
  if (!ok) {
    errno = EIO;
    return false;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    errno = EISDIR;
    return false;
  }
  if (n > 0 && n < 32768) t->path = final_path;
  t->kind = TO_REGULAR;
  fill_id(info, &t->id);
  t->links = info.nNumberOfLinks;
  t->attributes = info.dwFileAttributes;
  return true;
}

bool os_open_through(OsTarget* t, OutputSink* sink) {
  sink->handle = t->handle;
  t->handle = kNoHandle;
  return true;
}

std::string os_why_not_writable(const OsTarget& t) {
  if (t.attributes & FILE_ATTRIBUTE_READONLY) return "read-only file (read-only attribute)";
  HANDLE probe =
      CreateFileW(t.path.c_str(), GENERIC_WRITE, share_all, nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
    return "not writable by you";
  if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
  return "";
}

bool os_names_script(const OsPath& path) {
  size_t n = path.size();
  return n > 4 && _wcsicmp(path.c_str() + n - 4, L".wyn") == 0;
}

namespace {

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

OsHandle os_make_temp(const OsPath& target, OsPath* temp) {
  HANDLE h = make_temp(target, temp);
  if (h == INVALID_HANDLE_VALUE) failed();
  return h;
}

bool os_temp_take_identity(OsHandle, const OsTarget&) {
  return true;  // ReplaceFileW gives the new file what the old one is
}

bool os_temp_new_mode(OsHandle) {
  return true;  // a new file's ACL comes from its folder
}

void os_drop_temp(const OsPath& temp) {
  int err = errno;
  drop_temp(temp);
  errno = err;
}

bool os_path_is(const OsPath& path, const FileId& id) {
  BY_HANDLE_FILE_INFORMATION info;
  return info_of(path, &info) && id_matches(id, info);
}

std::string os_folder_shown(const OsPath& path) {
  return utf8_of(folder_of(path));
}

std::string os_name_shown(const OsPath& path) {
  return utf8_of(name_of(path));
}

bool os_write(OsHandle h, const char* data, size_t size) {
  return write_all(h, data, size) || failed();
}

bool os_spool_place(OutputSink* sink) {
  const char* shown = sink->shown.c_str();
  DWORD err = 0;
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
