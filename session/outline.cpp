// Routine extents and names: the plug-in's marked headers less those in
// comments, the headers it cannot see, and the prototype declarations.
#include "outline.h"

#include <assert.h>
#include <string.h>

#include <algorithm>
#include <string_view>

#include "chars.h"

namespace wyn {

namespace {

// A header's parameter list, and the blanks after it, are followed over
// this many lines at most: a longer one is taken for no header.
const long kListLines = 64;
// How much of a line is looked at for its first word: a header is not
// indented further.
const size_t kIndentLimit = 256;

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// The text and its colours as a window of the document, read a large piece
// at a time: one host call per piece, not several per line, and never the
// whole text at once, which the tool holds only in the editor. Reads that
// run forward cost each byte about once.
class Window {
 public:
  explicit Window(const Document& doc) : doc_(doc), size_(doc.size()) {}
  // The whole text and every byte's colour at hand already (a caller that
  // holds them): the window is all of it, and nothing is read.
  Window(const Document& doc, const std::string& text, const std::vector<signed char>& cats)
      : doc_(doc), size_(text.size()), data_(text.data()), len_(text.size()), cdata_(cats.data()) {
    assert(text.size() == doc.size() && cats.size() == text.size());
  }

  // Line n as [*start, *end), without its line break, as
  // Document::line_length counts it; false for a line that does not exist.
  bool line(long n, size_t* start, size_t* end) {
    // A line further on is reached by walking the window there, which
    // costs less than asking the editor where it starts.
    while (line_ > 0 && n > line_ + 1 && next_ != std::string::npos) line(line_ + 1, start, end);
    if (n == line_) {
      *start = start_;
      *end = end_;
      return true;
    }
    size_t at;
    if (n == line_ + 1 && line_ > 0) {
      if (next_ == std::string::npos) return false;
      at = next_;
    } else {
      long found = doc_.line_start(n);
      if (found < 0) return false;
      at = (size_t)found;
    }
    size_t lf = find_lf(at);
    if (lf == kLong) {  // longer than a piece: not read for its end
      long next = doc_.line_start(n + 1);
      lf = next < 0 ? std::string::npos : (size_t)next - 1;
    }
    size_t stop = lf == std::string::npos ? size_ : lf;
    // The CR of a CR LF; a last line keeps a CR of its own.
    if (lf != std::string::npos && stop > at && *bytes(stop - 1, 1) == '\r') stop--;
    line_ = n;
    start_ = at;
    end_ = stop;
    next_ = lf == std::string::npos ? lf : lf + 1;
    *start = at;
    *end = stop;
    return true;
  }

  // Up to limit bytes of line n, without its line break; "" if none. A
  // view into the window, good until the window is next asked.
  std::string_view line_view(long n, size_t limit = std::string::npos) {
    size_t start, end;
    if (!line(n, &start, &end)) return std::string_view();
    size_t len = std::min(end - start, limit);
    return std::string_view(bytes(start, len), len);
  }
  std::string line_text(long n, size_t limit = std::string::npos) {
    return std::string(line_view(n, limit));
  }

  // The category of each of n bytes from pos, which lie in the text.
  const signed char* cats(size_t pos, size_t n) {
    load(pos, n);
    if (cdata_ == nullptr) {
      read_cats_.resize(len_);
      doc_.categories(from_, len_, read_cats_.data());
      cdata_ = read_cats_.data();
    }
    return cdata_ + (pos - from_);
  }

  bool dead_code(size_t pos) {
    if (pos >= size_) return false;
    signed char c = *cats(pos, 1);
    return c == CAT_COMMENT || c == CAT_STRING;
  }

 private:
  // A piece large enough that a long script takes a handful of reads.
  static constexpr size_t kPiece = (size_t)256 << 10;

  const Document& doc_;
  size_t size_;
  size_t from_ = 0;                     // where the window starts in the document
  const char* data_ = "";               // its bytes: read_text_'s, or the caller's
  size_t len_ = 0;                      // how many
  const signed char* cdata_ = nullptr;  // their categories once asked for; else null
  std::string read_text_;               // what was read from the document
  std::vector<signed char> read_cats_;

