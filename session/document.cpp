// The session layer over the stand-in editor: the plug-in loaded and
// called by its registered names, documents made current before every call
// that reads or drives them, and edits re-coloured the way the editor does.
#include "session.h"

#include <algorithm>
#include <new>

#include "cwedit.h"

namespace wyn {

static_assert((int)CAT_COUNT == (int)CW_CATEGORY_COUNT && (int)CAT_OPERATOR == (int)CW_OPERATORS,
              "ORDER: Category follows the editor's cw_category");

namespace {

bool fail(std::string* error, const std::string& problem) {
  if (error != nullptr) *error = problem;
  return false;
}

// Whatever the editor refused for lack of memory since it answered
// refusals_before was missing from the action under way: it is reported as
// std::bad_alloc once the plug-in has returned.
void check_memory(unsigned long refusals_before) {
  if (cw_memory_refusals() != refusals_before) throw std::bad_alloc();
}

// A registered function by name, as the editor calls it.
bool call_plugin(const char* name, int argc, const char* const* argv, long* result,
                 std::string* error) {
  cw_long r = 0;
  unsigned long refusals = cw_memory_refusals();
  int called = cw_call(name, argc, argv, &r);
  check_memory(refusals);
  if (called != 0)
    return fail(error, std::string("the plug-in did not register ") + name + " for " +
                           std::to_string(argc) + " argument(s)");
  if (result != nullptr) *result = (long)r;
  return true;
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
    for (size_t i = 0; i < cw_refresh_count(); i++) {
      cw_mark m = cw_refresh_at(i);
      LineSpan span;
      span.first = (long)m.first;
      span.last = (long)m.last;
      done.redisplay.push_back(span);
    }
  }
  clear_records();
  if (edit != nullptr) *edit = done;
  return true;
}

}  // namespace

// {====== Plugin

Plugin::~Plugin() {
  if (loaded_) cw_unload_module();
}

bool Plugin::load(const std::string& path, std::string* error) {
  cw_record_runs(0);  // nobody here reads them: one record per run would cost more than the text
  unsigned long refusals = cw_memory_refusals();
  loaded_ = cw_load_module(path.c_str()) == 0;
  if (!loaded_) return fail(error, path + ": cannot load the plug-in");
  if (cw_memory_refusals() != refusals) {  // start-up left tables or words out
    cw_unload_module();
    loaded_ = false;
    throw std::bad_alloc();
  }
  return true;
}

bool Plugin::add_keyword(const std::string& word, long word_class, std::string* error) {
  std::string cls = std::to_string(word_class);
  const char* argv[] = {word.c_str(), cls.c_str()};
  return call_plugin("_wyn_add_keyword", 2, argv, nullptr, error);
}

bool Plugin::assign_template(const std::string& name, const std::string& text, std::string* error) {
  const char* argv[] = {name.c_str(), text.c_str()};
  return call_plugin("_wyn_assign_template", 2, argv, nullptr, error);
}

bool Plugin::set_hash_size(long word_class, long size, std::string* error) {
  std::string cls = std::to_string(word_class), n = std::to_string(size);
  const char* argv[] = {cls.c_str(), n.c_str()};
  return call_plugin("_wyn_hash_size", 2, argv, nullptr, error);
}

bool Plugin::set_comment_introducer(const std::string& text, std::string* error) {
  const char* argv[] = {text.c_str()};
  return call_plugin("WYNSetCommentChar", 1, argv, nullptr, error);
}

bool Plugin::call(const char* name, int argc, const char* const* argv, long* result,
                  std::string* error) {
  if (name == nullptr) return fail(error, "no function name");
  return call_plugin(name, argc, argv, result, error);
}

std::vector<std::string> Plugin::functions() const {
  std::vector<std::string> out;
  for (size_t i = 0; i < cw_export_count(); i++) out.push_back(cw_export_at(i));
  return out;
}

std::vector<std::string> Plugin::extensions() const {
  std::vector<std::string> out;
  for (size_t i = 0; i < cw_extension_count(); i++) out.push_back(cw_extension_at(i));
  return out;
}

std::vector<TableInfo> Plugin::tables() const {
  std::vector<TableInfo> out;
  for (size_t i = 0; i < cw_table_count(); i++) {
    TableInfo t;
    t.entries = cw_table_size(cw_table_at(i));
    t.buckets = (long)cw_table_buckets(cw_table_at(i));
    out.push_back(t);
  }
  return out;
}

unsigned long long Plugin::host_calls() const {
  return cw_call_count();
}

namespace {

// Index of the template table start-up made: the last table created with
// the template flag. Its three keyword tables were created just before it,
// in class order; tables the editor made before start-up may come first. -1
// before start-up.
long template_table_index() {
  for (size_t i = cw_table_count(); i-- > 0;)
    if (cw_table_flag(cw_table_at(i)) == CW_HASH_TEMPLATES) return i >= 3 ? (long)i : -1;
  return -1;
}

}  // namespace

