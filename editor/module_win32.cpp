/*
** Loading the plug-in module on Windows: LoadLibrary, GetProcAddress,
** FreeLibrary.
*/
#if defined(_WIN32)

#include "model.h"

#include <windows.h>

namespace cw {

void* module_open(const char* path) {
  return (void*)LoadLibraryA(path);
}

Function module_symbol(void* module, const char* name) {
  return reinterpret_cast<Function>(GetProcAddress((HMODULE)module, name));
}

Function self_symbol(const char* name) {
  return reinterpret_cast<Function>(GetProcAddress(GetModuleHandleA(NULL), name));
}

void module_close(void* module) {
  FreeLibrary((HMODULE)module);
}

}  // namespace cw

#endif
