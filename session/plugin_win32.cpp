// Where the plug-in library lies on Windows: beside the executable, with
// the host DLLs. The path is handed on as UTF-8, which the stand-in turns
// back into UTF-16 for the loader, so no folder name is lost to a code page.
#include "session.h"

#include <windows.h>

namespace wyn {

std::string Plugin::default_path() {
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(NULL, &self[0], (DWORD)self.size());
    if (n == 0) return WYN_PLUGIN_NAME;
    if (n < self.size()) {
      self.resize(n);
      break;
    }
    if (self.size() >= 32768) return WYN_PLUGIN_NAME;  // longer than any path
    self.resize(self.size() * 2);
  }
  self.erase(self.find_last_of(L"\\/") + 1);
  int bytes = WideCharToMultiByte(CP_UTF8, 0, self.data(), (int)self.size(), NULL, 0, NULL, NULL);
  if (bytes <= 0) return WYN_PLUGIN_NAME;
  std::string dir((size_t)bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, self.data(), (int)self.size(), &dir[0], bytes, NULL, NULL);
  return dir + WYN_PLUGIN_NAME;
}

}  // namespace wyn