std::vector<std::string> Plugin::words(int word_class) const {
  std::vector<std::string> out;
  long t = template_table_index();
  if (t < 0 || word_class < 0 || word_class > 2) return out;
  cw_table table = cw_table_at((size_t)(t - 3 + word_class));
  for (size_t k = 0; k < cw_table_size(table); k++) {
    size_t n = 0;
    const char* key = cw_table_key(table, k, &n);
    if (key != nullptr) out.emplace_back(key, n);
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> Plugin::templates() const {
  std::vector<std::pair<std::string, std::string>> out;
  long t = template_table_index();
  if (t < 0) return out;
  cw_table table = cw_table_at((size_t)t);
  for (size_t k = 0; k < cw_table_size(table); k++) {
    size_t n = 0;
    const char* key = cw_table_key(table, k, &n);
    if (key == nullptr) continue;
    std::string name(key, n);
    if (name.find('\0') != std::string::npos) continue;  // no NUL-terminated lookup for it
    cw_slot slot = cw_table_find(table, name.c_str());
    const char* text = slot != nullptr ? (const char*)*slot : nullptr;
    if (text != nullptr) out.emplace_back(name, text);
  }
  return out;
}

long Plugin::category_colour(int category) const {
  return (long)cw_category_colour(category);
}

void Plugin::set_state_flag(long value) {
  cw_set_state_flag((cw_long)value);
}

// }====== Plugin

// {====== Document

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

void Document::colour_begin() {
  stream_next_ = 0;
  stream_held_from_ = 0;
  stream_held_.clear();
  stream_starts_.clear();
  stream_distrusted_ = false;
}

// Each run starts where the last one stopped: at a line start, or on the
// '/' that closed a block comment, where the whole-buffer colouring is in
// its plain state too. The plug-in may still back up from there to what it
// takes for the opener of an enclosing comment. From a closing '/' that is
// the comment just closed, coloured again as it was; from a line start it
// is an opener the whole-buffer run saw inside a string or a line comment,
// and the run's colours cannot be trusted. Then, and whenever a backed-up
// run changes colours already handed out, its colours go and the text is
// coloured again from the last line start where a trusted run began, at or
// before where the distrusted one went: a run from there backs up over
// nothing, as before, and goes on the way the whole-buffer run goes. It
// runs on for twice the lines it goes back over, so that the runs after it
// start out of the misleading opener's reach, or the next distrust goes
// back twice as far: the work stays linear in the text.
bool Document::colour_more(long lines, size_t* final_end, std::string* error) {
  select();
  size_t n = size();
  if (stream_next_ >= n) {
    *final_end = n;
    return true;
  }
  if (lines < 1) lines = 1;
  bool on_closer = stream_next_ > 0 && cw_char_at((cw_long)stream_next_ - 1) != '\n';
  cw_clear_runs();
  cw_set_scan_pos((cw_long)stream_next_);
  std::string count = std::to_string(lines);
  const char* argv[] = {count.c_str()};
  if (!call_plugin("_wyn_language_colors", 1, argv, nullptr, error)) return false;
  long end = (long)cw_scan_pos();
  cw_long low = cw_colour_low();  // where the run's first colour went
  cw_clear_runs();
  bool trusted = (size_t)end > stream_next_;
  if (trusted && low >= 0 && (size_t)low < stream_next_) {
    trusted = on_closer && (size_t)low >= stream_held_from_;
    if (trusted) {
      std::vector<signed char> now(stream_next_ - (size_t)low);
      categories((size_t)low, now.size(), now.data());
      trusted = std::equal(now.begin(), now.end(),
                           stream_held_.begin() + (ptrdiff_t)((size_t)low - stream_held_from_));
    }
  }
  if (!trusted) {
    stream_distrusted_ = true;
    size_t went = low >= 0 && (size_t)low < stream_next_ ? (size_t)low : stream_next_;
    auto after = std::upper_bound(stream_starts_.begin(), stream_starts_.end(), went);
    size_t start = after == stream_starts_.begin() ? 0 : *(after - 1);
    cw_long first = cw_line_of((cw_long)start);
    cw_long last = cw_line_of((cw_long)std::max((size_t)end, stream_next_));
    ColorClear(first, last, CW_FIRST_COLUMN, CW_LAST_COLUMN, CW_CLEAR_FLAG);  // whole lines
    long again = std::min<long>(2L * (last - first + 1) + lines, (long)cw_line_count() + 1);
    end = colour_lines((long)start, again, error);
    if (end < 0) return false;
    stream_held_.clear();  // nothing to back up over unchanged
    stream_held_from_ = stream_next_ = (size_t)end;
    *final_end = stream_next_;
    return true;
  }
  if (!on_closer) stream_starts_.push_back(stream_next_);
  stream_held_from_ = stream_next_;
  // The next run can back up over these colours unchanged only from the
  // closer of a comment; from a line start any back-up is distrusted.
  bool ends_on_closer = cw_char_at((cw_long)end - 1) != '\n';
  stream_held_.resize(ends_on_closer ? (size_t)end - stream_next_ : 0);
  categories(stream_next_, stream_held_.size(), stream_held_.data());
  stream_next_ = (size_t)end;
  *final_end = stream_next_;
  return true;
}

bool Document::distrusted_a_run() const {
  return stream_distrusted_;
}

void Document::categories(size_t from, size_t n, signed char* out) const {
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
    for (size_t i = 0; i < cw_mark_count(); i++) {
      cw_mark m = cw_mark_at(i);
      LineSpan span;
      span.first = (long)m.first;
      span.last = (long)m.last;
      marks->push_back(span);
    }
  }
  if (message != nullptr) {
    const char* text = cw_last_message();
    *message = text != nullptr ? text : "";
  }
  return true;
}

// }====== Document

}  // namespace wyn
