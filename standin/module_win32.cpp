/*
** Loading the plug-in module on Windows: LoadLibrary, GetProcAddress,
** FreeLibrary.
*/
#if defined(_WIN32)

#include "model.h"

#include <windows.h>

#include <string>

namespace cw {

/* Paths come as UTF-8, so that no folder name depends on the code page;
** one that is not UTF-8 is taken in the code page as before. */
void* module_open(const char* path) {
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, NULL, 0);
  if (n <= 0) return (void*)LoadLibraryA(path);
  std::wstring wide((size_t)n, L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, &wide[0], n);
  return (void*)LoadLibraryW(wide.c_str());
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
