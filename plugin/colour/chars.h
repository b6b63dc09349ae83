/*
** Character codes and classes as the plug-in sees them: the few codes it
** compares by name, and one ASCII class table over every code the editor's
** character reads can answer, CW_NO_CHAR included. Plain ASCII, no locale:
** codes 128..255 belong to no class. Used by the colouring scanner, the
** comment probes, the range re-colouring and the editing aids.
*/
#ifndef WYN_CHARS_H
#define WYN_CHARS_H

#include "../host/host.h"

/* Codes compared by name. */
enum {
  WYN_CH_TAB = 9,
  WYN_CH_LF = 10, /* ends a line */
  WYN_CH_CR = 13, /* may stand before the LF */
  WYN_CH_QUOTE = 34,
  WYN_CH_APOSTROPHE = 39,
  WYN_CH_STAR = 42,
  WYN_CH_SLASH = 47,
  WYN_CH_BACKSLASH = 92
};

/* Class bits; a code may have several. */
enum {
  WYN_CC_DIGIT = 0x001, /* '0'..'9' */
  WYN_CC_HEX = 0x002,   /* '0'..'9', 'A'..'F', 'a'..'f' */
  WYN_CC_WORD = 0x004,  /* letter, digit, '_', '#' */
  WYN_CC_PUNCT = 0x008, /* printable, not letter, digit or space (has '_', '#') */
  WYN_CC_BLANK = 0x010, /* may stand before a number: " \t\r\n" and CW_NO_CHAR */
  WYN_CC_DELIM = 0x020, /* may stand before a keyword: " \t\r\n(),=+!&|~^<>" and CW_NO_CHAR */
  WYN_CC_OPER = 0x040,  /* coloured as an operator: ".=+-*%<>!&|^~:/" */
  WYN_CC_QUOTE = 0x080, /* opens a string: double and single quote */
  WYN_CC_SPACE = 0x100  /* whitespace: codes 9..13 and 32 */
};

struct wyn_char_classes {
  unsigned short of[CW_NO_CHAR + 1];
};

static constexpr bool wyn_in_set(const char* set, int c) {
  for (; *set; set++)
    if (*set == c) return true;
  return false;
}

static constexpr wyn_char_classes wyn_make_char_classes(void) {
  wyn_char_classes t = {};
  for (int c = 0; c < 128; c++) {
    bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z';
    bool digit = c >= '0' && c <= '9';
    unsigned k = 0;
    if (digit) k |= WYN_CC_DIGIT;
    if (digit || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')) k |= WYN_CC_HEX;
    if (upper || lower || digit || c == '_' || c == '#') k |= WYN_CC_WORD;
    if (c >= 33 && c <= 126 && !upper && !lower && !digit) k |= WYN_CC_PUNCT;
    if (wyn_in_set(" \t\r\n", c)) k |= WYN_CC_BLANK;
    if (wyn_in_set(" \t\r\n(),=+!&|~^<>", c)) k |= WYN_CC_DELIM;
    if (wyn_in_set(".=+-*%<>!&|^~:/", c)) k |= WYN_CC_OPER;
    if (c == '"' || c == '\'') k |= WYN_CC_QUOTE;
    if ((c >= 9 && c <= 13) || c == ' ') k |= WYN_CC_SPACE;
    t.of[c] = (unsigned short)k;
  }
  /* Running off the start of the text stands where a blank would. */
  t.of[CW_NO_CHAR] = WYN_CC_BLANK | WYN_CC_DELIM;
  return t;
}

static constexpr wyn_char_classes wyn_classes = wyn_make_char_classes();

/* Class of a character code; anything the host should never return counts
** as no class rather than reading outside the table. */
static inline unsigned wyn_char_class(cw_long ch) {
  return (uint32_t)ch <= CW_NO_CHAR ? wyn_classes.of[ch] : 0u;
}

#endif /* WYN_CHARS_H */
