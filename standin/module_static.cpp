/*
** The plug-in module linked into the program (WYN_STATIC_PLUGIN): there is
** no library to load, so opening it stands for loading it. A path opens it
** when its last component is the plug-in's file name, as a library found
** under that name would load; any other fails as a missing file does.
** Opening and closing run the module's attach and detach where a loader
** runs a library's initialiser and finaliser, with the same counting of
** opens, so that the last close leaves the module as a fresh load finds it.
*/
#if defined(WYN_STATIC_PLUGIN)

#include <assert.h>
#include <string.h>

#include "model.h"

/* What the linked module offers in place of the loader. */
extern "C" {
void wyn_attach(void);
void wyn_detach(void);
cw::Function wyn_static_symbol(const char* name);
}

namespace cw {

namespace {

int opens;   /* open handles; the module is attached while there are any */
char handle; /* the one module's handle is its address */

}  // namespace

void* module_open(const char* path) {
  const char* name = strrchr(path, '/');
  name = name != NULL ? name + 1 : path;
  if (strcmp(name, WYN_PLUGIN_NAME) != 0) return NULL;
  if (opens++ == 0) wyn_attach();
  return &handle;
}

Function module_symbol(void* module, const char* name) {
  assert(module == &handle && opens > 0);
  (void)module;
  return wyn_static_symbol(name);
}

void module_close(void* module) {
  assert(module == &handle && opens > 0);
  (void)module;
  if (--opens == 0) wyn_detach();
}

}  // namespace cw

#endif
