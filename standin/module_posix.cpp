/*
** Loading the plug-in module on POSIX systems: dlopen, dlsym, dlclose.
** Where the plug-in is linked in (WYN_STATIC_PLUGIN), module_static.cpp
** opens it instead; the program's own exports are still found here.
*/
#if !defined(_WIN32)

#include "model.h"

#include <dlfcn.h>

namespace cw {

#if !defined(WYN_STATIC_PLUGIN)
void* module_open(const char* path) {
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

Function module_symbol(void* module, const char* name) {
  return reinterpret_cast<Function>(dlsym(module, name));
}

void module_close(void* module) {
  dlclose(module);
}
#endif

Function self_symbol(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}

}  // namespace cw

#endif
