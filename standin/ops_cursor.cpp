/*
** The cursor and its stack of saved positions.
*/
#include "model.h"

using cw::ed;

extern "C" {

/* Answers 1; 0, saving nothing, when memory runs out. */
CWEXPORT cw_long CWAPI PushPosition(void) {
  CW_ENTER("PushPosition", "");
  try {
    ed.saved.push_back(ed.cursor);
  } catch (const std::bad_alloc&) {
    cw::refused();
    return 0;
  }
  return 1;
}

/* Restores and forgets the last saved position; an empty stack is a
** harmless no-op answering 0. */
CWEXPORT cw_long CWAPI PopPosition(void) {
  CW_ENTER("PopPosition", "");
  if (ed.saved.empty()) return 0;
  ed.cursor = cw::clamp_pos(ed.saved.back());
  ed.saved.pop_back();
  return 1;
}

/* Forgets the last saved position without moving; every argument means
** the same. An empty stack is a harmless no-op answering 0. */
CWEXPORT cw_long CWAPI DropPosition(cw_long how) {
  CW_ENTER("DropPosition", "i", how);
  if (ed.saved.empty()) return 0;
  ed.saved.pop_back();
  return 1;
}

CWEXPORT cw_long CWAPI CursorLine(void) {
  CW_ENTER("CursorLine", "");
  return cw::line_index(ed.cursor) + 1;
}

/* One column per character from 1; tabs are not expanded. */
CWEXPORT cw_long CWAPI CursorColumn(void) {
  CW_ENTER("CursorColumn", "");
  return ed.cursor - cw::line_start(cw::line_index(ed.cursor)) + 1;
}

CWEXPORT cw_long CWAPI CharAtCursor(void) {
  CW_ENTER("CharAtCursor", "");
  return cw::char_at(ed.cursor);
}

/* To the START of the line n below (n < 0: above) and 1; 0 without moving
** when that line does not exist. The routine list searches from line
** starts, so the column is not kept. */
CWEXPORT cw_long CWAPI CursorDown(cw_long n) {
  CW_ENTER("CursorDown", "i", n);
  long long target = (long long)cw::line_index(ed.cursor) + n;
  if (target < 0 || target >= cw::line_count()) return 0;
  ed.cursor = cw::line_start((cw_long)target);
  return 1;
}

/* Answers 1. */
CWEXPORT cw_long CWAPI CursorToTop(void) {
  CW_ENTER("CursorToTop", "");
  ed.cursor = 0;
  return 1;
}

} /* extern "C" */
