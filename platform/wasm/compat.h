/*
** What the WebAssembly form's C library lacks of the Linux calls the tool
** makes, forced into each source of a layer that links the platform layer.
** renameat2: no flags are known, so a call with one fails with EINVAL, as
** on a Linux file system without them; the caller then renames plainly.
*/
#ifndef WYN_PLATFORM_WASM_COMPAT_H
#define WYN_PLATFORM_WASM_COMPAT_H

#ifdef __cplusplus
#include <cerrno>
#include <cstdio>
#else
#include <errno.h>
#include <stdio.h>
#endif

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

static inline int renameat2(int olddir, const char* oldpath, int newdir, const char* newpath,
                            unsigned int flags) {
  if (flags != 0) {
    errno = EINVAL;
    return -1;
  }
  return renameat(olddir, oldpath, newdir, newpath);
}

/* The server's standard input, read ahead by the launcher (pre.js): wait
** up to ms (-1: for ever) for bytes or the end, 1 when there are; read up
** to n bytes, blocking, 0 at the end. */
#ifdef __cplusplus
extern "C" {
#endif
int wyn_stdin_wait(int ms);
int wyn_stdin_read(char* buf, int n);
#ifdef __cplusplus
}
#endif

#endif
