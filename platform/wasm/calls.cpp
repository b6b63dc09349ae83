/*
** Calls the WebAssembly form's C library declares but does not define.
** Each fails as on a system without the feature, which the tool already
** takes in its stride: extended attributes are not supported (a copy keeps
** none, as on a file system without them), there is no alternate
** signal stack to set (nor signals to deliver on one), and no in-memory
** file for a worker process's messages (there are no worker processes:
** wyn check then checks every file in its own process).
*/
#include <errno.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <sys/xattr.h>

extern "C" {

ssize_t listxattr(const char*, char*, size_t) {
  errno = ENOTSUP;
  return -1;
}

ssize_t getxattr(const char*, const char*, void*, size_t) {
  errno = ENOTSUP;
  return -1;
}

int fsetxattr(int, const char*, const void*, size_t, int) {
  errno = ENOTSUP;
  return -1;
}

int sigaltstack(const stack_t*, stack_t*) {
  errno = ENOSYS;
  return -1;
}

int memfd_create(const char*, unsigned) {
  errno = ENOSYS;
  return -1;
}

}  // extern "C"