  static constexpr size_t kLong = std::string::npos - 1;
  long line_ = 0;               // the line last found, 0 if none
  size_t start_ = 0, end_ = 0;  // its bytes, as line() answers them
  size_t next_ = 0;             // where the line after it starts; npos if none

  // The first LF from pos on: npos if there is none, kLong if it lies
  // more than a piece further on.
  size_t find_lf(size_t pos) {
    for (int tries = 0; tries < 2; tries++) {
      if (pos >= from_ && pos <= from_ + len_) {
        size_t rest = from_ + len_ - pos;
        const void* lf = memchr(data_ + (pos - from_), '\n', rest);
        if (lf != nullptr) return from_ + (size_t)((const char*)lf - data_);
        if (from_ + len_ == size_) return std::string::npos;
      }
      if (tries == 0) load_from(pos);
    }
    return kLong;
  }
  const char* bytes(size_t pos, size_t n) {
    load(pos, n);
    return data_ + (pos - from_);
  }
  // Makes [pos, pos + n), inside the text, part of the window.
  void load(size_t pos, size_t n) {
    assert(pos <= size_ && n <= size_ - pos);
    if (pos >= from_ && pos + n <= from_ + len_) return;
    load_from(pos, n);
  }
  void load_from(size_t pos, size_t n = 0) {
    from_ = pos;
    read_text_ = doc_.text(pos, std::max(n, std::min(kPiece, size_ - pos)));
    data_ = read_text_.data();
    len_ = read_text_.size();
    cdata_ = nullptr;
  }
};

// "end", blanks, ';' right after the indentation.
bool closes(std::string_view line, const std::string& indent) {
  if (line.compare(0, indent.size(), indent) != 0) return false;
  size_t i = indent.size();
  if (line.compare(i, 3, "end") != 0) return false;
  for (i += 3; i < line.size() && is_blank(line[i]);) i++;
  return i < line.size() && line[i] == ';';
}

bool starts_with_word(std::string_view s, size_t at, const char* word, size_t n) {
  return s.compare(at, n, word) == 0 && (at + n == s.size() || !is_name_char(s[at + n]));
}

// The header whose first word, "function" or "prototype", starts at `at`
// in line n (whose text is s): the words before the list are plain words
// (a library's routine is named with a '.'), the list's parentheses
// balance outside comments and strings, and what follows the list says
// whether it is a declaration (nothing at all: neither). Its lines are marked as the plug-in marks a
// header: down to the line holding the first byte after the list, less a
// '{' standing there.
bool read_header(Window& w, long n, long last_line, const std::string& s, size_t at, Routine* r) {
  size_t word_end = at;
  while (word_end < s.size() && is_name_char(s[word_end])) word_end++;
  size_t paren = s.find('(', word_end);
  if (paren == std::string::npos) return false;
  for (size_t i = word_end; i < paren; i++)
    if (!is_name_char(s[i]) && !is_blank(s[i]) && s[i] != '.') return false;
  r->name = routine_name(s, &r->name_at);
  if (r->name_at < word_end || r->name.empty() || (r->name[0] >= '0' && r->name[0] <= '9'))
    return false;
  size_t start, end;
  if (!w.line(n, &start, &end)) return false;
  if (w.dead_code(start + at) || w.dead_code(start + paren)) return false;

  // The list's end, then the first byte after it that is not blank.
  int depth = 0;
  long closed = 0;
  char follower = 0;
  long follower_line = n;
  std::string text = s;
  for (long m = n; m <= last_line && m <= n + kListLines && follower == 0; m++) {
    if (m > n) text = w.line_text(m);
    size_t from;
    if (!w.line(m, &from, &end)) break;
    const signed char* cats = w.cats(from, text.size());
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

namespace {

std::vector<Routine> outline_of(const Document& doc, Window& w, const std::vector<LineSpan>& marks,
                                const std::vector<std::string>& reserved) {
  std::vector<std::string> words = reserved;
  std::sort(words.begin(), words.end());
  auto is_reserved = [&](const std::string& word) {
    return std::binary_search(words.begin(), words.end(), word);
  };
  // The last line with text: a final line break starts no line of its own.
  long last_line = doc.line_count();
  if (last_line > 1 && doc.size() > 0 && doc.text(doc.size() - 1, 1) == "\n") last_line--;

  std::vector<Routine> out;
  std::vector<long> marked;  // the first lines of the plug-in's headers
  for (const LineSpan& m : marks) {
    marked.push_back(m.first);
    size_t start, end;
    if (!w.line(m.first, &start, &end)) continue;
    Routine r;
    r.marked = m;
    r.header = w.line_text(m.first);
    r.name = routine_name(r.header, &r.name_at);
    if (is_reserved(r.name)) continue;
    size_t lead = 0;
    while (lead < r.header.size() && is_blank(r.header[lead])) lead++;
    // A call in the first column with a header in a string or comment
    // after it is marked too: its name tells.
    if (w.dead_code(start + lead) || w.dead_code(start + r.name_at)) continue;
    out.push_back(r);
  }
  std::sort(marked.begin(), marked.end());

  // What the plug-in cannot see: it looks at the first column only, where a
  // byte-order mark hides the first line's header, and it passes over
  // declarations. A first-column definition is its to mark alone.
  for (long n = 1; n <= last_line; n++) {
    if (std::binary_search(marked.begin(), marked.end(), n)) continue;
    // Every line is looked at: in place, copied only when it may be a header.
    std::string_view v = w.line_view(n, kIndentLimit);
    size_t at = n == 1 && v.compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
    bool first_column = at == 0;
    while (at < v.size() && is_blank(v[at])) at++;
    if (!starts_with_word(v, at, "function", 8) && !starts_with_word(v, at, "prototype", 9))
      continue;
    first_column = first_column && at == 0;
    std::string s = v.size() == kIndentLimit ? w.line_text(n) : std::string(v);
    Routine r;
    if (!read_header(w, n, last_line, s, at, &r) || is_reserved(r.name)) continue;
    if (first_column && !r.declaration) continue;
    out.push_back(r);
  }
  std::stable_sort(out.begin(), out.end(), [](const Routine& a, const Routine& b) {
    return a.marked.first < b.marked.first;
  });

  // A declaration ends where its header does; a body runs at most to the
  // next definition. Bodies are read front to back, as the window reads.
  std::vector<long> stops(out.size());
  long stop = last_line;
  for (size_t i = out.size(); i-- > 0;) {
    stops[i] = stop;
    if (!out[i].declaration) stop = out[i].marked.first - 1;
  }
  for (size_t i = 0; i < out.size(); i++) {
    Routine& r = out[i];
    r.extent.first = r.marked.first;
    if (r.declaration) {
      r.extent.last = r.marked.last;
      continue;
    }
    size_t indent = 0;
    while (indent < r.header.size() && is_blank(r.header[indent])) indent++;
    std::string lead = r.header.substr(0, indent);
    long last = std::max(stops[i], r.marked.last);
    r.extent.last = last;
    for (long n = r.marked.first + 1; n <= last; n++) {
      if (closes(w.line_view(n), lead)) {
        r.extent.last = n;
        break;
      }
    }
    assert(r.extent.last >= r.extent.first);
  }
  return out;
}

}  // namespace

std::vector<Routine> routine_outline(const Document& doc, const std::vector<LineSpan>& marks,
                                     const std::vector<std::string>& reserved) {
  Window w(doc);
  return outline_of(doc, w, marks, reserved);
}

std::vector<Routine> routine_outline(const Document& doc, const std::string& text,
                                     const std::vector<signed char>& cats,
                                     const std::vector<LineSpan>& marks,
                                     const std::vector<std::string>& reserved) {
  if (text.size() != doc.size() || cats.size() != text.size())
    return routine_outline(doc, marks, reserved);
  Window w(doc, text, cats);
  return outline_of(doc, w, marks, reserved);
}

}  // namespace wyn
