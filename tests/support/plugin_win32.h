// Windows form of plugin.h: the loaded WYN.dll found by its module name.
#ifndef WYN_TESTS_PLUGIN_WIN32_H
#define WYN_TESTS_PLUGIN_WIN32_H

#include <windows.h>

// The export `name` of the plug-in module that cw_load_module loaded, or
// null when the module is not loaded or has no such export. Takes no
// reference, so it cannot keep the module alive.
inline void* plugin_symbol(const char* name) {
  HMODULE module = GetModuleHandleA(WYN_PLUGIN_PATH);
  if (!module) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(module, name));
}

#endif
