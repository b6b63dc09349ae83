// --config FILE: configuration calls made before the command, each through
// the function the plug-in registered for it (the session layer's
// configuration reader: keyword, template, hash-size, comment-char).
#include "tool.h"

bool config_apply(const Source& file) {
  std::string error;
  if (wyn::apply_config(plugin(), file.text, file.name, &error)) return true;
  fprintf(stderr, "%s\n", error.c_str());
  return false;
}
