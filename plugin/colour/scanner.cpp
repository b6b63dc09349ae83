/*
** The colouring scanner: one forward pass over a run of lines of the current
** buffer, colouring comments, strings, numbers, operators and keywords.
** It reads the text only through the host's scan position.
*/
#include "../frame/exports.h"
#include "../frame/module.h"
#include "chars.h"

cw_long lines_coloured = 0; /* line ends the last scan passed; written here, read by update.cpp */

/* Bytes of a word kept for the lookup; the host's MemAlloc gives the buffer. */
enum { WORD_HELD = 100 };

/* {====== token steps ===================================================== */

/* What one scan carries: the budget, the counter and the colours read once. */
struct scan {
  cw_long budget; /* line ends still allowed; stops the loop at 0 */
  cw_long lines;  /* line ends passed, stored in lines_coloured */
  cw_long comments, strings, numbers, operators;
  cw_long word_colour[WYN_CLASS_COUNT]; /* ORDER: wyn_keyword_tables */
  char* word;                           /* the 100-byte word buffer */
};

/* The character before the scan position, without moving; CW_NO_CHAR at
** the start. */
static cw_long look_back(void) {
  cw_long p = ScanPrev();
  if (p != CW_NO_CHAR) ScanNext();
  return p;
}

/* Colours the characters from s up to the scan position, which is kept. */
static void colour_from(cw_long s, cw_long colour) {
  cw_long e = ScanGetPos();
  ScanSetPos(s);
  ColorRun(colour, e - s);
  ScanSetPos(e);
}

/*
** A string literal opened by quote q at the scan position. Ends after its
** closing quote, or before the line end or end of text that leaves it open.
** Only the literal's own quote and the backslash are escaped; a backslash
** before a line end does not carry the literal on. Returns the next character.
*/
static cw_long scan_string(const scan* sc, cw_long q) {
  cw_long s = ScanGetPos();
  cw_long ch;
  for (;;) {
    ch = ScanNext();
    if (ch == WYN_CH_BACKSLASH) {
      ch = ScanNext();
      if (ch == q || ch == WYN_CH_BACKSLASH) continue;
    }
    if (ch == CW_NO_CHAR || ch == WYN_CH_LF) break;
    if (ch == q) {
      ch = ScanNext();
      break;
    }
  }
  if (sc->strings != CW_NO_COLOUR) colour_from(s, sc->strings);
  return ch;
}

/*
** A number: a decimal digit, then hexadecimal digits and dots, with a lower
** case 'x' allowed second. Coloured only after a blank or punctuation other
** than '_', and only when no '_' follows; an 'l' or 'L' suffix then joins it.
*/
static cw_long scan_number(const scan* sc) {
  cw_long p = look_back();
  cw_long s = ScanGetPos();
  bool first = true; /* only the second character may be 'x' */
  cw_long ch = ScanNext();
  while ((wyn_char_class(ch) & WYN_CC_HEX) || ch == '.' || (ch == 'x' && first)) {
    first = false;
    ch = ScanNext();
  }
  bool after_blank =
      (wyn_char_class(p) & WYN_CC_BLANK) || ((wyn_char_class(p) & WYN_CC_PUNCT) && p != '_');
  if (!after_blank || ch == '_') return ch;
  if (ch == 'l' || ch == 'L') ch = ScanNext();
  colour_from(s, sc->numbers);
  return ch;
}

/*
** A word starting with ch. Its first 100 bytes are looked up, class 0 first,
** and only when a delimiter stands before it; a hit colours the whole word.
*/
static cw_long scan_word(const scan* sc, cw_long ch) {
  cw_long p = look_back();
  cw_long s = ScanGetPos();
  char* word = sc->word;
  cw_long n = 0;
  do {
    if (n < WORD_HELD) word[n++] = (char)(ch & 0xFF);
    ch = ScanNext();
  } while (wyn_char_class(ch) & WYN_CC_WORD);
  if (!(wyn_char_class(p) & WYN_CC_DELIM)) return ch;
  for (int c = 0; c < WYN_CLASS_COUNT; c++) {
    if (HashFind(wyn_keyword_tables[c], word, n)) {
      colour_from(s, sc->word_colour[c]);
      break;
    }
  }
  return ch;
}

/*
** A line comment whose "//" begins at s, the scan position on its second
** slash. Colours it up to its line break and moves to the next line.
*/
static cw_long scan_line_comment(scan* sc, cw_long s) {
  cw_long r = ScanLineDown(1); /* length of the line break crossed */
  sc->budget--;
  sc->lines++;
  cw_long e = ScanGetPos();
  ScanSetPos(s);
  if (e - s - r > 0) ColorRun(sc->comments, e - s - r); /* never empty: "//" */
  ScanSetPos(e);
  return ScanChar();
}

