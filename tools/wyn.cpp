// wyn: puts the WYN plug-in to work from a shell. It loads the plug-in into
// the stand-in editor exactly as the editor does (library, _init, registered
// prototypes, calls by name) and drives its services.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "cwedit.h"

namespace {

// The plug-in library sits beside the executable.
std::string plugin_path() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return WYN_PLUGIN_NAME;
  self[n] = 0;
  std::string dir(self);
  dir.erase(dir.rfind('/') + 1);
  return dir + WYN_PLUGIN_NAME;
}

int load_plugin() {
  std::string path = plugin_path();
  if (cw_load_module(path.c_str()) != 0) {
    fprintf(stderr, "wyn: %s: cannot load the plug-in\n", path.c_str());
    return 2;
  }
  return 0;
}

// What start-up registered with the editor and how many words each table holds.
int cmd_info() {
  cw_log_enable(1);
  if (int rc = load_plugin()) return rc;
  printf("start-up calls: %zu\n", cw_log_count());
  for (size_t i = 0; i < cw_log_count(); i++) {
    const char* line = cw_log_at(i);
    if (!strncmp(line, "HostStartup", 11) || !strncmp(line, "ColorOfConstants", 16))
      printf("  %s\n", line);
  }
  printf("registered functions (%zu):\n", cw_export_count());
  for (size_t i = 0; i < cw_export_count(); i++) printf("  %s\n", cw_export_at(i));
  for (size_t i = 0; i < cw_extension_count(); i++)
    printf("bound to extension: %s\n", cw_extension_at(i));
  static const char* const names[] = {"class 0 (constants, system variables)",
                                      "class 1 (reserved words)",
                                      "class 2 (built-in functions)", "templates"};
  for (size_t i = 0; i < cw_table_count() && i < 4; i++)
    printf("%-40s %4zu entries, %3d buckets\n", names[i], cw_table_size(cw_table_at(i)),
           (int)cw_table_buckets(cw_table_at(i)));
  return 0;
}

void usage(FILE* to) {
  fputs("usage: wyn info\n"
        "  info   load the plug-in, run start-up, show what it registered\n",
        to);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return 2;
  }
  if (!strcmp(argv[1], "info")) return cmd_info();
  if (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h")) {
    usage(stdout);
    return 0;
  }
  fprintf(stderr, "wyn: unknown command '%s'\n", argv[1]);
  usage(stderr);
  return 2;
}
