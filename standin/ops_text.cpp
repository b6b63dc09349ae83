/*
** Reading and changing text at the cursor: the text from the cursor,
** pattern search, single characters and noting the word to expand.
*/
#include "model.h"
#include "search.h"

using cw::ed;

namespace {

bool is_space(cw_long c) {
  return (c >= 9 && c <= 13) || c == 32;
}

}  // namespace

extern "C" {

/* A new ledger string of up to n characters from the cursor: "" at the end
** of the buffer and for n <= 0. The cursor does not move. */
CWEXPORT char* CWAPI GetTextAtCursor(cw_long n) {
  CW_ENTER("GetTextAtCursor", "i", n);
  if (cw::alloc_fails()) return NULL;
  cw_long room = cw::text_length() - ed.cursor;
  if (n > room) n = room;
  if (n < 0) n = 0;
  const char* text = n > 0 ? cw::text_span(ed.cursor, n) : "";
  return text == NULL ? NULL : cw::ledger_string(text, (size_t)n);
}

/* CW_SEARCH_BACKWARD searches backward, every other flags value forward. Found: the cursor
** goes to the position found and the answer is 1; else 0, cursor unmoved. */
CWEXPORT cw_long CWAPI RegexSearch(const char* pattern, cw_long flags, cw_long reserved) {
  CW_ENTER("RegexSearch", "sii", pattern, flags, reserved);
  if (pattern == NULL) return 0;
  size_t out = 0, n = (size_t)cw::text_length();
  const char* text = n > 0 ? cw::text_span(0, (cw_long)n) : "";
  if (text == NULL) return 0; /* no memory for the text in one piece */
  try {
    if (!cw::pattern_search(text, n, ed.generation, (size_t)ed.cursor, pattern,
                            flags == CW_SEARCH_BACKWARD, &out))
      return 0;
  } catch (const std::bad_alloc&) { /* the pattern's translation or its index */
    cw::refused();
    return 0;
  }
  ed.cursor = cw::clamp_pos((cw_long)(out > n ? n : out));
  return 1;
}

/* Inserts the low byte of ch at the cursor, cursor after it. Answers 1;
** 0, with nothing changed, when memory runs out. */
CWEXPORT cw_long CWAPI InsertChar(cw_long ch) {
  CW_ENTER("InsertChar", "i", ch);
  char c = (char)(ch & 0xFF);
  cw_long at = ed.cursor;
  if (!cw::replace_text(at, 0, &c, 1)) return 0;
  ed.cursor = at + 1;
  return 1;
}

/* Notes the word at the cursor, up to the first whitespace; the word stays
** in the buffer until ExpandTemplate replaces it. Answers its length. */
CWEXPORT cw_long CWAPI ExpandPrepare(void) {
  CW_ENTER("ExpandPrepare", "");
  cw_long end = ed.cursor;
  while (end < cw::text_length() && !is_space(cw::char_at(end))) end++;
  ed.word_noted = true;
  ed.word_pos = ed.cursor;
  ed.word_len = end - ed.cursor;
  return ed.word_len;
}

} /* extern "C" */
