// Reading a whole file for the tests and fuzz programs that replay or
// write inputs kept on disk.
#ifndef WYN_SUPPORT_FILES_H
#define WYN_SUPPORT_FILES_H

#include <stdio.h>

#include <string>

namespace support {

// The bytes of the file at path, or none when it cannot be read.
inline std::string read_file(const std::string& path) {
  std::string out;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

}  // namespace support

#endif
