// The view every rendering reads (set once from the command line), each
// category's look in a terminal and on a page, and the carrying of a line
// cut into pieces from one piece to the next.
#include "render_view.h"

#include <assert.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "display.h"
#include "encoding.h"

// ORDER: wyn::Category. The terminal colours are fixed xterm-256 indices,
// whose values every terminal shares, so their contrast is known. Ratios
// (WCAG) on black for the dark theme and on white for the light one; both
// need 4.5 at least:
//   comment    114 #87d787 12.1     22 #005f00  8.0
//   constant   213 #ff87ff 10.2    127 #af00af  6.1
//   keyword    111 #87afff  9.6     19 #0000af 13.0
//   function    80 #5fd7d7 12.2     24 #005f87  7.0
//   string     222 #ffd787 15.3     94 #875f00  5.7
//   number     209 #ff875f  8.9    124 #af0000  7.4
//   operator   253 #dadada 15.0    236 #303030 13.2
//   line no.   247 #9e9e9e  7.8    241 #626262  6.1 (render_terminal.cpp)
const Look looks[CAT_COUNT] = {
    {"wyn-comment", "comment", 114, 22, false},
    {"wyn-constant", "constant or system variable", 213, 127, false},
    {"wyn-keyword", "reserved word", 111, 19, true},
    {"wyn-function", "built-in function", 80, 24, false},
    {"wyn-string", "string", 222, 94, false},
    {"wyn-number", "number", 209, 124, false},
    {"wyn-operator", "operator", 253, 236, false},
};

View view;

bool view_setup(const Options& opt) {
  // UTF-16 is read as UTF-8, and shown so.
  bool utf16 = is_utf16_name(opt.encoding);
  if (opt.encoding != nullptr && !utf16) {
    std::string problem;
    if (!display_encoding_known(opt.encoding, &problem)) {
      fprintf(stderr, "wyn: %s\n", problem.c_str());
      return false;
    }
  }
  encoding_choose(opt.encoding);
  view.encoding = utf16 ? "UTF-8" : opt.encoding;
  view.line_numbers = opt.line_numbers;
  view.tab_width = opt.tab_width;
  view.fragment = opt.html_fragment;
  view.stdout_terminal = isatty(1);
  if (opt.theme != THEME_AUTO) {
    view.light = opt.theme == THEME_LIGHT;
  } else {
    // COLORFGBG="fg;bg" (some terminals set it): white or light grey
    // behind the text asks for the light theme.
    const char* fgbg = getenv("COLORFGBG");
    const char* bg = fgbg != nullptr ? strrchr(fgbg, ';') : nullptr;
    view.light = bg != nullptr && (!strcmp(bg + 1, "7") || !strcmp(bg + 1, "15"));
  }
  return true;
}

Piece::Piece(const CutLine& cut, const std::string& bytes, const std::vector<signed char>& cats)
    : bytes_(&bytes), cats_(&cats) {
  if (cut.held.empty()) return;
  joined_ = cut.held + bytes;
  if (cats.size() == bytes.size() && cut.held_cats.size() == cut.held.size()) {
    joined_cats_ = cut.held_cats;
    joined_cats_.insert(joined_cats_.end(), cats.begin(), cats.end());
  }
  bytes_ = &joined_;
  cats_ = &joined_cats_;
}

Decoder& decoder_for(CutLine* cut, const char* encoding, long first_line) {
  if (cut->decoder == nullptr || (first_line == 1 && !cut->inside))
    cut->decoder = std::make_shared<Decoder>(encoding);
  return *cut->decoder;
}

void piece_done(CutLine* cut, const Piece& piece, size_t took, bool at_line_start, int open,
                int column) {
  if (!cut->more) {
    cut->held.clear();
    cut->held_cats.clear();
    cut->inside = false;
    cut->open = CAT_NONE;
    cut->column = 0;
    return;
  }
  const std::string& bytes = piece.bytes();
  const std::vector<signed char>& cats = piece.cats();
  assert(took <= bytes.size());
  cut->held.assign(bytes, took, std::string::npos);
  if (cats.size() == bytes.size())
    cut->held_cats.assign(cats.begin() + (ptrdiff_t)took, cats.end());
  else
    cut->held_cats.clear();
  cut->inside = !at_line_start;
  cut->open = open;
  cut->column = column;
}

size_t undecoded_part(const CutLine& cut, const std::string& bytes) {
  size_t n = bytes.size();
  return cut.more && n > 0 && bytes[n - 1] == '\r' ? n - 1 : n;
}
