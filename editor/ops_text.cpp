/*
** Reading and changing text at the cursor: the text from the cursor,
** pattern search, single characters, new lines and template expansion.
*/
#include "model.h"
#include "search.h"

#include <string>

using cw::ed;

namespace {

/* The leading blanks and tabs of a line, no further than stop. */
std::string indent_of(cw_long line, cw_long stop) {
  cw_long p = ed.line_starts[(size_t)line];
  cw_long end = cw::line_end(line);
  if (end > stop) end = stop;
  std::string out;
  while (p < end && (ed.text[(size_t)p] == ' ' || ed.text[(size_t)p] == '\t'))
    out += ed.text[(size_t)p++];
  return out;
}

/* New lines follow the line they are made on: CR LF when it ends in CR LF
** (the last line, which has no break, asks the line above), else LF. */
const char* line_break_for(cw_long line) {
  cw_long n = cw::line_break_length(line);
  if (n == 0 && line > 0) n = cw::line_break_length(line - 1);
  return n == 2 ? "\r\n" : "\n";
}

/* '@' takes one level off: a trailing tab, or else up to 8 trailing blanks
** (one tab's width). */
void outdent(std::string* indent) {
  if (!indent->empty() && indent->back() == '\t') {
    indent->pop_back();
    return;
  }
  for (int i = 0; i < 8 && !indent->empty() && indent->back() == ' '; i++) indent->pop_back();
}

bool is_space(cw_long c) { return (c >= 9 && c <= 13) || c == 32; }

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
  return cw::ledger_string(ed.text.data() + ed.cursor, (size_t)n);
}

/* flags 16 search backward, every other value forward. Found: the cursor
** goes to the position found and the answer is 1; else 0, cursor unmoved. */
CWEXPORT cw_long CWAPI RegexSearch(const char* pattern, cw_long flags, cw_long reserved) {
  CW_ENTER("RegexSearch", "sii", pattern, flags, reserved);
  if (pattern == NULL) return 0;
  size_t out = 0;
  if (!cw::pattern_search(ed.text.data(), ed.text.size(), ed.generation, (size_t)ed.cursor,
                          pattern, flags == 16, &out))
    return 0;
  ed.cursor = cw::clamp_pos((cw_long)(out > ed.text.size() ? ed.text.size() : out));
  return 1;
}

/* Inserts the low byte of ch at the cursor, cursor after it. Answers 1. */
CWEXPORT cw_long CWAPI InsertChar(cw_long ch) {
  CW_ENTER("InsertChar", "i", ch);
  char c = (char)(ch & 0xFF);
  cw_long at = ed.cursor;
  cw::replace_text(at, 0, &c, 1);
  ed.cursor = at + 1;
  return 1;
}

/* Breaks the line at the cursor; the new line gets the current line's
** leading blanks and tabs (those before the cursor) and the cursor goes
** after them. Answers 1. */
CWEXPORT cw_long CWAPI InsertNewLine(void) {
  CW_ENTER("InsertNewLine", "");
  cw_long at = ed.cursor;
  cw_long line = cw::line_index(at);
  std::string ins = line_break_for(line);
  ins += indent_of(line, at);
  cw::replace_text(at, 0, ins.data(), (cw_long)ins.size());
  ed.cursor = at + (cw_long)ins.size();
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

/* Replaces the noted word (none noted: inserts at the cursor) by text.
** '&' marks where the cursor is left (the first one; none: the end of the
** insertion) and is not inserted. A line feed in text starts a new line,
** which inherits the leading blanks and tabs of the line before it, as
** typing Enter would; '@' right after a line feed takes one level off that
** indentation and is not inserted. Inserted text has no colour. Answers 1,
** or 0 for NULL text. */
CWEXPORT cw_long CWAPI ExpandTemplate(const char* text) {
  CW_ENTER("ExpandTemplate", "s", text);
  if (text == NULL) return 0;
  cw_long pos = ed.word_noted ? cw::clamp_pos(ed.word_pos) : ed.cursor;
  cw_long len = ed.word_noted ? ed.word_len : 0;
  if (len > cw::text_length() - pos) len = cw::text_length() - pos;
  if (len < 0) len = 0;
  ed.word_noted = false;

  cw_long line = cw::line_index(pos);
  const char* eol = line_break_for(line);
  std::string line_indent = indent_of(line, pos);  /* of the output line being built */
  std::string out;
  long caret = -1;
  bool leading = false;  /* still in the template line's own leading blanks */
  for (const char* p = text; *p != '\0'; p++) {
    char c = *p;
    if (c == '\r' && p[1] == '\n') continue;
    if (c == '\n') {
      std::string indent = line_indent;
      out += eol;
      if (p[1] == '@') {
        outdent(&indent);
        p++;
      }
      out += indent;
      line_indent = indent;
      leading = true;
    } else if (c == '&') {
      if (caret < 0) caret = (long)out.size();
    } else {
      if (leading && (c == ' ' || c == '\t')) line_indent += c;
      else leading = false;
      out += c;
    }
  }
  cw::replace_text(pos, len, out.data(), (cw_long)out.size());
  ed.cursor = pos + (cw_long)(caret >= 0 ? (size_t)caret : out.size());
  return 1;
}

}  /* extern "C" */
