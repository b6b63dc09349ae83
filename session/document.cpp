// A text opened in the stand-in editor: made the editor's current document
// before every call that reads or drives it, coloured whole or a number of
// lines at a time, and edited by hand or by the plug-in's aids, each edit
// re-coloured over the lines the editor would hand the plug-in.
#include <assert.h>

#include <new>

#include "cwedit.h"
#include "plugin_calls.h"
#include "session.h"

namespace wyn {

static_assert((int)CAT_COUNT == (int)CW_CATEGORY_COUNT && (int)CAT_OPERATOR == (int)CW_OPERATORS,
              "ORDER: Category follows the editor's cw_category");

namespace {

LineSpan span_of(const cw_mark& m) {
  LineSpan span;
  span.first = (long)m.first;
  span.last = (long)m.last;
  return span;
}

bool is_word_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '#';
}

// The span a greedy comparison of the text before and after the edits
// since the last clear would find: the longest common head, then the
// longest common tail of what is left. The change record bounds both, so
// only the bytes around the change are looked at. False when the text is
// the same as before.
bool changed_span(size_t* head_out, size_t* end_out) {
  cw_change c;
  if (!cw_changed(&c)) return false;
  size_t n = (size_t)cw_text_length(), n_old = 0;
  const char* old = cw_change_old(&n_old);
  // The record holds the bytes the change removed, and the change lies in
  // the text as it is now.
  assert(n_old >= (size_t)c.removed && (size_t)c.from + (size_t)c.inserted <= n);
  // Byte i of the text now, read from its chunk in place: asking for the
  // text in one piece would copy all of it after every edit.
  auto after = [](size_t i) { return (char)cw_char_at((cw_long)i); };
  size_t from = (size_t)c.from, removed = (size_t)c.removed, inserted = (size_t)c.inserted;
  size_t before_size = n - inserted + removed;
  // Byte i of the text as it was before the edits.
  auto before = [&](size_t i) {
    if (i < from) return after(i);
    if (i < from + removed) return old[i - from];
    return after(i - removed + inserted);
  };
  size_t common = n < before_size ? n : before_size;
  size_t head = from;
  while (head < common && after(head) == before(head)) head++;
  size_t tail = n - (from + inserted);  // everything after the change is as it was
  if (tail > common - head) tail = common - head;
  while (tail < common - head && after(n - 1 - tail) == before(before_size - 1 - tail)) tail++;
  if (head == n && n == before_size) return false;
  *head_out = head;
  *end_out = n - tail;
  return true;
}

// Makes a fresh start for the records one action is read back from.
void clear_records() {
  cw_change_clear();
  cw_refresh_clear();
}

// After the edits since clear_records, made with the cursor at
// cursor_before: the lines from the cursor's line (a line break typed at a
// line's end leaves that line's text as it was) to the last changed one
// are handed to the plug-in's range re-colouring, as the editor does.
bool recolour(long cursor_before, Document::Edit* edit, std::string* error) {
  assert(cursor_before >= 0);  // a cursor the editor clamped
  size_t head = 0, end = 0;
  bool changed = changed_span(&head, &end);
  Document::Edit done;
  done.done = true;
  if (changed) {
    long first = (long)cw_line_of((cw_long)head);
    if (cursor_before < (long)head) first = (long)cw_line_of((cw_long)cursor_before);
    long last = (long)cw_line_of((cw_long)end);
    std::string a = std::to_string(first), b = std::to_string(last);
    const char* argv[] = {a.c_str(), b.c_str()};
    bool ok = call_plugin("_wyn_language_colors_update", 2, argv, nullptr, error);
    cw_clear_runs();  // the stand-in's record of runs is of no use here
    if (!ok) {
      clear_records();
      return false;
    }
    done.changed = true;
    done.handed.first = first;
    done.handed.last = last;
    for (size_t i = 0; i < cw_refresh_count(); i++)
      done.redisplay.push_back(span_of(cw_refresh_at(i)));
  }
  clear_records();
  if (edit != nullptr) *edit = done;
  return true;
}

}  // namespace

Document::Document(const std::string& bytes) : id_(cw_doc_new()) {
  if (id_ == 0) throw std::bad_alloc();
  if (!set_text(bytes)) {
    cw_doc_free(id_);
    throw std::bad_alloc();
  }
}

Document::~Document() {
  cw_doc_free(id_);
}

void Document::select() const {
  assert(id_ != 0);  // the constructor throws rather than keep no document
  if (cw_doc_current() != id_) cw_doc_select(id_);
}

bool Document::set_text(const std::string& bytes) {
  select();
  if (!cw_set_text(bytes.data(), bytes.size())) return false;
  clear_records();
  return true;
}

bool Document::append(const char* bytes, size_t n) {
  select();
  return cw_append_text(bytes, n) != 0;
}

void Document::expect(size_t n) {
  select();
  if (n <= 0x7FFFFFF0u) (void)cw_reserve_text(n);  // without room, appends grow it as needed
}

std::string Document::text() const {
  return text(0, size());
}

std::string Document::text(size_t from, size_t n) const {
  select();
  std::string out;
  if (from >= size()) return out;
  if (n > size() - from) n = size() - from;
  out.resize(n);
  cw_text_range((cw_long)from, n, &out[0]);
  return out;
}

size_t Document::size() const {
  select();
  return (size_t)cw_text_length();
}

long Document::line_count() const {
  select();
  return (long)cw_line_count();
}

