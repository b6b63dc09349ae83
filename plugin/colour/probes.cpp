/*
** Comment-context probes: is a position inside a comment, and which comment
** delimiter lies nearest before or after the scan position. Each probe reads
** the text afresh through the scan position and gives up after the host's
** line budget; where it leaves the scan position is part of its answer.
*/
#include "../frame/module.h"
#include "chars.h"

/* {====== steps over strings and plain text =============================== */

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

/*
** One step of a probe's walk over a character that neither opens nor closes
** a comment: a line break is counted in *crossed, a string is skipped whole,
** then the scan position moves on. Backward, the line ends inside a skipped
** string count too when strings_count is set. Returns the character reached.
*/
static cw_long step_back(cw_long ch, cw_long* crossed, int strings_count) {
  if (ch == WYN_CH_LF) *crossed += 1;
  if (ch == WYN_CH_QUOTE) skip_string_back(strings_count ? crossed : 0);
  return ScanPrev();
}

static cw_long step_forward(cw_long ch, cw_long* crossed) {
  if (ch == WYN_CH_LF) *crossed += 1;
  if (ch == WYN_CH_QUOTE) skip_string_forward();
  return ScanNext();
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
        ch = step_back(ch, &crossed, 1);
        break;
    }
    if (ch == CW_NO_CHAR || crossed >= budget) return WYN_NOT_IN_COMMENT;
  }
}

/* What a look at the scan position answers when no delimiter is decided. */
enum { WALK_ON = -1 };

/*
** A look back from *ch for the mark probe below: WYN_MARK_OPENER (scan
** position on its slash), WYN_MARK_CLOSER (on its asterisk), WYN_MARK_NONE
** for a line-comment mark on the start line, or WALK_ON with *ch the next
** character to look at. Line ends inside strings are not counted.
*/
static cw_long look_behind(cw_long* ch, cw_long* crossed) {
  switch (*ch) {
    case WYN_CH_STAR:
      *ch = ScanPrev();
      if (*ch == WYN_CH_SLASH) {
        cw_long p = ScanGetPos();
        *ch = ScanPrev();
        ScanSetPos(p);
        if (*ch != WYN_CH_SLASH) return WYN_MARK_OPENER;
        if (*crossed == 0) return WYN_MARK_NONE;
        /* Slash, slash, asterisk on a line above: go on with the first slash. */
      }
      return WALK_ON;
    case WYN_CH_SLASH:
      *ch = ScanPrev();
      if (*ch == WYN_CH_SLASH && *crossed == 0) return WYN_MARK_NONE;
      if (*ch == WYN_CH_STAR) {
        cw_long q = ScanGetPos();
        *ch = ScanPrev();
        if (*ch == WYN_CH_SLASH) return WYN_MARK_OPENER; /* opener, then slash: on its slash */
        ScanSetPos(q);
        return WYN_MARK_CLOSER;
      }
      return WALK_ON;
    default:
      *ch = step_back(*ch, crossed, 0);
      return WALK_ON;
  }
}

/*
** A look ahead from *ch: WYN_MARK_OPENER (scan position on its asterisk),
** WYN_MARK_CLOSER (on its slash), or WALK_ON with *ch the next character.
** Line comments mean nothing here.
*/
static cw_long look_ahead(cw_long* ch, cw_long* crossed) {
  switch (*ch) {
    case WYN_CH_STAR:
      *ch = ScanNext();
      if (*ch == WYN_CH_SLASH) return WYN_MARK_CLOSER;
      return WALK_ON;
    case WYN_CH_SLASH:
      *ch = ScanNext();
      if (*ch == WYN_CH_STAR) return WYN_MARK_OPENER;
      return WALK_ON;
    default:
      *ch = step_forward(*ch, crossed);
      return WALK_ON;
  }
}

/*
** The walk both mark probes share: the character under the scan position is
** read before the budget is asked for, then look() goes a step at a time
** until it decides, meets an end of the buffer or uses up the budget of
** lines (WYN_MARK_NONE for both).
*/
static cw_long find_mark(cw_long (*look)(cw_long* ch, cw_long* crossed)) {
  cw_long ch = ScanChar();
  cw_long crossed = 0;
  cw_long budget = ScanLineLimit(CW_QUERY);
  for (;;) {
    cw_long mark = look(&ch, &crossed);
    if (mark != WALK_ON) return mark;
    if (ch == CW_NO_CHAR || crossed >= budget) return WYN_MARK_NONE;
  }
}

/*
** Which comment delimiter comes first looking back from the scan position;
** a closer that begins at the start position is not seen. See look_behind.
*/
cw_long find_comment_mark_before(void) {
  return find_mark(look_behind);
}

/*
** Which comment delimiter comes first looking ahead from the scan position.
** See look_ahead.
*/
cw_long find_comment_mark_after(void) {
  return find_mark(look_ahead);
}

/* }====== */
