/*
** The scan position: a reading position of its own, separate from the
** cursor. Reads beyond either end of the buffer answer CW_NO_CHAR.
*/
#include "model.h"

using cw::ed;

extern "C" {

CWEXPORT cw_long CWAPI ScanGetPos(void) {
  CW_ENTER("ScanGetPos", "");
  return ed.scan;
}

/* CW_AT_CURSOR stands for the cursor; other positions outside the buffer are
** clamped to 0..end. Answers the new position. */
CWEXPORT cw_long CWAPI ScanSetPos(cw_long pos) {
  CW_ENTER("ScanSetPos", "i", pos);
  ed.scan = pos == CW_AT_CURSOR ? ed.cursor : cw::clamp_pos(pos);
  return ed.scan;
}

CWEXPORT cw_long CWAPI ScanChar(void) {
  CW_ENTER("ScanChar", "");
  return cw::char_at(ed.scan);
}

/* From the last character onto the end position (CW_NO_CHAR); at the end
** it stays. Reading on inside the chunk last read costs one comparison. */
CWEXPORT cw_long CWAPI ScanNext(void) {
  CW_ENTER("ScanNext", "");
  cw_long s = ed.scan + 1;
  if (CW_UNLIKELY(!cw::cached(s))) return cw::scan_next_far(s);
  ed.scan = s;
  return (unsigned char)ed.hc_text[s - ed.hc_start];
}

/* At position 0 it stays and answers CW_NO_CHAR; from the end onto the
** last character. */
CWEXPORT cw_long CWAPI ScanPrev(void) {
  CW_ENTER("ScanPrev", "");
  if (ed.scan <= 0) return CW_NO_CHAR;
  ed.scan--;
  return (unsigned char)cw::text_at(ed.scan);
}

/* The end position belongs to the last line. */
CWEXPORT cw_long CWAPI ScanLine(void) {
  CW_ENTER("ScanLine", "");
  return cw::line_index(ed.scan) + 1;
}

/* Every argument means the same: to the start of the scan line. Answers
** the new position. */
CWEXPORT cw_long CWAPI ScanLineStart(cw_long how) {
  CW_ENTER("ScanLineStart", "i", how);
  ed.scan = cw::line_start(cw::line_index(ed.scan));
  return ed.scan;
}

/* Down n lines to a line start, answering the length of the last break
** crossed (1 LF, 2 CR LF). Too few breaks left: to the end position, 0.
** n <= 0 only goes back to the start of the current line and answers 0. */
CWEXPORT cw_long CWAPI ScanLineDown(cw_long n) {
  CW_ENTER("ScanLineDown", "i", n);
  cw_long line = cw::line_index(ed.scan);
  if (n <= 0) {
    ed.scan = cw::line_start(line);
    return 0;
  }
  if (n > cw::line_count() - 1 - line) {
    ed.scan = cw::text_length();
    return 0;
  }
  cw_long target = line + n;
  ed.scan = cw::line_start(target);
  return cw::line_break_length(target - 1);
}

/* To the start of the line above; on line 1 it stays. Answers 1 when it
** moved, 0 when it did not. */
CWEXPORT cw_long CWAPI ScanPrevLine(void) {
  CW_ENTER("ScanPrevLine", "");
  cw_long line = cw::line_index(ed.scan);
  if (line == 0) return 0;
  ed.scan = cw::line_start(line - 1);
  return 1;
}

/* The last character before the line break (a CR of CR LF is part of the
** break), CW_NO_LAST_CHAR on an empty line. A lone CR ending the text is a character. */
CWEXPORT cw_long CWAPI ScanLineLastChar(void) {
  CW_ENTER("ScanLineLastChar", "");
  cw_long line = cw::line_index(ed.scan);
  cw_long end = cw::line_end(line);
  if (cw::line_break_length(line) == 2) end--;
  if (end <= cw::line_start(line)) return CW_NO_LAST_CHAR;
  return (unsigned char)cw::text_at(end - 1);
}

CWEXPORT cw_long CWAPI ScanStateFlag(void) {
  CW_ENTER("ScanStateFlag", "");
  return ed.state_flag;
}

} /* extern "C" */
