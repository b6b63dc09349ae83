// wyn: showing the plug-in's colours, in a terminal (render_terminal.cpp)
// and on an HTML page (render_html.cpp); render_view.cpp holds what both
// share. The commands that show a script include this.
#ifndef WYN_RENDER_H
#define WYN_RENDER_H

#include "tool.h"

#include <string.h>

#include <memory>

// {====== render_view.cpp: the view, and lines cut into pieces
// Takes the display options (--theme, -n, --tab-width, --legend,
// --encoding, --html-fragment) for every later rendering. Prints the
// problem and answers false on a bad one.
bool view_setup(const Options& opt);
class Decoder;
// A line longer than a piece goes in several pieces, each rendered as it
// comes: what one leaves for the next, so that the line reads exactly as
// when rendered at once. The caller says for each piece whether more of
// its last line follows; the rest is the renderer's.
struct CutLine {
  bool more = false;    // the piece ends inside a line the next one goes on with
  bool inside = false;  // the next piece starts inside a line: no number, no anchor
  int open = CAT_NONE;  // the category still showing there
  int column = 0;       // the terminal column reached there, for tabs
  // The end of the last piece, rendered with the next: part of a
  // character, or a CR that may be half of a CR LF; and its categories.
  std::string held;
  std::vector<signed char> held_cats;
  // The text's decoder, kept from piece to piece for its shift state; a
  // piece of line 1 starts a new text.
  std::shared_ptr<Decoder> decoder;
};
// }======

// {====== render_terminal.cpp
// A script's bytes as a terminal shows them: decoded for display, numbered
// and with tabs expanded as asked, coloured when ansi (cats then holds one
// category per byte), control characters shown as ^X when they would reach
// a terminal, in the locale's charset.
// Long scripts go a piece at a time: each piece whole lines, first_line
// the number of its first, encoding what the whole script decodes as
// (display_encoding_of) unless --encoding names one; a line longer than a
// piece goes in several, with cut carried from one to the next.
void render_terminal(const std::string& bytes, const std::vector<signed char>& cats, bool ansi,
                     std::string* out, long first_line = 1, const char* encoding = nullptr,
                     CutLine* cut = nullptr);
void render_ansi(const std::string& bytes, const std::vector<signed char>& cats, std::string* out);
// One line naming each category in its colour (--legend).
std::string terminal_legend(bool ansi);
bool use_colour(ColourWhen when);
// }======

// {====== render_html.cpp
// The editor's colour value (0x00BBGGRR) as a page writes it, #rrggbb.
std::string editor_colour_hex(long colour);
// A page's sections as they are made, in many small pieces: room is
// taken without filling it first (which would cost a pass over every byte
// of the page), and only what was written is ever read.
class PageBuffer {
 public:
  void put(const char* s, size_t n) {
    if (n == 0) return;
    if (capacity_ - size_ < n) grow(n);
    memcpy(bytes_.get() + size_, s, n);
    size_ += n;
  }
  void put(const char* s) { put(s, strlen(s)); }
  void put(const std::string& s) { put(s.data(), s.size()); }
  // About n more bytes are to come: room for them at once if there is
  // memory for it, else it is taken as they come.
  void expect(size_t n);
  const char* data() const { return bytes_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Empty again; the room stays for what comes next.
  void clear() { size_ = 0; }

 private:
  void grow(size_t n);
  std::unique_ptr<char[]> bytes_;  // [0, size_) written, [size_, capacity_) not yet
  size_t size_ = 0, capacity_ = 0;
};

// A standalone HTML page, one section per file, in the editor's colours made
// readable on a light and a dark background; the title names the files and
// a page of several has a table of contents. Every line is an anchor: #L12,
// or #f2-L12 for the second file. With --html-fragment only the <pre>s.
void html_begin(std::string* out, const std::vector<std::string>& names);
void html_begin(std::string* out, const std::string& name);
void html_section(PageBuffer* out, const std::string& name, const std::string& bytes,
                  const std::vector<signed char>& cats);
// html_section a piece at a time, as render_terminal takes them.
void html_section_open(PageBuffer* out, const std::string& name);
void html_section_lines(PageBuffer* out, const std::string& bytes,
                        const std::vector<signed char>& cats, long first_line, const char* encoding,
                        CutLine* cut = nullptr);
void html_section_close(PageBuffer* out);
void html_end(std::string* out);
// The fragments' style sheet alone (--css), every rule under .wyn; the
// standalone page carries it whole.
std::string html_style_sheet();
// Writes a page to path, "-" for stdout. Prints the problem; false on it.
bool html_write(const char* path, const PageBuffer& page);
// }======

#endif
