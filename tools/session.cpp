// The run's plug-in: loaded beside the executable as the editor loads it,
// then configured by the --config files.
#include "tool.h"

wyn::Plugin& plugin() {
  static wyn::Plugin one;  // the stand-in is process-wide: one plug-in a run
  return one;
}

bool reported(bool ok, const std::string& error) {
  if (!ok) fprintf(stderr, "wyn: %s\n", error.c_str());
  return ok;
}

bool session_open(const Options& opt) {
  std::string error;
  if (!reported(plugin().load(wyn::Plugin::default_path(), &error), error)) return false;
  for (size_t i = 0; i < opt.configs.size(); i++) {
    Source file;
    if (!read_script(opt.configs[i], &file) || !config_apply(file)) return false;
  }
  return true;
}
