// Routine extents and names, from the plug-in's marked headers and the text.
#include "outline.h"

#include <algorithm>

namespace wyn {

namespace {

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// Read line by line from the document: the text is not copied whole.
std::string line_text(const Document& doc, long line) {
  long start = doc.line_start(line);
  if (start < 0) return "";
  return doc.text((size_t)start, (size_t)doc.line_length(line));
}

// "end", blanks, ';' right after the indentation.
bool closes(const std::string& line, const std::string& indent) {
  if (line.compare(0, indent.size(), indent) != 0) return false;
  size_t i = indent.size();
  if (line.compare(i, 3, "end") != 0) return false;
  for (i += 3; i < line.size() && is_blank(line[i]);) i++;
  return i < line.size() && line[i] == ';';
}

}  // namespace

std::string routine_name(const std::string& header, size_t* at) {
  size_t paren = header.find('(');
  size_t end = paren == std::string::npos ? header.size() : paren;
  while (end > 0 && is_blank(header[end - 1])) end--;
  size_t start = end;
  while (start > 0 && is_name_char(header[start - 1])) start--;
  if (start == end) {  // "(" first, or a symbol before it: the first word
    start = 0;
    while (start < header.size() && is_blank(header[start])) start++;
    end = start;
    while (end < header.size() && is_name_char(header[end])) end++;
  }
  if (at != nullptr) *at = start;
  return header.substr(start, end - start);
}

std::vector<Routine> routine_outline(const Document& doc, const std::vector<LineSpan>& marks,
                                     const std::vector<std::string>& reserved) {
  std::vector<std::string> words = reserved;
  std::sort(words.begin(), words.end());
  std::vector<Routine> out;
  for (const LineSpan& m : marks) {
    Routine r;
    r.marked = m;
    r.header = line_text(doc, m.first);
    r.name = routine_name(r.header, &r.name_at);
    if (std::binary_search(words.begin(), words.end(), r.name)) continue;
    out.push_back(r);
  }
  // The last line with text: a final line break starts no line of its own.
  long last_line = doc.line_count();
  if (last_line > 1 && doc.size() > 0 && doc.text(doc.size() - 1, 1) == "\n") last_line--;
  for (size_t i = 0; i < out.size(); i++) {
    Routine& r = out[i];
    size_t indent = 0;
    while (indent < r.header.size() && is_blank(r.header[indent])) indent++;
    std::string lead = r.header.substr(0, indent);
    long stop = i + 1 < out.size() ? out[i + 1].marked.first - 1 : last_line;
    if (stop < r.marked.last) stop = r.marked.last;
    r.extent.first = r.marked.first;
    r.extent.last = stop;
    for (long n = r.marked.first + 1; n <= stop; n++) {
      if (closes(line_text(doc, n), lead)) {
        r.extent.last = n;
        break;
      }
    }
  }
  return out;
}

}  // namespace wyn
