// wyn routines FILE: the routine list the plug-in marks for the editor's
// routine view, one definition a line, or a tags file for other editors.
#include "tool.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

namespace {

struct Routine {
  long first, last;
  std::string header;  // text of the first marked line
  std::string name;    // the word before the header's '('
};

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string line_text(const wyn::Document& doc, const std::string& text, long line) {
  long start = doc.line_start(line);
  if (start < 0) return "";
  return text.substr((size_t)start, (size_t)doc.line_length(line));
}

// "function Foo(a)" names Foo; a header with no word before its '(' is
// named by its first word.
std::string routine_name(const std::string& header) {
  size_t paren = header.find('(');
  size_t end = paren == std::string::npos ? header.size() : paren;
  while (end > 0 && (header[end - 1] == ' ' || header[end - 1] == '\t')) end--;
  size_t start = end;
  while (start > 0 && is_name_char(header[start - 1])) start--;
  if (start == end) {
    end = 0;
    while (end < header.size() && is_name_char(header[end])) end++;
    start = 0;
  }
  return header.substr(start, end - start);
}

// One tag a line: NAME, FILE, the line number as address, kind f(unction).
std::string tags_text(std::vector<Routine> list, const std::string& file) {
  std::sort(list.begin(), list.end(), [](const Routine& a, const Routine& b) {
    return a.name != b.name ? a.name < b.name : a.first < b.first;
  });
  std::string out =
      "!_TAG_FILE_FORMAT\t2\t/extended format/\n"
      "!_TAG_FILE_SORTED\t1\t/0=unsorted, 1=sorted, 2=foldcase/\n"
      "!_TAG_PROGRAM_NAME\twyn\t//\n";
  for (size_t i = 0; i < list.size(); i++)
    out += list[i].name + "\t" + file + "\t" + std::to_string(list[i].first) + ";\"\tf\n";
  return out;
}

// Editors read a relative name in a tags file from the tags file's folder:
// keep the name as given when that is the current folder, else make it
// absolute.
std::string tag_file_name(const std::string& file, const char* tags) {
  if (file.empty() || file[0] == '/' || strchr(tags, '/') == nullptr) return file;
  char resolved[PATH_MAX];
  return realpath(file.c_str(), resolved) != nullptr ? std::string(resolved) : file;
}

}  // namespace

int cmd_routines(const Options& opt) {
  if (opt.args.size() != 1) {
    fprintf(stderr, "wyn: routines needs exactly one FILE\n");
    return EXIT_ERROR;
  }
  Source file;
  if (!read_source(opt.args[0], &file)) return EXIT_ERROR;
  if (opt.ctags != nullptr && !output_allowed(opt.ctags, {file.id}, true)) return EXIT_ERROR;
  if (!session_open(opt)) return EXIT_ERROR;
  wyn::Document doc(file.text);
  std::vector<wyn::LineSpan> marks;
  std::string message, error;
  if (!reported(doc.routines(&marks, &message, &error), error)) return EXIT_ERROR;

  std::vector<Routine> list;
  for (size_t i = 0; i < marks.size(); i++) {
    Routine r;
    r.first = marks[i].first;
    r.last = marks[i].last;
    r.header = line_text(doc, file.text, marks[i].first);
    r.name = routine_name(r.header);
    list.push_back(r);
  }
  if (list.empty()) {
    printf("%s\n", !message.empty() ? message.c_str() : "No routines found.");
    return EXIT_NOTHING;
  }
  if (opt.ctags != nullptr)
    return write_output(opt.ctags, tags_text(list, tag_file_name(file.name, opt.ctags)))
               ? EXIT_DONE
               : EXIT_ERROR;
  for (size_t i = 0; i < list.size(); i++)
    printf("%5ld-%-5ld %s\n", list[i].first, list[i].last, list[i].header.c_str());
  return EXIT_DONE;
}
