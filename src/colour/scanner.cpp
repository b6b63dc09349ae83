/*
** The colouring scanner: one forward pass over a run of lines of the current
** buffer, colouring comments, strings, numbers, operators and keywords.
** It reads the text only through the host's scan position.
*/
#include "../frame/exports.h"
#include "../frame/module.h"

cw_long lines_coloured = 0; /* line ends the last scan passed; written here, read by update.cpp */

enum {
  CH_LF = 10,
  CH_QUOTE = 34,
  CH_APOSTROPHE = 39,
  CH_STAR = 42,
  CH_SLASH = 47,
  CH_BACKSLASH = 92,
  CH_NONE = 256,  /* beyond either end of the text */
  WORD_HELD = 100 /* bytes of a word kept for the lookup */
};

/* {====== character classes ============================================== */

/* Plain ASCII, no locale; 128..255 belong to no class, 256 to two. */
enum {
  K_DIGIT = 0x01, /* '0'..'9' */
  K_HEX = 0x02,   /* '0'..'9', 'A'..'F', 'a'..'f' */
  K_WORD = 0x04,  /* letter, digit, '_', '#' */
  K_PUNCT = 0x08, /* printable, not letter, digit or space (has '_', '#') */
  K_BLANK = 0x10, /* may stand before a number: " \t\r\n" and 256 */
  K_DELIM = 0x20, /* may stand before a keyword: " \t\r\n(),=+!&|~^<>" and 256 */
  K_OPER = 0x40,  /* coloured as an operator: ".=+-*%<>!&|^~:/" */
  K_QUOTE = 0x80  /* opens a string: double and single quote */
};

struct class_table {
  unsigned char of[257];
};

static constexpr bool in_set(const char* set, int c) {
  for (; *set; set++)
    if (*set == c) return true;
  return false;
}

static constexpr class_table make_classes(void) {
  class_table t = {};
  for (int c = 0; c < 128; c++) {
    bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z';
    bool digit = c >= '0' && c <= '9';
    unsigned char k = 0;
    if (digit) k |= K_DIGIT;
    if (digit || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')) k |= K_HEX;
    if (upper || lower || digit || c == '_' || c == '#') k |= K_WORD;
    if (c >= 33 && c <= 126 && !upper && !lower && !digit) k |= K_PUNCT;
    if (in_set(" \t\r\n", c)) k |= K_BLANK;
    if (in_set(" \t\r\n(),=+!&|~^<>", c)) k |= K_DELIM;
    if (in_set(".=+-*%<>!&|^~:/", c)) k |= K_OPER;
    if (c == '"' || c == '\'') k |= K_QUOTE;
    t.of[c] = k;
  }
  t.of[CH_NONE] = K_BLANK | K_DELIM; /* the start of the text */
  return t;
}

static constexpr class_table classes = make_classes();

/* Class of a character code; anything the host should never return counts
** as no class rather than reading outside the table. */
static inline unsigned klass(cw_long ch) {
  return (uint32_t)ch <= CH_NONE ? classes.of[ch] : 0u;
}

/* }====== */

/* {====== token steps ===================================================== */

/* What one scan carries: the budget, the counter and the colours read once. */
struct scan {
  cw_long budget; /* line ends still allowed; stops the loop at 0 */
  cw_long lines;  /* line ends passed, stored in lines_coloured */
  cw_long comments, strings, numbers, operators;
  cw_long word_colour[WYN_CLASS_COUNT]; /* ORDER: wyn_keyword_tables */
  char* word;                           /* the 100-byte word buffer */
};

/* The character before the scan position, without moving; 256 at the start. */
static cw_long look_back(void) {
  cw_long p = ScanPrev();
  if (p != CH_NONE) ScanNext();
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
    if (ch == CH_BACKSLASH) {
      ch = ScanNext();
      if (ch == q || ch == CH_BACKSLASH) continue;
    }
    if (ch == CH_NONE || ch == CH_LF) break;
    if (ch == q) {
      ch = ScanNext();
      break;
    }
  }
  if (sc->strings != 0) colour_from(s, sc->strings);
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
  while ((klass(ch) & K_HEX) || ch == '.' || (ch == 'x' && first)) {
    first = false;
    ch = ScanNext();
  }
  bool after_blank = (klass(p) & K_BLANK) || ((klass(p) & K_PUNCT) && p != '_');
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
  } while (klass(ch) & K_WORD);
  if (!(klass(p) & K_DELIM)) return ch;
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
    if (ch == CH_NONE) break;
    if (ch == CH_LF) {
      sc->budget--;
      sc->lines++;
    }
    if (ch == CH_STAR) {
      ch = ScanNext();
      if (ch == CH_SLASH) break;
      continue; /* examine this character without reading on */
    }
    if (ch == CH_SLASH && look_back() == CH_STAR) break;
    ch = ScanNext();
  }
  cw_long e = ScanGetPos();
  ScanSetPos(s);
  ColorRun(sc->comments, ch == CH_NONE ? e - s : e - s + 1);
  ScanSetPos(e);
  return ScanChar();
}