long Document::line_start(long line) const {
  select();
  return (long)cw_line_start((cw_long)line);
}

long Document::line_length(long line) const {
  select();
  cw_long n = cw_text_length();
  cw_long start = cw_line_start((cw_long)line);
  if (start < 0) return 0;
  cw_long end = line < cw_line_count() ? cw_line_start((cw_long)line + 1) - 1 : n;
  if (end > start && cw_char_at(end - 1) == '\r' && end < n) end--;  // CR of CR LF
  return (long)(end - start);
}

long Document::line_of(long pos) const {
  select();
  return (long)cw_line_of((cw_long)pos);
}

long Document::position(long line, long col) const {
  if (line < 1 || line > line_count() || col < 1) return -1;
  if (col > line_length(line) + 1) return -1;
  return line_start(line) + col - 1;
}

bool Document::colour_whole(std::string* error) {
  select();
  const std::string all = std::to_string(CW_ALL_LINES);
  const char* const whole[] = {all.c_str()};
  bool ok = call_plugin("_wyn_language_colors", 1, whole, nullptr, error);
  cw_clear_runs();
  return ok;
}

long Document::colour_lines(long from_pos, long count, std::string* error) {
  select();
  cw_set_scan_pos((cw_long)from_pos);
  std::string n = std::to_string(count);
  const char* argv[] = {n.c_str()};
  bool ok = call_plugin("_wyn_language_colors", 1, argv, nullptr, error);
  cw_clear_runs();
  return ok ? (long)cw_scan_pos() : -1;
}

void Document::categories(size_t from, size_t n, signed char* out) const {
  assert(out != nullptr || n == 0);
  select();
  if (from > 0x7FFFFFFFu) {  // beyond any position
    for (size_t i = 0; i < n; i++) out[i] = CAT_NONE;
    return;
  }
  cw_categories((cw_long)from, n, out);
}

std::vector<signed char> Document::categories() const {
  std::vector<signed char> out(size());
  categories(0, out.size(), out.data());
  return out;
}

Document::Edit Document::replace(long pos, long n_del, const std::string& text) {
  select();
  clear_records();
  cw_long n = cw_text_length();
  cw_long at = pos < 0 ? 0 : pos > (long)n ? n : (cw_long)pos;
  if (!cw_replace_text(at, (cw_long)n_del, text.data(), text.size())) throw std::bad_alloc();
  cw_set_cursor(at + (cw_long)text.size());
  Edit edit;
  if (!recolour((long)at, &edit, nullptr)) edit.done = false;
  return edit;
}

long Document::cursor() const {
  select();
  return (long)cw_cursor();
}

void Document::set_cursor(long pos) {
  select();
  cw_set_cursor((cw_long)pos);
}

bool Document::expand(long pos, Edit* edit, std::string* error) {
  select();
  clear_records();
  cw_set_cursor((cw_long)pos);
  cw_long at = cw_cursor();
  // The plug-in expects the cursor on the word's first character: step
  // back over the word the cursor is in or has just passed.
  cw_long start = at;
  while (start > 0 && is_word_char((char)cw_char_at(start - 1))) start--;
  cw_set_cursor(start);
  long done = 0;
  if (!call_plugin("_wyn_expand", 0, nullptr, &done, error)) {
    cw_set_cursor(at);
    return false;
  }
  if (!done) {
    cw_set_cursor(at);
    if (edit != nullptr) *edit = Edit();
    return true;
  }
  return recolour((long)at, edit, error);
}

bool Document::indent(long pos, Edit* edit, std::string* error) {
  select();
  clear_records();
  cw_set_cursor((cw_long)pos);
  long at = (long)cw_cursor();
  long done = 0;
  if (!call_plugin("_wyn_indent", 0, nullptr, &done, error)) return false;
  if (!done) {
    if (edit != nullptr) *edit = Edit();
    return true;
  }
  return recolour(at, edit, error);
}

bool Document::type(char c, Edit* edit, std::string* error) {
  if (c == '\n') return enter(edit, error);
  select();
  clear_records();
  long at = (long)cw_cursor();
  if (!InsertChar((cw_long)(unsigned char)c)) throw std::bad_alloc();
  return recolour(at, edit, error);
}

// The plug-in's smart indent first; when it declines, the editor starts
// the new line itself.
bool Document::enter(Edit* edit, std::string* error) {
  select();
  clear_records();
  long at = (long)cw_cursor();
  long done = 0;
  if (!call_plugin("_wyn_indent", 0, nullptr, &done, error)) return false;
  if (!done && !InsertNewLine()) throw std::bad_alloc();
  return recolour(at, edit, error);
}

bool Document::routines(std::vector<LineSpan>* marks, std::string* message, std::string* error) {
  select();
  cw_clear_message();
  // The plug-in keeps the marks in view when it finds no routine (so an
  // editor's list stays put), and the stand-in keeps one list for all its
  // documents: without this, a text with no routine would answer the
  // marks of the last one listed, in this document or another.
  cw_clear_marks();
  if (!call_plugin("_wyn_routines", 0, nullptr, nullptr, error)) return false;
  if (marks != nullptr) {
    marks->clear();
    for (size_t i = 0; i < cw_mark_count(); i++) marks->push_back(span_of(cw_mark_at(i)));
  }
  if (message != nullptr) {
    const char* text = cw_last_message();
    *message = text != nullptr ? text : "";
  }
  return true;
}

}  // namespace wyn
