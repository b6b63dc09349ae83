// The POSIX file calls of platform/win32/compat.h on Windows: UTF-8 names
// turned into UTF-16 for the system, files always opened in binary mode.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <errno.h>
#include <string.h>
#include <wchar.h>

#undef open
#undef stat
#undef fopen
#undef realpath
#undef isatty
#undef DIR
#undef dirent
#undef opendir
#undef readdir
#undef closedir

std::wstring wyn_wide(const char* utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out((size_t)n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &out[0], n);
  out.resize((size_t)n - 1);
  return out;
}

std::string wyn_utf8(const wchar_t* wide) {
  int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out((size_t)n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &out[0], n, nullptr, nullptr);
  out.resize((size_t)n - 1);
  return out;
}

int wyn_open(const char* path, int flags, int mode) {
  return _wopen(wyn_wide(path).c_str(), flags | _O_BINARY | _O_NOINHERIT, mode);
}

int wyn_mkdir(const char* path, int) {
  return _wmkdir(wyn_wide(path).c_str());
}

int wyn_stat(const char* path, struct stat* st) {
  struct _stat64 big;
  if (_wstat64(wyn_wide(path).c_str(), &big) != 0) return -1;
  memset(st, 0, sizeof *st);
  st->st_dev = big.st_dev;
  st->st_ino = big.st_ino;
  st->st_mode = big.st_mode;
  st->st_nlink = big.st_nlink;
  st->st_size = (_off_t)(big.st_size > 0x7fffffff ? 0x7fffffff : big.st_size);
  st->st_mtime = (time_t)big.st_mtime;
  return 0;
}

FILE* wyn_fopen(const char* path, const char* mode) {
  std::string binary = mode;
  if (binary.find('b') == std::string::npos) binary += 'b';
  return _wfopen(wyn_wide(path).c_str(), wyn_wide(binary.c_str()).c_str());
}

char* wyn_realpath(const char* path, char* resolved) {
  std::wstring wide = wyn_wide(path);
  wchar_t full[32768];
  DWORD n = GetFullPathNameW(wide.c_str(), 32768, full, nullptr);
  if (n == 0 || n >= 32768 || GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES) {
    errno = ENOENT;
    return nullptr;
  }
  // Forward slashes, as the callers take a folder apart at them.
  std::string utf8 = wyn_utf8(full);
  for (char& c : utf8)
    if (c == '\\') c = '/';
  if (utf8.size() >= PATH_MAX) {
    errno = ENAMETOOLONG;
    return nullptr;
  }
  memcpy(resolved, utf8.c_str(), utf8.size() + 1);
  return resolved;
}

int wyn_isatty(int fd) {
  DWORD mode;
  HANDLE h = (HANDLE)_get_osfhandle(fd);
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) ? 1 : 0;
}

struct wyn_DIR {
  HANDLE find = INVALID_HANDLE_VALUE;
  bool first = true;  // the first entry came with FindFirstFileW
  WIN32_FIND_DATAW data;
  wyn_dirent entry;
};

wyn_DIR* wyn_opendir(const char* path) {
  wyn_DIR* dir = new wyn_DIR;
  std::wstring pattern = wyn_wide(path) + L"\\*";
  dir->find = FindFirstFileW(pattern.c_str(), &dir->data);
  if (dir->find == INVALID_HANDLE_VALUE) {
    errno = GetLastError() == ERROR_DIRECTORY ? ENOTDIR : ENOENT;
    delete dir;
    return nullptr;
  }
  return dir;
}

wyn_dirent* wyn_readdir(wyn_DIR* dir) {
  if (!dir->first && !FindNextFileW(dir->find, &dir->data)) return nullptr;
  dir->first = false;
  std::string name = wyn_utf8(dir->data.cFileName);
  size_t n = name.size() < sizeof dir->entry.d_name ? name.size() : sizeof dir->entry.d_name - 1;
  memcpy(dir->entry.d_name, name.data(), n);
  dir->entry.d_name[n] = 0;
  return &dir->entry;
}

int wyn_closedir(wyn_DIR* dir) {
  FindClose(dir->find);
  delete dir;
  return 0;
}
