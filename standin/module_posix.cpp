/*
** Loading the plug-in module on POSIX systems: dlopen, dlsym, dlclose.
*/
#if !defined(_WIN32)

#include "model.h"

#include <dlfcn.h>

namespace cw {

void* module_open(const char* path) {
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

Function module_symbol(void* module, const char* name) {
  return reinterpret_cast<Function>(dlsym(module, name));
}

Function self_symbol(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}

void module_close(void* module) {
  dlclose(module);
}

}  // namespace cw

#endif
