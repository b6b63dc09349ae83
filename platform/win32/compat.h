// Forced into the tool's, the session layer's and the language server's
// sources on Windows: the POSIX file calls they make, taking UTF-8 names
// and reading in binary mode, over the system's UTF-16 calls, so a name in
// any script survives and CR LF reaches the plug-in as it is on disk.
#ifndef WYN_PLATFORM_WIN32_COMPAT_H
#define WYN_PLATFORM_WIN32_COMPAT_H

#if defined(_WIN32) && defined(__cplusplus)

// Everything that declares the names renamed below comes first, so only
// our own code sees the macros.
#include <direct.h>
#include <dirent.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

// UTF-8 to UTF-16 and back; an ill-formed byte becomes U+FFFD.
std::wstring wyn_wide(const char* utf8);
std::string wyn_utf8(const wchar_t* wide);

int wyn_open(const char* path, int flags, int mode = 0);
int wyn_stat(const char* path, struct stat* st);
// The mode is the system's business on Windows.
int wyn_mkdir(const char* path, int mode);
FILE* wyn_fopen(const char* path, const char* mode);
char* wyn_realpath(const char* path, char* resolved);
// A console, not the NUL device the C library also calls a terminal.
int wyn_isatty(int fd);

struct wyn_dirent {
  char d_name[260 * 3 + 1];  // the longest name, UTF-8
};
struct wyn_DIR;
wyn_DIR* wyn_opendir(const char* path);
wyn_dirent* wyn_readdir(wyn_DIR* dir);
int wyn_closedir(wyn_DIR* dir);

#define open(...)                wyn_open(__VA_ARGS__)
#define stat(path, st)           wyn_stat(path, st)
#define lstat(path, st)          wyn_stat(path, st)
#define fopen(path, mode)        wyn_fopen(path, mode)
#define mkdir(path, mode)        wyn_mkdir(path, mode)
#define realpath(path, resolved) wyn_realpath(path, resolved)
#define isatty(fd)               wyn_isatty(fd)
#define DIR                      wyn_DIR
#define dirent                   wyn_dirent
#define opendir(path)            wyn_opendir(path)
#define readdir(dir)             wyn_readdir(dir)
#define closedir(dir)            wyn_closedir(dir)

#ifndef O_CLOEXEC
#define O_CLOEXEC 0  // handles are not inherited unless asked for
#endif
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef S_ISLNK
#define S_ISLNK(mode) 0  // links are followed by the calls above
#endif
#ifndef PATH_MAX
#define PATH_MAX (260 * 3)
#endif

#endif

#endif
