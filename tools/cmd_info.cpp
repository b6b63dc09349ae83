// wyn info: what start-up registered with the editor and how many words
// each table holds.
#include "tool.h"

#include <string.h>

int cmd_info(const Options& opt) {
  if (!opt.args.empty()) {
    fprintf(stderr, "wyn: info takes no FILE\n");
    return EXIT_ERROR;
  }
  cw_log_enable(1);
  bool ok = session_open(opt);
  cw_log_enable(0);
  if (!ok) return EXIT_ERROR;
  printf("start-up calls: %zu\n", cw_log_count());
  for (size_t i = 0; i < cw_log_count(); i++) {
    const char* line = cw_log_at(i);
    if (!strncmp(line, "HostStartup", 11) || !strncmp(line, "ColorOfConstants", 16))
      printf("  %s\n", line);
  }
  cw_log_clear();
  printf("registered functions (%zu):\n", cw_export_count());
  for (size_t i = 0; i < cw_export_count(); i++) printf("  %s\n", cw_export_at(i));
  for (size_t i = 0; i < cw_extension_count(); i++)
    printf("bound to extension: %s\n", cw_extension_at(i));
  static const char* const names[] = {"class 0 (constants, system variables)",
                                      "class 1 (reserved words)", "class 2 (built-in functions)",
                                      "templates"};
  for (size_t i = 0; i < cw_table_count() && i < 4; i++)
    printf("%-40s %4zu entries, %3d buckets\n", names[i], cw_table_size(cw_table_at(i)),
           (int)cw_table_buckets(cw_table_at(i)));
  return EXIT_DONE;
}
