// The run's plug-in: loaded beside the executable as the editor loads it,
// then configured by the project's .wyn.cfg and the --config files.
#include "tool.h"

#include <errno.h>
#include <string.h>

namespace {

// Written and read by session_for: which .wyn.cfg the loaded plug-in took
// ("" for none), so a file of the same project needs no fresh start-up.
bool ready = false;
std::string applied;
// The --config files, read once a run: each project's fresh start-up takes
// them again, and standard input ("--config -") cannot be read twice.
std::vector<Source> named;
enum { NAMED_UNREAD, NAMED_READ, NAMED_FAILED } named_state = NAMED_UNREAD;

// Written by working_on, read by out_of_memory: a fixed buffer, as memory
// may be short when it is read.
char at_work[1024];

}  // namespace

wyn::Plugin& plugin() {
  static wyn::Plugin one;  // the stand-in is process-wide: one plug-in a run
  return one;
}

bool reported(bool ok, const std::string& error) {
  if (!ok) fprintf(stderr, "wyn: %s\n", error.c_str());
  return ok;
}

void working_on(const char* path) {
  if (!strcmp(path, "-")) path = "stdin";
  snprintf(at_work, sizeof at_work, "%s", path);
}

int out_of_memory() {
  if (at_work[0] != 0)
    fprintf(stderr, "wyn: %s: %s\n", at_work, strerror(ENOMEM));
  else
    fprintf(stderr, "wyn: %s\n", strerror(ENOMEM));
  return EXIT_ERROR;
}

bool session_for(const Options& opt, const char* path) {
  std::string project = opt.no_config ? "" : project_config(path);
  if (ready && project == applied) return true;
  ready = false;
  // Words and templates cannot be taken back: another project's file
  // starts from a fresh start-up.
  std::string error;
  if (!reported(plugin().load(wyn::Plugin::default_path(), &error), error)) return false;
  if (!project.empty()) {
    Source file;
    if (!read_config(project.c_str(), true, &file) || !config_apply(file)) return false;
  }
  if (named_state == NAMED_UNREAD) {
    named_state = NAMED_READ;
    for (size_t i = 0; i < opt.configs.size() && named_state == NAMED_READ; i++) {
      named.emplace_back();
      if (!read_config(opt.configs[i], false, &named.back())) named_state = NAMED_FAILED;
    }
  }
  if (named_state == NAMED_FAILED) return false;  // said when it was read
  for (const Source& file : named)
    if (!config_apply(file)) return false;
  applied = project;
  ready = true;
  return true;
}

bool session_open(const Options& opt) {
  return session_for(opt, opt.args.empty() ? "-" : opt.args[0]);
}
