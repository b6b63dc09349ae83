/*
** Comment-context probes: is a position inside a comment, and which comment
** delimiter lies nearest before or after the scan position. Each probe reads
** the text afresh through the scan position and gives up after the host's
** line budget; where it leaves the scan position is part of its answer.
*/
#include "../frame/module.h"

/* The only characters the probes care about. */
enum {
  PROBE_LF = 10,
  PROBE_CR = 13,
  PROBE_QUOTE = 34, /* only the double quote delimits a string here */
  PROBE_STAR = 42,
  PROBE_SLASH = 47,
  PROBE_BACKSLASH = 92,
  PROBE_NONE = 256 /* ran off either end of the buffer */
};

/* {====== string skips ==================================================== */

/*
** Entered with the scan position on a double quote, taken for the closing
** quote of a string. Steps back to the opening quote, to the start of the
** buffer, or to the line break that ends the string's first line; a string
** whose line above ends in a backslash (a CR may stand between) goes on up.
** Line ends crossed are added to *crossed when crossed is not null. Returns
** the character on which the skip ends; the caller steps past it.
*/
static cw_long skip_string_back(cw_long* crossed) {
  cw_long ch = ScanPrev();
  for (;;) {
    while (ch != PROBE_QUOTE && ch != PROBE_LF && ch != PROBE_NONE) ch = ScanPrev();
    if (ch == PROBE_LF) {
      if (crossed) *crossed += 1;
      ch = ScanPrev();
    }
    if (ch == PROBE_CR) ch = ScanPrev();
    if (ch != PROBE_BACKSLASH) return ch;
    ch = ScanPrev();
  }
}

/*
** Entered with the scan position on an opening double quote. Steps forward to
** the closing quote, the end of the buffer, or the line end of a line that
** does not end in a backslash; from there it backs onto the character before
** that line end (before its CR for a CR LF), so that the caller's step forward
** lands on the line break and the main loop counts it. Continuation line ends
** are crossed here and not counted.
*/
static cw_long skip_string_forward(void) {
  cw_long ch = ScanNext();
  for (;;) {
    while (ch != PROBE_QUOTE && ch != PROBE_LF && ch != PROBE_NONE) ch = ScanNext();
    int back = 1; /* characters of the line break behind us */
    if (ch == PROBE_LF) {
      ch = ScanPrev();
      if (ch == PROBE_CR) {
        ch = ScanPrev();
        back = 2;
      }
    }
    if (ch != PROBE_BACKSLASH) return ch;
    while (back-- > 0) ScanNext(); /* back onto the LF */
    ch = ScanNext();               /* first character of the next line */
  }
}

/* }====== */

/* {====== probes ========================================================== */

/*
** Is position (-1: the cursor) inside a comment? Looks back from it, at most
** the host's line budget of lines. Returns the position where the enclosing
** comment begins, with the scan position left there: the slash of a block
** opener, or the first slash of a line-comment mark on the start line.
** Returns -1 when the position is in no comment, the scan position then left
** wherever the search stopped.
*/
cw_long find_comment_start(cw_long position) {
  cw_long budget = ScanLineLimit(-1);
  cw_long crossed = 0; /* line ends behind us; 0 while on the start line */
  ScanSetPos(position);
  cw_long ch = ScanChar();
  for (;;) {
    switch (ch) {
      case PROBE_LF:
        crossed++;
        ch = ScanPrev();
        break;
      case PROBE_QUOTE:
        skip_string_back(&crossed);
        ch = ScanPrev();
        break;
      case PROBE_STAR:
        ch = ScanPrev();
        if (ch == PROBE_SLASH) {
          cw_long p = ScanGetPos();
          ch = ScanPrev();
          /* Slash, slash, asterisk above the start line is a line comment there, which
                ** says nothing about the start; go on with its slash. On the
                ** start line the opener counts all the same. */
          if (ch != PROBE_SLASH || crossed == 0) {
            ScanSetPos(p);
            return p;
          }
        }
        break;
      case PROBE_SLASH:
        ch = ScanPrev();
        if (ch == PROBE_SLASH) return crossed == 0 ? ScanGetPos() : -1;
        if (ch == PROBE_STAR) return -1;
        break;
      default:
        ch = ScanPrev();
        break;
    }
    if (ch == PROBE_NONE || crossed >= budget) return -1;
  }
}

/*
** Which comment delimiter comes first looking back from the scan position:
** 1 an opener (scan position on its slash), 2 a closer (on its asterisk),
** 0 nothing decisive: buffer start, budget used up, or a line-comment mark
** on the start line. A closer that begins at the start position is not seen.
*/
cw_long find_comment_mark_before(void) {
  cw_long ch = ScanChar();
  cw_long crossed = 0;
  cw_long budget = ScanLineLimit(-1);
  for (;;) {
    switch (ch) {
      case PROBE_STAR:
        ch = ScanPrev();
        if (ch == PROBE_SLASH) {
          cw_long p = ScanGetPos();
          ch = ScanPrev();
          ScanSetPos(p);
          if (ch != PROBE_SLASH) return 1;
          if (crossed == 0) return 0;
          /* Slash, slash, asterisk on a line above: go on with the first slash. */
        }
        break;
      case PROBE_SLASH:
        ch = ScanPrev();
        if (ch == PROBE_SLASH && crossed == 0) return 0;
        if (ch == PROBE_STAR) {
          cw_long q = ScanGetPos();
          ch = ScanPrev();
          if (ch == PROBE_SLASH) return 1; /* opener, then slash: on its slash */
          ScanSetPos(q);
          return 2;
        }
        break;
      case PROBE_LF:
        crossed++;
        ch = ScanPrev();
        break;
      case PROBE_QUOTE:
        skip_string_back(0);
        ch = ScanPrev();
        break;
      default:
        ch = ScanPrev();
        break;
    }
    if (ch == PROBE_NONE || crossed >= budget) return 0;
  }
}

/*
** Which comment delimiter comes first looking ahead from the scan position:
** 1 an opener (scan position on its asterisk), 2 a closer (on its slash),
** 0 buffer end or budget used up. Line comments mean nothing here.
*/
cw_long find_comment_mark_after(void) {
  cw_long ch = ScanChar();
  cw_long crossed = 0;
  cw_long budget = ScanLineLimit(-1);
  for (;;) {
    switch (ch) {
      case PROBE_STAR:
        ch = ScanNext();
        if (ch == PROBE_SLASH) return 2;
        break;
      case PROBE_SLASH:
        ch = ScanNext();
        if (ch == PROBE_STAR) return 1;
        break;
      case PROBE_LF:
        crossed++;
        ch = ScanNext();
        break;
      case PROBE_QUOTE:
        skip_string_forward();
        ch = ScanNext();
        break;
      default:
        ch = ScanNext();
        break;
    }
    if (ch == PROBE_NONE || crossed >= budget) return 0;
  }
}

/* }====== */
