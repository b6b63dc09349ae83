// wyn info: what start-up registered with the editor and how many words
// each table holds; or the vocabulary itself, one entry a line, for grep.
#include "render.h"
#include "tool.h"

#include <string.h>

#include <algorithm>

namespace {

// --keywords[=CLASS]: the words of one class, or of all three, sorted, each
// once.
int list_words(const char* which) {
  static const char* const names[] = {"constant", "keyword", "function"};
  int only = -1;
  for (int c = 0; c < 3 && *which; c++)
    if (!strcmp(which, names[c]) || (which[0] == '0' + c && which[1] == 0)) only = c;
  if (*which && only < 0) {
    fprintf(stderr, "wyn: --keywords takes CLASS constant, keyword or function (0, 1, 2), not %s\n",
            which);
    return EXIT_ERROR;
  }
  std::vector<std::string> words;
  for (int c = 0; c < 3; c++) {
    if (only >= 0 && c != only) continue;
    std::vector<std::string> part = plugin().words(c);
    words.insert(words.end(), part.begin(), part.end());
  }
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  std::string out;
  for (const std::string& w : words) out += w + "\n";
  out_text(out);
  return EXIT_DONE;
}

// --templates: NAME, a tab, the text with its line breaks, tabs and
// backslashes escaped, so each template stays on its line.
int list_templates() {
  std::vector<std::pair<std::string, std::string>> list = plugin().templates();
  std::sort(list.begin(), list.end());
  std::string out;
  for (const auto& [name, text] : list) {
    out += name + "\t";
    for (char c : text) {
      if (c == '\n')
        out += "\\n";
      else if (c == '\t')
        out += "\\t";
      else if (c == '\r')
        out += "\\r";
      else if (c == '\\')
        out += "\\\\";
      else
        out += c;
    }
    out += "\n";
  }
  out_text(out);
  return EXIT_DONE;
}

}  // namespace

int cmd_info(const Options& opt) {
  if (!opt.args.empty()) {
    fprintf(stderr, "wyn: info takes no FILE\n");
    return EXIT_ERROR;
  }
  unsigned long long before = plugin().host_calls();
  if (!session_open(opt)) return EXIT_ERROR;
  if (opt.keywords != nullptr) return list_words(opt.keywords);
  if (opt.templates) return list_templates();
  printf("start-up calls: %llu\n", plugin().host_calls() - before);
  static const char* const categories[CAT_COUNT] = {
      "comments", "constants", "keywords", "functions", "strings", "numbers", "operators"};
  for (int k = 0; k < CAT_COUNT; k++)
    printf("  colour of %-10s %s\n", categories[k],
           editor_colour_hex((long)plugin().category_colour(k)).c_str());
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
