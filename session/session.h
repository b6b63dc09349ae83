// The one layer that knows how to load the plug-in into the stand-in editor
// and drive it: start-up, configuration, documents coloured whole or in
// counted runs, editing aids at a position, edits re-coloured as the editor
// re-colours them. Front ends (the wyn tool, the language server, the
// Windows tool) parse their input, call this and render what it answers.
//
// A call that can fail answers false and, when error is not null, says why
// in *error. Nothing else is thrown across this header but std::bad_alloc,
// as the standard containers throw it: when memory runs out part way
// through an action (the editor refused an edit, a record or a document
// for lack of it), so that a result with a piece missing is never taken
// for a whole one. The calls that take a whole text answer false instead
// and leave the document as it was.
//
// The stand-in is process-wide: one Plugin per process, any number of
// Documents. Every Document call that reads or drives the editor makes its
// document the editor's current one first, so documents never see each
// other's text, colours, cursor or records.
#ifndef WYN_SESSION_H
#define WYN_SESSION_H

#include <stddef.h>

#include <string>
#include <utility>
#include <vector>

namespace wyn {

// Lexical categories, in the order of the editor's category colours.
enum Category : signed char {
  CAT_NONE = -1,  // no colour, or a colour that is no category's
  CAT_COMMENT,
  CAT_CONSTANT,  // constants and system variables (word class 0)
  CAT_KEYWORD,   // reserved words (word class 1)
  CAT_FUNCTION,  // built-in functions (word class 2)
  CAT_STRING,
  CAT_NUMBER,
  CAT_OPERATOR,
  CAT_COUNT
};

// A range of lines, both counted from 1 and both included.
struct LineSpan {
  long first = 0, last = 0;
};

// One of the editor's hash tables as start-up left it.
struct TableInfo {
  size_t entries = 0;
  long buckets = 0;
};

class Plugin {
 public:
  Plugin() = default;
  ~Plugin();  // unloads the module
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // The plug-in library beside the running executable.
  static std::string default_path();

  // Loads the module as the editor does; its start-up runs. A module
  // already loaded is unloaded first.
  bool load(const std::string& path, std::string* error);
  bool loaded() const { return loaded_; }

  // The configuration entry points, called by their registered names.
  bool add_keyword(const std::string& word, long word_class, std::string* error);
  bool assign_template(const std::string& name, const std::string& text, std::string* error);
  bool set_hash_size(long word_class, long size, std::string* error);
  bool set_comment_introducer(const std::string& text, std::string* error);

  // Any registered function, arguments as the editor passes them (decimal
  // numbers or strings, as the prototype says); *result may be null.
  bool call(const char* name, int argc, const char* const* argv, long* result, std::string* error);

  // What start-up and configuration registered and built.
  std::vector<std::string> functions() const;   // prototypes, in order
  std::vector<std::string> extensions() const;  // bound extensions
  std::vector<TableInfo> tables() const;        // in order of creation
  unsigned long long host_calls() const;        // host operations called so far

  // The vocabulary the plug-in built and was given: the words of a word
  // class (0, 1 or 2) and the templates (name, text), in the order they
  // went into the tables. Empty before start-up.
  std::vector<std::string> words(int word_class) const;
  std::vector<std::pair<std::string, std::string>> templates() const;

  // The editor's colour for a category (0x00BBGGRR), as the plug-in asks it.
  long category_colour(int category) const;
  // What the editor's ScanStateFlag answers from now on (0 by default).
  void set_state_flag(long value);

 private:
  bool loaded_ = false;
};

class Document {
 public:
  // What one edit did. handed is the range given to the re-colouring,
  // redisplay the ranges the plug-in then asked the editor to redisplay.
  struct Edit {
    bool done = false;     // the action happened (the plug-in did not decline)
    bool changed = false;  // the text changed, so handed and redisplay are set
    LineSpan handed{};
    std::vector<LineSpan> redisplay;
  };

  // Not coloured yet. Throws std::bad_alloc when the editor has no room
  // for one more document or for its text.
  explicit Document(const std::string& bytes = std::string());
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // Replaces the whole text; colours, cursor and records start afresh.
  // False, with the document as it was, when the editor has no room for it.
  [[nodiscard]] bool set_text(const std::string& bytes);
  // Adds bytes at the end, as a file is read in a piece at a time, so its
  // text is never held twice: no edit is recorded and nothing is coloured.
  // False, adding nothing, when the editor has no room for them.
  [[nodiscard]] bool append(const char* bytes, size_t n);
  // Says that n bytes in all are about to be appended (a file's size), so
  // that they are held without slack.
  void expect(size_t n);

  std::string text() const;
  std::string text(size_t from, size_t n) const;  // clamped to the text
  size_t size() const;
  long line_count() const;            // one more than there are line feeds
  long line_start(long line) const;   // position of its first character; -1 if none
  long line_length(long line) const;  // without its line break; 0 if none
  long line_of(long pos) const;       // line holding pos (clamped to the text)
  // Position of LINE:COL, or -1 outside the text; the column may stand one
  // past the line's last character.
  long position(long line, long col) const;

  // Colours the whole text, as the editor does when it opens a file.
  bool colour_whole(std::string* error = nullptr);
  // Colours count lines from from_pos with a counted run; answers where the
  // scan position stopped, or -1 when the plug-in cannot be called.
  long colour_lines(long from_pos, long count, std::string* error = nullptr);
  // Colours the text from its start in counted runs of `lines` lines, as
  // the editor may while it shows a long file: after colour_begin, each
  // colour_more colours one more run and stores in *final_end how far the
  // colours are those a whole-buffer colouring gives; they stay so. Where a
  // run could differ, it is coloured again from further back in a longer
  // run (distrusted_a_run says so).
  void colour_begin();
  bool colour_more(long lines, size_t* final_end, std::string* error = nullptr);
  bool distrusted_a_run() const;
  // Category of each of n characters from from; past the end: CAT_NONE.
  void categories(size_t from, size_t n, signed char* out) const;
  std::vector<signed char> categories() const;  // the whole text

  // Replaces n_del bytes at pos by text (both clamped to the buffer), then
  // re-colours the touched lines as the editor does. The cursor goes to the
  // end of the new text.
  Edit replace(long pos, long n_del, const std::string& text);

  long cursor() const;
  void set_cursor(long pos);  // clamped to the text

  // Editing aids; each re-colours what it changed as after an edit. They
  // answer false only when the plug-in cannot be called.
  // The expansion key at pos: steps back to the start of the word pos is in
  // or has just passed; the cursor returns to pos when nothing expands.
  bool expand(long pos, Edit* edit, std::string* error);
  // The plug-in's smart indent alone, at pos.
  bool indent(long pos, Edit* edit, std::string* error);
  // Keys at the cursor: a character typed ('\n' is Enter), and Enter (smart
  // indent first; when it declines, a plain new line).
  bool type(char c, Edit* edit, std::string* error);
  bool enter(Edit* edit, std::string* error);

  // The routine list: the marked line ranges, and the plug-in's message
  // (empty when it showed none).
  bool routines(std::vector<LineSpan>* marks, std::string* message, std::string* error);

 private:
  unsigned long id_ = 0;  // the stand-in's document
  // Counted-run colouring: where the next run starts, the categories
  // the last run gave from stream_held_from_ on when it ended on the closer
  // of a comment, and where each trusted run started.
  size_t stream_next_ = 0, stream_held_from_ = 0;
  std::vector<signed char> stream_held_;
  std::vector<size_t> stream_starts_;
  bool stream_distrusted_ = false;
  void select() const;
};

}  // namespace wyn

#endif
