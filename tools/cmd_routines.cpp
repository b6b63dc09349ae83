// wyn routines FILE...: the routine list the plug-in marks for the editor's
// routine view, each routine with its whole extent, one a line; or a tags
// file for other editors; or the plug-in's marks as they are.
#include "tool.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "outline.h"

namespace {

struct Tag {
  std::string name, file, pattern;
  long line, end;
};

bool ends_with(const std::string& s, const char* tail) {
  size_t n = strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Every *.wyn below folder, each folder's entries in name order. Hidden
// entries (.git and the like) are passed over and linked folders not
// entered, so a link loop cannot trap the walk. False when a folder could
// not be read (said on stderr); the walk goes on past it.
bool scripts_below(const std::string& folder, int depth, std::vector<std::string>* out) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    fprintf(stderr, "wyn: %s: %s\n", folder.c_str(), strerror(errno));
    return false;
  }
  bool ok = true;
  std::vector<std::string> names;
  while (struct dirent* e = readdir(dir))
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string path = folder + (ends_with(folder, "/") ? "" : "/") + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      if (depth < 64 && !scripts_below(path, depth + 1, out)) ok = false;
    } else if (ends_with(name, ".wyn") && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      out->push_back(path);
    }
  }
  return ok;
}

// The operands as files: with -R a folder stands for the scripts below it.
// False when a folder could not be read.
bool operands(const Options& opt, std::vector<std::string>* out) {
  bool ok = true;
  if (opt.args.empty()) out->push_back("-");
  for (const char* arg : opt.args) {
    struct stat st;
    if (opt.recurse && stat(arg, &st) == 0 && S_ISDIR(st.st_mode)) {
      if (!scripts_below(arg, 0, out)) ok = false;
    } else {
      out->push_back(arg);
    }
  }
  return ok;
}

// A tags file names each file relative to its own folder, as editors read
// it: as given when the tags go to stdout or the current folder, else
// relative to the tags file's folder. An absolute name stays absolute.
std::string tag_file_name(const std::string& file, const char* tags) {
  namespace fs = std::filesystem;
  if (file.empty() || file[0] == '/' || !strcmp(tags, "-") || strchr(tags, '/') == nullptr)
    return file;
  std::error_code ec;
  fs::path base = fs::absolute(fs::path(tags), ec).parent_path();
  fs::path rel = ec ? fs::path() : fs::relative(fs::absolute(file, ec), base, ec);
  return ec || rel.empty() ? file : rel.generic_string();  // '/' on Windows too
}

// The header as a search pattern a tags reader takes literally: only '\'
// and the delimiter '/' are escaped.
std::string search_pattern(const std::string& line) {
  std::string out = "/^";
  for (char c : line) {
    if (c == '\\' || c == '/') out += '\\';
    out += c;
  }
  return out + "$/";
}

std::string tags_text(std::vector<Tag> tags) {
  std::sort(tags.begin(), tags.end(), [](const Tag& a, const Tag& b) {
    int by_name = a.name.compare(b.name);
    if (by_name != 0) return by_name < 0;
    return a.file != b.file ? a.file < b.file : a.line < b.line;
  });
  std::string out =
      "!_TAG_FILE_FORMAT\t2\t/extended format; --format=1 will not append ;\" to lines/\n"
      "!_TAG_FILE_SORTED\t1\t/0=unsorted, 1=sorted, 2=foldcase/\n"
      "!_TAG_PROGRAM_NAME\twyn\t//\n"
      "!_TAG_KIND_DESCRIPTION!WYN\tf,function\t/routines/\n"
      "!_TAG_FIELD_DESCRIPTION\tend\t/end lines of various items/\n";
  for (const Tag& t : tags)
    out += t.name + "\t" + t.file + "\t" + t.pattern + ";\"\tf\tline:" + std::to_string(t.line) +
           "\tend:" + std::to_string(t.end) + "\n";
  return out;
}

// One listing line: the marked lines, the extent (none with --marks), the
// header as a terminal shows it.
std::string list_line(const std::string& prefix, const wyn::LineSpan& marked,
                      const wyn::LineSpan* extent, const std::string& header) {
  char ranges[64];
  if (extent != nullptr)
    snprintf(ranges, sizeof ranges, "%5ld-%-5ld %5ld-%-5ld ", marked.first, marked.last,
             extent->first, extent->last);
  else
    snprintf(ranges, sizeof ranges, "%5ld-%-5ld ", marked.first, marked.last);
  std::string out = prefix + ranges;
  render_terminal(header, {}, false, &out);
  return out + "\n";
}

}  // namespace

