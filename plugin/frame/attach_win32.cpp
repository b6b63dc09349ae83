/*
** Library attach and detach on Windows. The statically linked runtime is
** initialised before and released after this entry by the runtime's own
** start-up code; no plug-in state is made or freed here: the vocabulary
** tables belong to the editor.
*/
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  (void)module;
  (void)reason;
  (void)reserved;
  return TRUE;
}
