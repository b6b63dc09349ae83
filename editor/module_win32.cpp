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

/* The program first, then the editor's own library, as the POSIX global
** lookup would find them. */
Function self_symbol(const char* name) {
  FARPROC p = GetProcAddress(GetModuleHandleA(NULL), name);
  HMODULE editor = NULL;
  if (p == NULL && GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                          GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                      (LPCSTR)&module_open, &editor))
    p = GetProcAddress(editor, name);
  return reinterpret_cast<Function>(p);
}

void module_close(void* module) {
  FreeLibrary((HMODULE)module);
}

}  // namespace cw

#endif
