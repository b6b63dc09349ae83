/*
** Comment-context probes: is a position inside a comment, and which comment
** delimiter lies nearest before or after the scan position. Each probe reads
** the text afresh through the scan position and gives up after the host's
** line budget; where it leaves the scan position is part of its answer.
*/
#include "../frame/module.h"
#include "chars.h"

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
    while (ch != WYN_CH_QUOTE && ch != WYN_CH_LF && ch != CW_NO_CHAR) ch = ScanPrev();
    if (ch == WYN_CH_LF) {
      if (crossed) *crossed += 1;
      ch = ScanPrev();
    }
    if (ch == WYN_CH_CR) ch = ScanPrev();
    if (ch != WYN_CH_BACKSLASH) return ch;
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
    while (ch != WYN_CH_QUOTE && ch != WYN_CH_LF && ch != CW_NO_CHAR) ch = ScanNext();
    int back = 1; /* characters of the line break behind us */
    if (ch == WYN_CH_LF) {
      ch = ScanPrev();
      if (ch == WYN_CH_CR) {
        ch = ScanPrev();
        back = 2;
      }
    }
    if (ch != WYN_CH_BACKSLASH) return ch;
    while (back-- > 0) ScanNext(); /* back onto the LF */
    ch = ScanNext();               /* first character of the next line */
  }
}

/* }====== */

/* {====== probes ========================================================== */

/*
** Is position (CW_AT_CURSOR: the cursor) inside a comment? Looks back from
** it, at most the host's line budget of lines. Returns the position where
** the enclosing comment begins, with the scan position left there: the
** slash of a block opener, or the first slash of a line-comment mark on the
** start line. Returns WYN_NOT_IN_COMMENT when the position is in no comment,
** the scan position then left wherever the search stopped.
*/
cw_long find_comment_start(cw_long position) {
  cw_long budget = ScanLineLimit(CW_QUERY);
  cw_long crossed = 0; /* line ends behind us; 0 while on the start line */
  ScanSetPos(position);
  cw_long ch = ScanChar();
  for (;;) {
    switch (ch) {
      case WYN_CH_LF:
        crossed++;
        ch = ScanPrev();
        break;
      case WYN_CH_QUOTE:
        skip_string_back(&crossed);
        ch = ScanPrev();
        break;
      case WYN_CH_STAR:
        ch = ScanPrev();
        if (ch == WYN_CH_SLASH) {
          cw_long p = ScanGetPos();
          ch = ScanPrev();
          /* Slash, slash, asterisk above the start line is a line comment there, which
          ** says nothing about the start; go on with its slash. On the
          ** start line the opener counts all the same. */
          if (ch != WYN_CH_SLASH || crossed == 0) {
            ScanSetPos(p);
            return p;
          }
        }
        break;
      case WYN_CH_SLASH:
        ch = ScanPrev();
        if (ch == WYN_CH_SLASH) return crossed == 0 ? ScanGetPos() : WYN_NOT_IN_COMMENT;
        if (ch == WYN_CH_STAR) return WYN_NOT_IN_COMMENT;
        break;
      default:
        ch = ScanPrev();
        break;
    }
    if (ch == CW_NO_CHAR || crossed >= budget) return WYN_NOT_IN_COMMENT;
  }
}

/*
** Which comment delimiter comes first looking back from the scan position:
** WYN_MARK_OPENER (scan position on its slash), WYN_MARK_CLOSER (on its
** asterisk), WYN_MARK_NONE when nothing is decisive: buffer start, budget used up, or a line-comment mark
** on the start line. A closer that begins at the start position is not seen.
*/
cw_long find_comment_mark_before(void) {
  cw_long ch = ScanChar();
  cw_long crossed = 0;
  cw_long budget = ScanLineLimit(CW_QUERY);
  for (;;) {
    switch (ch) {
      case WYN_CH_STAR:
        ch = ScanPrev();
        if (ch == WYN_CH_SLASH) {
          cw_long p = ScanGetPos();
          ch = ScanPrev();
          ScanSetPos(p);
          if (ch != WYN_CH_SLASH) return WYN_MARK_OPENER;
          if (crossed == 0) return WYN_MARK_NONE;
          /* Slash, slash, asterisk on a line above: go on with the first slash. */
        }
        break;
      case WYN_CH_SLASH:
        ch = ScanPrev();
        if (ch == WYN_CH_SLASH && crossed == 0) return WYN_MARK_NONE;
        if (ch == WYN_CH_STAR) {
          cw_long q = ScanGetPos();
          ch = ScanPrev();
          if (ch == WYN_CH_SLASH) return WYN_MARK_OPENER; /* opener, then slash: on its slash */
          ScanSetPos(q);
          return WYN_MARK_CLOSER;
        }
        break;
      case WYN_CH_LF:
        crossed++;
        ch = ScanPrev();
        break;
      case WYN_CH_QUOTE:
        skip_string_back(0);
        ch = ScanPrev();
        break;
      default:
        ch = ScanPrev();
        break;
    }
    if (ch == CW_NO_CHAR || crossed >= budget) return WYN_MARK_NONE;
  }
}

/*
** Which comment delimiter comes first looking ahead from the scan position:
** WYN_MARK_OPENER (scan position on its asterisk), WYN_MARK_CLOSER (on its
** slash), WYN_MARK_NONE at the buffer end or with the budget used up. Line comments mean nothing here.
*/
cw_long find_comment_mark_after(void) {
  cw_long ch = ScanChar();
  cw_long crossed = 0;
  cw_long budget = ScanLineLimit(CW_QUERY);
  for (;;) {
    switch (ch) {
      case WYN_CH_STAR:
        ch = ScanNext();
        if (ch == WYN_CH_SLASH) return WYN_MARK_CLOSER;
        break;
      case WYN_CH_SLASH:
        ch = ScanNext();
        if (ch == WYN_CH_STAR) return WYN_MARK_OPENER;
        break;
      case WYN_CH_LF:
        crossed++;
        ch = ScanNext();
        break;
      case WYN_CH_QUOTE:
        skip_string_forward();
        ch = ScanNext();
        break;
      default:
        ch = ScanNext();
        break;
    }
    if (ch == CW_NO_CHAR || crossed >= budget) return WYN_MARK_NONE;
  }
}

/* }====== */
