// Routine extents and names: the plug-in's marked headers less those in
// comments, the headers it cannot see, and the prototype declarations.
#include "outline.h"

#include <assert.h>

#include <algorithm>

namespace wyn {

namespace {

// A header's parameter list, and the blanks after it, are followed over
// this many lines at most: a longer one is taken for no header.
const long kListLines = 64;
// How much of a line is looked at for its first word: a header is not
// indented further.
const size_t kIndentLimit = 256;

const char kByteOrderMark[] = "\xEF\xBB\xBF";

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// Read line by line from the document: the text is not copied whole.
std::string line_text(const Document& doc, long line, size_t limit = std::string::npos) {
  long start = doc.line_start(line);
  if (start < 0) return "";
  return doc.text((size_t)start, std::min((size_t)doc.line_length(line), limit));
}

bool dead_code(const Document& doc, size_t pos) {
  signed char c = CAT_NONE;
  doc.categories(pos, 1, &c);
  return c == CAT_COMMENT || c == CAT_STRING;
}

// "end", blanks, ';' right after the indentation.
bool closes(const std::string& line, const std::string& indent) {
  if (line.compare(0, indent.size(), indent) != 0) return false;
  size_t i = indent.size();
  if (line.compare(i, 3, "end") != 0) return false;
  for (i += 3; i < line.size() && is_blank(line[i]);) i++;
  return i < line.size() && line[i] == ';';
}

bool starts_with_word(const std::string& s, size_t at, const char* word, size_t n) {
  return s.compare(at, n, word) == 0 && (at + n == s.size() || !is_name_char(s[at + n]));
}

// The header whose first word, "function" or "prototype", starts at `at`
// in line n (whose text is s): the words before the list are plain words
// (a library's routine is named with a '.'), the list's parentheses
// balance outside comments and strings, and what follows the list says
// whether it is a declaration (nothing at all: neither). Its lines are marked as the plug-in marks a
// header: down to the line holding the first byte after the list, less a
// '{' standing there.
bool read_header(const Document& doc, long n, long last_line, const std::string& s, size_t at,
                 Routine* r) {
  size_t word_end = at;
  while (word_end < s.size() && is_name_char(s[word_end])) word_end++;
  size_t paren = s.find('(', word_end);
  if (paren == std::string::npos) return false;
  for (size_t i = word_end; i < paren; i++)
    if (!is_name_char(s[i]) && !is_blank(s[i]) && s[i] != '.') return false;
  r->name = routine_name(s, &r->name_at);
  if (r->name_at < word_end || r->name.empty() || (r->name[0] >= '0' && r->name[0] <= '9'))
    return false;
  size_t start = (size_t)doc.line_start(n);
  if (dead_code(doc, start + at) || dead_code(doc, start + paren)) return false;

  // The list's end, then the first byte after it that is not blank.
  int depth = 0;
  long closed = 0;
  char follower = 0;
  long follower_line = n;
  std::string text = s;
  std::vector<signed char> cats;
  for (long m = n; m <= last_line && m <= n + kListLines && follower == 0; m++) {
    if (m > n) text = line_text(doc, m);
    size_t from = (size_t)doc.line_start(m);
    cats.assign(text.size(), CAT_NONE);
    doc.categories(from, cats.size(), cats.data());
    for (size_t i = m == n ? paren : 0; i < text.size(); i++) {
      char c = text[i];
      if (closed != 0) {
        if (is_blank(c) || c == '\r') continue;
        follower = c;
        follower_line = m;
        break;
      }
      if (cats[i] == CAT_COMMENT || cats[i] == CAT_STRING) continue;
      if (c == '(') depth++;
      if (c == ')' && --depth == 0) closed = m;
    }
  }
  // Nothing after the list: no body, and no ';' to make it a declaration.
  if (closed == 0 || follower == 0) return false;
  r->declaration = follower == ';' || starts_with_word(s, at, "prototype", 9);
  r->header = s;
  r->marked.first = n;
  r->marked.last = follower_line;
  if (follower == '{' && r->marked.last > n) r->marked.last--;
  return true;
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
  auto is_reserved = [&](const std::string& w) {
    return std::binary_search(words.begin(), words.end(), w);
  };
  // The last line with text: a final line break starts no line of its own.
  long last_line = doc.line_count();
  if (last_line > 1 && doc.size() > 0 && doc.text(doc.size() - 1, 1) == "\n") last_line--;

  std::vector<Routine> out;
  std::vector<long> marked;  // the first lines of the plug-in's headers
  for (const LineSpan& m : marks) {
    marked.push_back(m.first);
    long start = doc.line_start(m.first);
    if (start < 0) continue;
    Routine r;
    r.marked = m;
    r.header = line_text(doc, m.first);
    r.name = routine_name(r.header, &r.name_at);
    if (is_reserved(r.name)) continue;
    size_t lead = 0;
    while (lead < r.header.size() && is_blank(r.header[lead])) lead++;
    // A call in the first column with a header in a string or comment
    // after it is marked too: its name tells.
    if (dead_code(doc, (size_t)start + lead) || dead_code(doc, (size_t)start + r.name_at)) continue;
    out.push_back(r);
  }
  std::sort(marked.begin(), marked.end());

  // What the plug-in cannot see: it looks at the first column only, where a
  // byte-order mark hides the first line's header, and it passes over
  // declarations. A first-column definition is its to mark alone.
  for (long n = 1; n <= last_line; n++) {
    if (std::binary_search(marked.begin(), marked.end(), n)) continue;
    std::string s = line_text(doc, n, kIndentLimit);
    size_t at = n == 1 && s.compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
    bool first_column = at == 0;
    while (at < s.size() && is_blank(s[at])) at++;
    if (!starts_with_word(s, at, "function", 8) && !starts_with_word(s, at, "prototype", 9))
      continue;
    first_column = first_column && at == 0;
    if (s.size() == kIndentLimit) s = line_text(doc, n);
    Routine r;
    if (!read_header(doc, n, last_line, s, at, &r) || is_reserved(r.name)) continue;
    if (first_column && !r.declaration) continue;
    out.push_back(r);
  }
  std::stable_sort(out.begin(), out.end(), [](const Routine& a, const Routine& b) {
    return a.marked.first < b.marked.first;
  });

  // A declaration ends where its header does; a body runs at most to the
  // next definition.
  long stop = last_line;
  for (size_t i = out.size(); i-- > 0;) {
    Routine& r = out[i];
    r.extent.first = r.marked.first;
    if (r.declaration) {
      r.extent.last = r.marked.last;
      continue;
    }
    size_t indent = 0;
    while (indent < r.header.size() && is_blank(r.header[indent])) indent++;
    std::string lead = r.header.substr(0, indent);
    long last = std::max(stop, r.marked.last);
    r.extent.last = last;
    for (long n = r.marked.first + 1; n <= last; n++) {
      if (closes(line_text(doc, n), lead)) {
        r.extent.last = n;
        break;
      }
    }
    assert(r.extent.last >= r.extent.first);
    stop = r.marked.first - 1;
  }
  return out;
}

}  // namespace wyn