/*
** A block comment whose opener begins at s, the scan position on its '*'.
** Runs to its closer whatever the budget, counting the line ends inside;
** the closing '/' stays the current character. The '/' right after the
** opener already closes it, since the opener's '*' stands before it.
*/
static cw_long scan_block_comment(scan* sc, cw_long s) {
  cw_long ch = ScanNext();
  for (;;) {
    if (ch == CW_NO_CHAR) break;
    if (ch == WYN_CH_LF) {
      sc->budget--;
      sc->lines++;
    }
    if (ch == WYN_CH_STAR) {
      ch = ScanNext();
      if (ch == WYN_CH_SLASH) break;
      continue; /* examine this character without reading on */
    }
    if (ch == WYN_CH_SLASH && look_back() == WYN_CH_STAR) break;
    ch = ScanNext();
  }
  cw_long e = ScanGetPos();
  ScanSetPos(s);
  ColorRun(sc->comments, ch == CW_NO_CHAR ? e - s : e - s + 1);
  ScanSetPos(e);
  return ScanChar();
}

/* Colours an operator character alone, except the '/' that closes a comment. */
static cw_long scan_operator(const scan* sc, cw_long ch) {
  cw_long p = look_back();
  if (!(ch == WYN_CH_SLASH && p == WYN_CH_STAR)) ColorRun(sc->operators, 1);
  return ScanNext();
}

/* }====== */

/* {====== the scanner ===================================================== */

/*
** Colours from the scan position until count line ends are passed, backing
** up first to the start of a comment that encloses the position; count
** CW_ALL_LINES colours the whole buffer. Leaves the scan position where the
** scan stopped and lines_coloured holding the line ends passed. With no word
** buffer from the host nothing is coloured and lines_coloured is 0.
*/
void WYNAPI _wyn_language_colors(cw_long count) {
  scan sc;
  sc.comments = ColorOfComments(CW_QUERY);
  sc.word_colour[0] = ColorOfConstants(CW_QUERY);
  sc.word_colour[1] = ColorOfKeywords(CW_QUERY);
  sc.word_colour[2] = ColorOfFunctions(CW_QUERY);
  sc.strings = ColorOfStrings(CW_QUERY);
  sc.numbers = ColorOfNumbers(CW_QUERY);
  sc.operators = ColorOfOperators(CW_QUERY);
  lines_coloured = 0;
  sc.lines = 0;
  sc.word = (char*)MemAlloc(WORD_HELD);
  if (!sc.word) return;

  if (count == CW_ALL_LINES) {
    ScanSetPos(0);
    sc.budget = INT32_MAX;
  } else {
    cw_long b = ScanGetPos();
    cw_long l = ScanLine();
    cw_long f = find_comment_start(b);
    if (f == WYN_NOT_IN_COMMENT) {
      ScanSetPos(b);
      sc.budget = count;
    } else {
      /* Start at the comment's opener; the lines backed over are
      ** added to the budget, which saturates rather than wraps. */
      ScanSetPos(f);
      int64_t widened = (int64_t)count + l - ScanLine();
      if (widened > INT32_MAX) widened = INT32_MAX;
      if (widened < -INT32_MAX) widened = -INT32_MAX;
      sc.budget = (cw_long)widened;
    }
  }

  cw_long ch = ScanChar();
  while (ch != CW_NO_CHAR && sc.budget > 0) {
    if (ch == WYN_CH_LF) {
      sc.budget--;
      sc.lines++;
    }
    unsigned k = wyn_char_class(ch);
    if (!(k & (WYN_CC_QUOTE | WYN_CC_WORD | WYN_CC_OPER))) {
      ch = ScanNext(); /* blanks, brackets, ';', high bytes: passed over */
    } else if (k & WYN_CC_QUOTE) {
      ch = scan_string(&sc, ch);
    } else if ((k & WYN_CC_DIGIT) && sc.numbers != CW_NO_COLOUR) {
      ch = scan_number(&sc);
    } else if (k & WYN_CC_WORD) {
      ch = scan_word(&sc, ch);
    } else if (ch == WYN_CH_SLASH) {
      cw_long s = ScanGetPos();
      ch = ScanNext();
      if (ch == WYN_CH_SLASH) {
        ch = scan_line_comment(&sc, s);
      } else if (ch == WYN_CH_STAR) {
        ch = scan_block_comment(&sc, s);
      } else {
        ch = ScanPrev(); /* back onto the lone '/', an operator */
        ch = scan_operator(&sc, ch);
      }
    } else {
      ch = scan_operator(&sc, ch);
    }
  }

  lines_coloured = sc.lines;
  MemFree(sc.word);
}

/* }====== */
