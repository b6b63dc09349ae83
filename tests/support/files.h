// Reading a whole file, and listing a folder, for the tests and fuzz
// programs that replay or write inputs kept on disk.
#ifndef WYN_SUPPORT_FILES_H
#define WYN_SUPPORT_FILES_H

#include <dirent.h>
#include <stdio.h>

#include <string>
#include <vector>

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

// The paths of the files in folder dir, hidden ones left out, in the order
// the folder gives them; none when it cannot be read.
inline std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> out;
  DIR* d = opendir(dir.c_str());
  if (!d) return out;
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name[0] != '.') out.push_back(dir + "/" + name);
  }
  closedir(d);
  return out;
}

}  // namespace support

#endif
