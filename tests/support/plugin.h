// Reaching the loaded plug-in module's exports directly, as the editor's
// loader does, for the entries that are not registered by prototype.
#ifndef WYN_TESTS_PLUGIN_H
#define WYN_TESTS_PLUGIN_H

#if defined(_WIN32)
#include "plugin_win32.h"
#elif defined(WYN_STATIC_PLUGIN)

// The module is part of the program: its export table answers.
extern "C" void (*wyn_static_symbol(const char* name))(void);
inline void* plugin_symbol(const char* name) {
  return reinterpret_cast<void*>(wyn_static_symbol(name));
}

#else

#include <dlfcn.h>

// The export `name` of the plug-in module that cw_load_module loaded, or
// null when the module is not loaded or has no such export.
inline void* plugin_symbol(const char* name) {
  void* module = dlopen(WYN_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (!module) return nullptr;
  void* symbol = dlsym(module, name);
  dlclose(module);  // drops only the reference taken here
  return symbol;
}

#endif

#endif