/* Colours an operator character alone, except the '/' that closes a comment. */
static cw_long scan_operator(const scan* sc, cw_long ch) {
  cw_long p = look_back();
  if (!(ch == CH_SLASH && p == CH_STAR)) ColorRun(sc->operators, 1);
  return ScanNext();
}

/* }====== */

/* {====== the scanner ===================================================== */

/*
** Colours from the scan position until count line ends are passed, backing
** up first to the start of a comment that encloses the position; count -1
** colours the whole buffer. Leaves the scan position where the scan stopped
** and lines_coloured holding the line ends passed. With no word buffer from
** the host nothing is coloured and lines_coloured is 0.
*/
void WYNAPI _wyn_language_colors(cw_long count) {
  scan sc;
  sc.comments = ColorOfComments(-1);
  sc.word_colour[0] = ColorOfConstants(-1);
  sc.word_colour[1] = ColorOfKeywords(-1);
  sc.word_colour[2] = ColorOfFunctions(-1);
  sc.strings = ColorOfStrings(-1);
  sc.numbers = ColorOfNumbers(-1);
  sc.operators = ColorOfOperators(-1);
  lines_coloured = 0;
  sc.lines = 0;
  sc.word = (char*)MemAlloc(WORD_HELD);
  if (!sc.word) return;

  if (count == -1) {
    ScanSetPos(0);
    sc.budget = 0x7FFFFFFF;
  } else {
    cw_long b = ScanGetPos();
    cw_long l = ScanLine();
    cw_long f = find_comment_start(b);
    if (f == -1) {
      ScanSetPos(b);
      sc.budget = count;
    } else {
      /* Start at the comment's opener; the lines backed over are
            ** added to the budget, which saturates rather than wraps. */
      ScanSetPos(f);
      int64_t widened = (int64_t)count + l - ScanLine();
      if (widened > 0x7FFFFFFF) widened = 0x7FFFFFFF;
      if (widened < -0x7FFFFFFF) widened = -0x7FFFFFFF;
      sc.budget = (cw_long)widened;
    }
  }

  cw_long ch = ScanChar();
  while (ch != CH_NONE && sc.budget > 0) {
    if (ch == CH_LF) {
      sc.budget--;
      sc.lines++;
    }
    unsigned k = klass(ch);
    if (!(k & (K_QUOTE | K_WORD | K_OPER))) {
      ch = ScanNext(); /* blanks, brackets, ';', high bytes: passed over */
    } else if (k & K_QUOTE) {
      ch = scan_string(&sc, ch);
    } else if ((k & K_DIGIT) && sc.numbers != 0) {
      ch = scan_number(&sc);
    } else if (k & K_WORD) {
      ch = scan_word(&sc, ch);
    } else if (ch == CH_SLASH) {
      cw_long s = ScanGetPos();
      ch = ScanNext();
      if (ch == CH_SLASH) {
        ch = scan_line_comment(&sc, s);
      } else if (ch == CH_STAR) {
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
