// The plug-in inside the stand-in editor: loading it as the editor does,
// calling it by its registered names, and the buffer it works on.
#include "tool.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

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

}  // namespace

bool session_open(const Options& opt) {
  std::string path = plugin_path();
  if (cw_load_module(path.c_str()) != 0) {
    fprintf(stderr, "wyn: %s: cannot load the plug-in\n", path.c_str());
    return false;
  }
  for (size_t i = 0; i < opt.configs.size(); i++) {
    Source file;
    if (!read_script(opt.configs[i], &file) || !config_apply(file)) return false;
  }
  return true;
}

bool plugin_call(const char* name, int argc, const char* const* argv, cw_long* result) {
  cw_long ignored = 0;
  if (cw_call(name, argc, argv, result ? result : &ignored) == 0) return true;
  fprintf(stderr, "wyn: the plug-in did not register %s for %d argument(s)\n", name, argc);
  return false;
}

bool plugin_call0(const char* name, cw_long* result) {
  return plugin_call(name, 0, nullptr, result);
}

void buffer_load(const std::string& text) {
  cw_set_text(text.data(), text.size());
}

// The whole buffer, as the editor asks for it when a file is opened.
void colour_whole_buffer(void) {
  static const char* const whole[] = {"-1"};
  plugin_call("_wyn_language_colors", 1, whole, nullptr);
  cw_clear_runs();  // the stand-in's record of runs is of no use here
}

std::string buffer_text(void) {
  size_t n = 0;
  const char* p = cw_text(&n);
  return std::string(p, n);
}

cw_long line_length(cw_long line) {
  size_t n = 0;
  const char* text = cw_text(&n);
  cw_long start = cw_line_start(line);
  if (start < 0) return 0;
  cw_long end = line < cw_line_count() ? cw_line_start(line + 1) - 1 : (cw_long)n;
  if (end > start && text[end - 1] == '\r' && end < (cw_long)n) end--;  // CR of CR LF
  return end - start;
}

bool parse_position(const char* text, cw_long* line, cw_long* col) {
  char* end = nullptr;
  long l = strtol(text, &end, 10);
  if (end == text || *end != ':' || text[0] == '-' || text[0] == '+') return false;
  const char* col_text = end + 1;
  long c = strtol(col_text, &end, 10);
  if (end == col_text || *end != 0 || col_text[0] == '-' || col_text[0] == '+') return false;
  if (l < 1 || c < 1 || l > 0x7FFFFFFF || c > 0x7FFFFFFF) return false;
  *line = (cw_long)l;
  *col = (cw_long)c;
  return true;
}

cw_long position_in_buffer(cw_long line, cw_long col) {
  if (line < 1 || line > cw_line_count() || col < 1) return -1;
  if (col > line_length(line) + 1) return -1;
  return cw_line_start(line) + col - 1;
}

double now_seconds(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}
