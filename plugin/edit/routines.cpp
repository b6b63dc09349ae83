/*
** The routine list: mark the header lines of the buffer's function
** definitions for the editor's routine view.
*/
#include "../frame/exports.h"
#include "../frame/module.h"
#include "patterns.h"

/*
** Mark the lines of the header that begins at the cursor, if it is a
** definition, and leave the cursor on its follower. `count` is the number of
** definitions marked so far; returns the new number.
*/
static cw_long mark_header(cw_long count) {
  cw_long first; /* the header's first line */
  cw_long span;  /* lines below `first` to mark */
  cw_long ch;    /* the follower */

  first = CursorLine();
  /* Finding nothing leaves the cursor on the header: a one-line definition. */
  RegexSearch(wyn_follower_pattern, CW_SEARCH_FORWARD, 0);
  ch = CharAtCursor();
  if (ch == ';') return count; /* a declaration */
  /* Clear the old marks, only once something is found. */
  if (count == 0) MarkLines(0, 0, CW_MARK_CLEAR);
  span = CursorLine() - first;
  if (ch == '{') span--; /* a brace on its own line below the header is not marked */
  if (span < 0) span = 0;
  MarkLines(first, first + span, CW_MARK_SET);
  MarkCommit();
  return count + 1;
}

/*
** Mark every definition's header for the routine view and show it, leaving
** the cursor at the top; or, when there is none, restore the cursor, keep
** the old marks and say "No routines found.".
*/
void WYNAPI _wyn_routines(void) {
  cw_long count; /* definitions marked */

  DisplayHold();
  PushPosition();
  RoutineViewReset();
  CursorToTop();
  count = 0;
  while (RegexSearch(wyn_header_pattern, CW_SEARCH_FORWARD, 0) != 0) {
    count = mark_header(count);
    /* Move past the header just handled; on the last line we are done. */
    if (CursorDown(1) == 0) break;
  }
  if (count != 0) {
    RoutineViewShow();
    DropPosition(CW_DROP_HOW);
    CursorToTop();
  } else {
    PopPosition();
  }
  DisplayRelease();
  ShowMessage(count == 0 ? "No routines found." : "");
}
