// Where the plug-in library lies on POSIX systems: beside the executable.
#include "session.h"

#include <unistd.h>

namespace wyn {

std::string Plugin::default_path() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return WYN_PLUGIN_NAME;
  self[n] = 0;
  std::string dir(self);
  dir.erase(dir.rfind('/') + 1);
  return dir + WYN_PLUGIN_NAME;
}

}  // namespace wyn
