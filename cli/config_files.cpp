// --config FILE: configuration calls made before the command, each through
// the function the plug-in registered for it (the session layer's
// configuration reader: keyword, template, hash-size, comment-char); and
// the project's .wyn.cfg, found above a file as .editorconfig is.
#include "tool.h"

#include "includes.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

bool read_config(const char* path, bool found, Source* out) {
  // Standard input, when asked for by name, is read as any input is.
  if (!strcmp(path, "-")) return read_script(path, out);
  out->name = path;
  std::string problem;
  if (wyn::read_config_file(path, input_limit(), &out->text, &problem)) return true;
  if (errno == EFBIG)
    problem = "larger than " + size_text(input_limit()) +
              ", the size limit (--max-size raises it, up to " + size_text(INPUT_LIMIT_MOST) + ")";
  // A file the user did not name may puzzle: say how to go without it.
  fprintf(stderr, "wyn: %s: %s%s\n", path, problem.c_str(),
          found ? " (--no-config leaves it out)" : "");
  return false;
}

bool config_apply(const Source& file) {
  std::string error;
  if (wyn::apply_config(plugin(), file.text, file.name, &error)) return true;
  fprintf(stderr, "%s\n", error.c_str());
  return false;
}

std::string project_config(const char* path) {
  // The folder a file is in, or the current one for standard input; made
  // absolute so the search can go up past it.
  std::string folder = ".";
  if (path != nullptr && strcmp(path, "-") != 0) {
    struct stat st;
    const char* slash = strrchr(path, '/');
#ifdef _WIN32
    // C:\proj\a.wyn: a backslash parts folders there too.
    const char* back = strrchr(path, '\\');
    if (back != nullptr && (slash == nullptr || back > slash)) slash = back;
#endif
    if (stat(path, &st) == 0 && S_ISDIR(st.st_mode))
      folder = path;
    else if (slash == path)
      folder = "/";
    else if (slash != nullptr)
      folder.assign(path, (size_t)(slash - path));
  }
  // The files of a -R walk come a folder at a time: the walk up from the
  // last folder is not made again for the next file in it.
  static std::string last_folder, last_found;
  static bool have_last = false;
  if (have_last && folder == last_folder) return last_found;
  char resolved[PATH_MAX];
  if (realpath(folder.c_str(), resolved) == nullptr) return "";
  last_found = wyn::find_config_file(resolved);
  last_folder = folder;
  have_last = true;
  return last_found;
}

std::vector<std::string> include_dirs_for(const Options& opt, const char* path) {
  std::vector<std::string> dirs(opt.include_dirs.begin(), opt.include_dirs.end());
  std::string project = opt.no_config ? "" : project_config(path);
  // One project's files share its entries: the file is read once for them
  // as it is applied once (session_for).
  static std::string last_project;
  static std::vector<std::string> last_dirs;
  if (!project.empty() && project != last_project) {
    std::string text, problem;
    last_dirs.clear();
    // The file was read and applied before the script was checked: a
    // problem with it has been said there.
    if (wyn::read_config_file(project, input_limit(), &text, &problem))
      last_dirs = wyn::config_include_dirs(text, project);
    last_project = project;
  }
  if (!project.empty()) dirs.insert(dirs.end(), last_dirs.begin(), last_dirs.end());
  return dirs;
}
