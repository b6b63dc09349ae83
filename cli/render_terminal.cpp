// A script as a terminal shows it: decoded for display and converted to
// the locale's charset, numbered and with tabs expanded as asked, coloured
// with ANSI escapes in a dark or a light theme, and control characters
// shown as ^X so a script cannot act on the terminal; or plain text for a
// pipe or a file. The categories stay the plug-in's.
#include "render_view.h"

#include <assert.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "display.h"

namespace {

// Line numbers' colour: dark theme, light theme (see the table of looks).
const int line_number_look[2] = {247, 241};

void append_sgr(std::string* out, int colour, bool bold) {
  char sgr[24];  // one per token: no string of its own
  int n = 0;
  for (const char* p = bold ? "\x1b[1;38;5;" : "\x1b[38;5;"; *p != 0; p++) sgr[n++] = *p;
  if (colour >= 100) sgr[n++] = (char)('0' + colour / 100);
  if (colour >= 10) sgr[n++] = (char)('0' + colour / 10 % 10);
  sgr[n++] = (char)('0' + colour % 10);
  sgr[n++] = 'm';
  out->append(sgr, (size_t)n);
}

// A control character a terminal would act on, written as ^X instead (a C1
// control, U+0080..U+009F, as M-^X): a script must not move the cursor or
// change the terminal's settings, and an 8-bit charset would turn U+009B
// back into a control sequence's opener. Answers how many bytes of text it
// stood for, 0 when text[i] starts no such character.
size_t append_visible_control(std::string* out, const std::string& text, size_t i) {
  assert(i < text.size());
  unsigned char c = (unsigned char)text[i];
  if (c == '\t' || c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) return 0;
  if (c < 0x20 || c == 0x7F) {
    *out += '^';
    *out += (char)(c ^ 0x40);
    return 1;
  }
  unsigned char next = i + 1 < text.size() ? (unsigned char)text[i + 1] : 0;
  if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
    *out += "M-^";
    *out += (char)((next - 0x80) ^ 0x40);
    return 2;
  }
  return 0;
}

}  // namespace

bool use_colour(ColourWhen when) {
  if (when != COLOUR_AUTO) return when == COLOUR_ALWAYS;
  const char* term = getenv("TERM");
  const char* no_colour = getenv("NO_COLOR");
  return isatty(1) && (term == nullptr || strcmp(term, "dumb") != 0) &&
         (no_colour == nullptr || no_colour[0] == 0);
}

void render_terminal(const std::string& bytes, const std::vector<signed char>& cats, bool ansi,
                     std::string* out, long first_line, const char* encoding, CutLine* cut) {
  assert(first_line >= 1);
  CutLine whole;  // whole lines: nothing goes on into another piece
  if (cut == nullptr) cut = &whole;
  // A terminal shows characters: the text is decoded and goes out in the
  // locale's charset. Plain text for a pipe or a file stays the script's
  // own bytes unless --encoding asks for it decoded (to UTF-8), so nothing
  // is lost to a locale that lacks a character. ASCII text in an encoding
  // that keeps ASCII decodes to itself, and every charset takes it as it
  // is: it is read in place.
  static const std::vector<signed char> none;
  Piece piece(*cut, bytes, ansi ? cats : none);
  const std::string& source = piece.bytes();
  bool terminal = ansi || view.stdout_terminal;
  const char* shown_as = view.encoding != nullptr ? view.encoding : encoding;
  bool decode = terminal || view.encoding != nullptr;
  bool as_is = is_ascii(source) && display_keeps_ascii(shown_as);
  Shown shown;
  size_t took = source.size();
  if (decode && !as_is)
    took = decoder_for(cut, shown_as, first_line).decode(source, piece.cats(), cut->more, &shown);
  else if (terminal)
    took = undecoded_part(*cut, source);
  const std::string& text = decode && !as_is ? shown.text : source;
  const signed char* by = nullptr;  // one category per byte of text, or none
  if (ansi && as_is && piece.cats().size() == source.size()) by = piece.cats().data();
  if (ansi && !as_is && !shown.cats.empty()) by = shown.cats.data();
  bool guard = terminal;  // control characters would reach a terminal
  bool convert = terminal && !as_is;
  int theme = view.light ? 1 : 0;
  static thread_local std::string converted;  // kept for its room
  std::string& part = convert ? converted : *out;
  if (convert) part.clear();
  size_t n = decode && !as_is ? text.size() : took;
  part.reserve(part.size() + n + n / 2);
  int open = cut->inside ? cut->open : (int)CAT_NONE;
  long line = cut->inside ? first_line : first_line - 1;
  int column = cut->inside ? cut->column : 0;
  bool columns = view.tab_width > 0;  // counted only where tabs need them
  const unsigned char* p = (const unsigned char*)text.data();
  for (size_t i = 0; i < n; i++) {
    char c = text[i];
    if (view.line_numbers && (i == 0 ? !cut->inside : text[i - 1] == '\n')) {
      char number[24];
      snprintf(number, sizeof number, "%6ld  ", ++line);
      if (ansi) append_sgr(&part, line_number_look[theme], false);
      part += number;
      if (ansi) part += "\x1b[0m";
      open = CAT_NONE;
    }
    // Colours close at line ends, so each line stands alone in a pager.
    int want = by == nullptr || c == '\n' || c == '\r' ? (int)CAT_NONE : by[i];
    if (want != open) {
      if (open != CAT_NONE) part += "\x1b[0m";
      if (want != CAT_NONE)
        append_sgr(&part, view.light ? looks[want].light : looks[want].dark, looks[want].bold);
      open = want;
    }
    if (c == '\n') {
      part += c;
      column = 0;
      continue;
    }
    if (c == '\t' && columns) {
      do part += ' ';
      while (++column % view.tab_width != 0);
      continue;
    }
    if (guard) {
      size_t used = append_visible_control(&part, text, i);
      if (used > 0) {
        column += used == 1 ? 2 : 4;
        i += used - 1;
        continue;
      }
    }
    // Printable bytes of one category up to the line's end go at once.
    size_t j = i + 1;
    if (by == nullptr)
      while (j < n && p[j] >= 0x20 && p[j] != 0x7F && p[j] != 0xC2) j++;
    else
      while (j < n && p[j] >= 0x20 && p[j] != 0x7F && p[j] != 0xC2 && by[j] == want) j++;
    part.append(text, i, j - i);
    if (columns)
      for (size_t k = i; k < j; k++)
        if ((p[k] & 0xC0) != 0x80) column++;  // one column a character
    i = j - 1;
  }
  bool at_line_start = n > 0 ? text[n - 1] == '\n' : !cut->inside;
  if (open != CAT_NONE && !cut->more) {
    part += "\x1b[0m";
    open = CAT_NONE;
  }
  piece_done(cut, piece, took, at_line_start, open, column);
  if (convert) {
    to_terminal_charset(&part);
    *out += part;
  }
}

void render_ansi(const std::string& text, const std::vector<signed char>& cats, std::string* out) {
  render_terminal(text, cats, true, out);
}

std::string terminal_legend(bool ansi) {
  std::string out;
  for (int k = 0; k < CAT_COUNT; k++) {
    if (k > 0) out += "  ";
    if (ansi) append_sgr(&out, view.light ? looks[k].light : looks[k].dark, looks[k].bold);
    out += looks[k].legend;
    if (ansi) out += "\x1b[0m";
  }
  return out + "\n";
}
