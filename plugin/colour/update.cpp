/*
** Range re-colouring after an edit: widen the edited lines to an enclosing
** block comment, to lines joined by a trailing backslash and to a closer
** below, clear and re-colour them, and have the editor redisplay them.
*/
#include "../frame/exports.h"
#include "../frame/module.h"
#include "chars.h"

/* 32-bit arithmetic that wraps like the editor's own instead of overflowing. */
static cw_long wrap_add(cw_long a, cw_long b) {
  return (cw_long)((uint32_t)a + (uint32_t)b);
}

static cw_long wrap_sub(cw_long a, cw_long b) {
  return (cw_long)((uint32_t)a - (uint32_t)b);
}

/*
** Moves start up over the lines above that end in a backslash: it ends on
** the line just above the topmost joined line, at the position ScanPrevLine
** gave there. The walk stops once it no longer moves up, so a joined group
** that reaches line 1 ends there whatever the host does above line 1.
*/
static cw_long walk_continued_lines(cw_long start) {
  ScanSetPos(start);
  ScanPrevLine();
  while (ScanLineLastChar() != CW_NO_LAST_CHAR && ScanLineLastChar() == WYN_CH_BACKSLASH) {
    ScanLineStart(CW_LINE_START_HOW);
    ScanPrevLine();
    cw_long above = ScanGetPos();
    if (above >= start) break; /* no line above: stay on line 1 */
    start = above;
  }
  return start;
}

/*
** Re-colours lines first..last after an edit and hands the editor the lines
** whose colours may have changed. 0 in either argument does nothing, and so
** does a line below 1, which names no line; ends given the wrong way round
** name the same lines. The scan position is left where the scanner stopped.
** Always returns 0.
*/
cw_long WYNAPI _wyn_language_colors_update(cw_long first, cw_long last) {
  if (first <= 0 || last <= 0) return 0;
  if (first > last) {
    cw_long lower = last;
    last = first;
    first = lower;
  }

  ScanSetPos(0);
  if (first == 1)
    ScanLineStart(CW_LINE_START_HOW);
  else
    ScanLineDown(wrap_sub(first, 1));
  cw_long start = ScanGetPos();

  /* An opener above the range starts the colouring; the first delimiter
  ** after it tells how far its comment run will cover the old colours. */
  cw_long close_line = 0;
  if (find_comment_mark_before() == WYN_MARK_OPENER) {
    start = ScanGetPos();
    ScanNext();
    ScanNext();
    cw_long mark = find_comment_mark_after();
    if (mark == WYN_MARK_OPENER || mark == WYN_MARK_CLOSER) close_line = ScanLine();
  }

  start = walk_continued_lines(start);
  ScanSetPos(start);
  first = ScanLine();

  /* A closer below the range may end a comment whose state the edit
  ** changed; with the state flag up the range follows the probe anyway. */
  ScanSetPos(0);
  cw_long flag = ScanStateFlag();
  ScanLineDown(wrap_sub(last, 1));
  ScanLineDown(0);
  if (flag != 0 || ScanStateFlag() != 0) {
    find_comment_mark_after();
    last = ScanLine();
  } else if (find_comment_mark_after() == WYN_MARK_CLOSER) {
    last = ScanLine();
  }

  ColorUpdateBegin(CW_UPDATE_HOW);
  /* Lines from the opener down to close_line are covered by one comment
  ** run, which overwrites their colours; only the rest is cleared. */
  if (close_line == 0)
    ColorClear(first, last, CW_FIRST_COLUMN, CW_LAST_COLUMN, CW_CLEAR_FLAG);
  else if (close_line < last)
    ColorClear(close_line, last, CW_FIRST_COLUMN, CW_LAST_COLUMN, CW_CLEAR_FLAG);
  ScanSetPos(start);
  _wyn_language_colors(wrap_add(wrap_sub(last, first), 1));
  ColorUpdateEnd(CW_UPDATE_HOW);

  cw_long end = lines_coloured > 0 ? wrap_add(first, lines_coloured) : last;
  RefreshLines(LineRange(first, end));
  return 0;
}
