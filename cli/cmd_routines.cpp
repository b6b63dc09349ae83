// wyn routines FILE...: the routine list the plug-in marks for the editor's
// routine view, each routine with its whole extent, one a line; or a tags
// file for other editors; or the plug-in's marks as they are.
#include "render.h"
#include "tool.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "outline.h"

namespace {

struct Tag {
  std::string name, pattern;
  size_t file;  // which of the run's files, by its name in the tags
  long line, end;
};

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

// Writes the tags, sorted, to out ("-": stdout) a part at a time, so the
// text is never held whole; files holds each tag's file name. Prints the
// problem; false on it.
bool write_tags(const char* out, std::vector<Tag>* tags, const std::vector<std::string>& files) {
  std::sort(tags->begin(), tags->end(), [&](const Tag& a, const Tag& b) {
    int by_name = a.name.compare(b.name);
    if (by_name != 0) return by_name < 0;
    int by_file = files[a.file].compare(files[b.file]);
    return by_file != 0 ? by_file < 0 : a.line < b.line;
  });
  OutputSink* sink = output_open(out);
  if (sink == nullptr) return false;
  std::string part =
      "!_TAG_FILE_FORMAT\t2\t/extended format; --format=1 will not append ;\" to lines/\n"
      "!_TAG_FILE_SORTED\t1\t/0=unsorted, 1=sorted, 2=foldcase/\n"
      "!_TAG_PROGRAM_NAME\twyn\t//\n"
      "!_TAG_KIND_DESCRIPTION!WYN\tf,function\t/routines/\n"
      "!_TAG_FIELD_DESCRIPTION\tend\t/end lines of various items/\n";
  for (size_t i = 0; i <= tags->size(); i++) {
    if (i < tags->size()) {
      const Tag& t = (*tags)[i];
      part += t.name + "\t" + files[t.file] + "\t" + t.pattern +
              ";\"\tf\tline:" + std::to_string(t.line) + "\tend:" + std::to_string(t.end) + "\n";
    }
    if (part.size() < (64 << 10) && i < tags->size()) continue;
    if (!output_write(sink, part.data(), part.size())) {
      output_abort(sink);
      return false;
    }
    part.clear();
  }
  return output_commit(sink);
}

// What one file gave: its listing lines, each still to be prefixed with
// its name when there are several files, or the plug-in's message.
struct Found {
  std::string name;
  std::vector<std::string> lines;
  size_t routines = 0;  // with --ctags, there are tags but no lines
  std::string message;  // empty when the plug-in showed none
};

// One listing line: the marked lines, the extent (none with --marks), the
// header as a terminal shows it.
std::string list_line(const wyn::LineSpan& marked, const wyn::LineSpan* extent,
                      const std::string& header) {
  char ranges[64];
  if (extent != nullptr)
    snprintf(ranges, sizeof ranges, "%5ld-%-5ld %5ld-%-5ld ", marked.first, marked.last,
             extent->first, extent->last);
  else
    snprintf(ranges, sizeof ranges, "%5ld-%-5ld ", marked.first, marked.last);
  std::string out = ranges;
  render_terminal(header, {}, false, &out);
  return out + "\n";
}

}  // namespace

int cmd_routines(const Options& opt) {
  // Each file is read into the document and done with before the next, so
  // only one text is held at a time; what the tags file must not overwrite
  // is told by each input's identity, kept from its read. Nothing is
  // written until every file is read. A bad one is reported, the others
  // still listed, and the run fails at the end.
  std::vector<std::string> names;
  int rc = script_operands(opt, &names) ? EXIT_DONE : EXIT_ERROR;
  bool to_stdout = opt.ctags != nullptr && !strcmp(opt.ctags, "-");
  if (opt.ctags != nullptr && !to_stdout && !output_allowed(opt.ctags, {}, true)) return EXIT_ERROR;
  std::vector<FileId> read;
  std::vector<Found> files;
  std::vector<Tag> tags;
  std::vector<std::string> tag_files;  // each file as the tags name it
  for (const std::string& name : names) {
    Source file;
    wyn::Document doc;  // this file's alone, gone before the next is read
    if (!read_source_into(name.c_str(), &file, &doc)) {
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
    working_on(name.c_str());
    if (!session_for(opt, name.c_str())) return EXIT_ERROR;
    files.emplace_back();
    Found& found = files.back();
    found.name = file.name;
    if (opt.ctags != nullptr) tag_files.push_back(tag_file_name(file.name, opt.ctags));
    std::vector<wyn::LineSpan> marks;
    std::string error;
    if (!reported(doc.routines(&marks, &found.message, &error), error)) return EXIT_ERROR;
    if (opt.marks) {
      for (const wyn::LineSpan& m : marks) {
        std::string header;
        long start = doc.line_start(m.first);
        if (start >= 0) header = doc.text((size_t)start, (size_t)doc.line_length(m.first));
        found.lines.push_back(list_line(m, nullptr, header));
      }
    } else {
      // The outline tells live code from comments by the colours.
      if (!reported(doc.colour_whole(&error), error)) return EXIT_ERROR;
      std::vector<wyn::Routine> list = wyn::routine_outline(doc, marks, plugin().words(1));
      for (const wyn::Routine& r : list) {
        if (r.declaration) continue;
        if (opt.ctags != nullptr)
          tags.push_back({r.name, search_pattern(r.header), tag_files.size() - 1, r.extent.first,
                          r.extent.last});
        else
          found.lines.push_back(list_line(r.marked, &r.extent, r.header));
        found.routines++;
      }
    }
    if (opt.marks) found.routines = found.lines.size();
  }
  if (opt.ctags != nullptr && !to_stdout && !output_allowed(opt.ctags, read, true))
    return EXIT_ERROR;
  if (names.empty() && rc == EXIT_DONE) {
    // Only folders were named, and none holds a script: said as such,
    // with the status of a search that found nothing.
    std::string folders;
    for (const char* arg : opt.args) folders += (folders.empty() ? "" : ", ") + std::string(arg);
    fprintf(stderr, "wyn: no .wyn scripts below %s\n", folders.c_str());
    return EXIT_NOTHING;
  }
  if (files.empty()) return rc;

  // The plug-in's message, on stderr: stdout holds only routines. Of
  // several files, tags name none that has none, and a list says which.
  size_t found = 0;
  for (const Found& file : files) {
    found += file.routines;
    std::string message = file.message.empty() ? "No routines found." : file.message;
    if (file.routines == 0 && files.size() == 1) fprintf(stderr, "%s\n", message.c_str());
    if (file.routines == 0 && files.size() > 1 && opt.ctags == nullptr)
      fprintf(stderr, "wyn: %s: %s\n", file.name.c_str(), message.c_str());
  }
  if (found > 0 && opt.ctags == nullptr)
    for (const Found& file : files)
      for (const std::string& line : file.lines) {
        if (files.size() > 1) out_text(file.name + ":");
        out_text(line);
      }
  if (found == 0) return rc == EXIT_DONE ? EXIT_NOTHING : rc;
  if (opt.ctags != nullptr)
    return write_tags(opt.ctags, &tags, tag_files) && rc == EXIT_DONE ? EXIT_DONE : EXIT_ERROR;
  return rc;
}
