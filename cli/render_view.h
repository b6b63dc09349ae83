// wyn: what the terminal and the page renderings share: the view the
// command line chose, each category's look, and how a line cut into pieces
// goes on from one piece to the next. Only the renderers include it.
#ifndef WYN_RENDER_VIEW_H
#define WYN_RENDER_VIEW_H

#include "render.h"

struct Look {
  const char* css;     // class name in the page
  const char* legend;  // what the legend calls it
  int dark, light;     // xterm 256-colour index on a dark / a light background
  bool bold;
};
// One per category, in the order of wyn::Category.
extern const Look looks[CAT_COUNT];

// Written by view_setup (the command line), read by every rendering.
struct View {
  bool light = false;         // the light terminal theme
  bool line_numbers = false;  // -n
  int tab_width = 0;          // 0: tabs as they are (8 columns in a page)
  bool fragment = false;      // the page's <pre> only
  bool stdout_terminal = false;
  const char* encoding = nullptr;
  // Written by html_begin, read by html_section: anchors stay unique on a
  // page of several files.
  size_t files = 1, section = 0;
};
extern View view;

// A piece as it is rendered: what the last piece held back, then its own
// bytes; copied only when something was held.
class Piece {
 public:
  Piece(const CutLine& cut, const std::string& bytes, const std::vector<signed char>& cats);
  const std::string& bytes() const { return *bytes_; }
  const std::vector<signed char>& cats() const { return *cats_; }

 private:
  const std::string* bytes_;
  const std::vector<signed char>* cats_;
  std::string joined_;
  std::vector<signed char> joined_cats_;
};

// The decoder for a piece: the text's own, made afresh at its first line.
Decoder& decoder_for(CutLine* cut, const char* encoding, long first_line);

// After a piece of which took bytes were rendered, ending at a line start
// or not: what the next piece goes on from.
void piece_done(CutLine* cut, const Piece& piece, size_t took, bool at_line_start, int open,
                int column);

// How much of an undecoded piece is rendered now: all but a CR at its end
// when more follows, which may be half of a CR LF.
size_t undecoded_part(const CutLine& cut, const std::string& bytes);

#endif