int cmd_routines(const Options& opt) {
  // Read every file first, so that tags are never written over one of them;
  // a bad one is reported, the others still listed, and the run fails at
  // the end.
  std::vector<std::string> names;
  int rc = operands(opt, &names) ? EXIT_DONE : EXIT_ERROR;
  std::vector<Source> files;
  std::vector<FileId> read;
  std::vector<const char*> paths;  // as given, to find each one's .wyn.cfg
  // A file alone goes straight into its document, so its text is never
  // held twice; several are read whole first, and each moves into its
  // document in turn.
  wyn::Document alone;
  bool one = names.size() == 1;
  for (const std::string& name : names) {
    Source file;
    if (one ? !read_source_into(name.c_str(), &file, &alone) : !read_source(name.c_str(), &file)) {
      rc = EXIT_ERROR;
      continue;
    }
    if (opt.ctags != nullptr && file.name.find_first_of("\t\n\r") != std::string::npos) {
      fprintf(stderr, "wyn: %s: a tags file cannot name a file with a tab or line break\n",
              file.name.c_str());
      rc = EXIT_ERROR;
      continue;
    }
    read.push_back(file.id);
    paths.push_back(name.c_str());
    files.push_back(std::move(file));
  }
  bool to_stdout = opt.ctags != nullptr && !strcmp(opt.ctags, "-");
  if (opt.ctags != nullptr && !to_stdout && !output_allowed(opt.ctags, read, true))
    return EXIT_ERROR;
  if (names.empty() && rc == EXIT_DONE) {  // folders without a script
    fprintf(stderr, "No routines found.\n");
    return EXIT_NOTHING;
  }
  if (files.empty()) return rc;

  std::vector<Tag> tags;
  std::string listing;
  size_t found = 0;
  for (size_t i = 0; i < files.size(); i++) {
    Source& file = files[i];
    working_on(paths[i]);
    if (!session_for(opt, paths[i])) return EXIT_ERROR;
    std::unique_ptr<wyn::Document> own;
    if (!one) {
      own.reset(new wyn::Document(file.text));
      std::string().swap(file.text);  // the document holds it now
    }
    wyn::Document& doc = one ? alone : *own;
    std::vector<wyn::LineSpan> marks;
    std::string message, error;
    if (!reported(doc.routines(&marks, &message, &error), error)) return EXIT_ERROR;
    std::string prefix = files.size() > 1 ? file.name + ":" : "";
    size_t before = found;
    if (opt.marks) {
      for (const wyn::LineSpan& m : marks) {
        std::string header;
        long start = doc.line_start(m.first);
        if (start >= 0) header = doc.text((size_t)start, (size_t)doc.line_length(m.first));
        listing += list_line(prefix, m, nullptr, header);
        found++;
      }
    } else {
      std::vector<wyn::Routine> list = wyn::routine_outline(doc, marks, plugin().words(1));
      for (const wyn::Routine& r : list) {
        if (opt.ctags != nullptr)
          tags.push_back({r.name, tag_file_name(file.name, opt.ctags), search_pattern(r.header),
                          r.extent.first, r.extent.last});
        else
          listing += list_line(prefix, r.marked, &r.extent, r.header);
        found++;
      }
    }
    // The plug-in's message, on stderr: stdout holds only routines. Of
    // several files, tags name none that has none, and a list says which.
    if (message.empty()) message = "No routines found.";
    if (found == before && files.size() == 1) fprintf(stderr, "%s\n", message.c_str());
    if (found == before && files.size() > 1 && opt.ctags == nullptr)
      fprintf(stderr, "wyn: %s: %s\n", file.name.c_str(), message.c_str());
  }
  if (found == 0) return rc == EXIT_DONE ? EXIT_NOTHING : rc;
  if (opt.ctags != nullptr)
    return write_output(opt.ctags, tags_text(tags)) && rc == EXIT_DONE ? EXIT_DONE : EXIT_ERROR;
  out_text(listing);
  return rc;
}
