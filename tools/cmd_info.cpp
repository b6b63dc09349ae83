// wyn info: what start-up registered with the editor and how many words
// each table holds.
#include "tool.h"

int cmd_info(const Options& opt) {
  if (!opt.args.empty()) {
    fprintf(stderr, "wyn: info takes no FILE\n");
    return EXIT_ERROR;
  }
  unsigned long long before = plugin().host_calls();
  if (!session_open(opt)) return EXIT_ERROR;
  printf("start-up calls: %llu\n", plugin().host_calls() - before);
  static const char* const categories[CAT_COUNT] = {
      "comments", "constants", "keywords", "functions", "strings", "numbers", "operators"};
  for (int k = 0; k < CAT_COUNT; k++)
    printf("  colour of %-10s 0x%06lx\n", categories[k],
           (unsigned long)plugin().category_colour(k));
  std::vector<std::string> functions = plugin().functions();
  printf("registered functions (%zu):\n", functions.size());
  for (size_t i = 0; i < functions.size(); i++) printf("  %s\n", functions[i].c_str());
  std::vector<std::string> extensions = plugin().extensions();
  for (size_t i = 0; i < extensions.size(); i++)
    printf("bound to extension: %s\n", extensions[i].c_str());
  static const char* const names[] = {"class 0 (constants, system variables)",
                                      "class 1 (reserved words)", "class 2 (built-in functions)",
                                      "templates"};
  std::vector<wyn::TableInfo> tables = plugin().tables();
  for (size_t i = 0; i < tables.size() && i < 4; i++)
    printf("%-40s %4zu entries, %3d buckets\n", names[i], tables[i].entries,
           (int)tables[i].buckets);
  return EXIT_DONE;
}
