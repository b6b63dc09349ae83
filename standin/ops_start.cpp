/*
** The start-up library's operations: extension binding, template
** expansion, the editor's own new line, the comment-scan line limit and
** template assignment. Kept together so that they can form a library of
** their own over the same editor state.
*/
#include "model.h"

#include <stdlib.h>
#include <string.h>
#include <string>

using cw::ed;

namespace {

/* The leading blanks and tabs of a line, no further than stop. */
std::string indent_of(cw_long line, cw_long stop) {
  cw_long p = cw::line_start(line);
  cw_long end = cw::line_end(line);
  if (end > stop) end = stop;
  std::string out;
  while (p < end && (cw::text_at(p) == ' ' || cw::text_at(p) == '\t')) out += cw::text_at(p++);
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

}  // namespace

extern "C" {

/* Recorded; answers 1, or 0 for NULL. */
CWEXPORT cw_long CWAPI RegisterExtension(const char* extension) {
  CW_ENTER("RegisterExtension", "s", extension);
  if (extension == NULL) return 0;
  try {
    cw::Extension e = {extension, ed.owner};
    ed.extensions.push_back(e);
  } catch (const std::bad_alloc&) {
    cw::refused();
    return 0;
  }
  return 1;
}

/* Breaks the line at the cursor; the new line gets the current line's
** leading blanks and tabs (those before the cursor) and the cursor goes
** after them. Answers 1; 0, with nothing changed, when memory runs out. */
CWEXPORT cw_long CWAPI InsertNewLine(void) {
  CW_ENTER("InsertNewLine", "");
  cw_long at = ed.cursor;
  cw_long line = cw::line_index(at);
  try {
    std::string ins = line_break_for(line);
    ins += indent_of(line, at);
    if (!cw::replace_text(at, 0, ins.data(), (cw_long)ins.size())) return 0;
    ed.cursor = at + (cw_long)ins.size();
  } catch (const std::bad_alloc&) {
    cw::refused();
    return 0;
  }
  return 1;
}

/* Replaces the noted word (none noted: inserts at the cursor) by text.
** '&' marks where the cursor is left (the first one; none: the end of the
** insertion) and is not inserted. A line feed in text starts a new line,
** which inherits the leading blanks and tabs of the line before it, as
** typing Enter would; '@' right after a line feed takes one level off that
** indentation and is not inserted. Inserted text has no colour. Answers 1,
** or 0 for NULL text and, with nothing changed, when memory runs out. */
static cw_long expand_template(const char* text);

CWEXPORT cw_long CWAPI ExpandTemplate(const char* text) {
  CW_ENTER("ExpandTemplate", "s", text);
  if (text == NULL) return 0;
  try {
    return expand_template(text);
  } catch (const std::bad_alloc&) {
    cw::refused();
    return 0;
  }
}

/* ExpandTemplate's work; throws std::bad_alloc when memory runs out,
** before the text changed. */
static cw_long expand_template(const char* text) {
  cw_long pos = ed.word_noted ? cw::clamp_pos(ed.word_pos) : ed.cursor;
  cw_long len = ed.word_noted ? ed.word_len : 0;
  if (len > cw::text_length() - pos) len = cw::text_length() - pos;
  if (len < 0) len = 0;
  ed.word_noted = false;

  cw_long line = cw::line_index(pos);
  const char* eol = line_break_for(line);
  std::string line_indent = indent_of(line, pos); /* of the output line being built */
  std::string out;
  long caret = -1;
  bool leading = false; /* still in the template line's own leading blanks */
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
      if (leading && (c == ' ' || c == '\t'))
        line_indent += c;
      else
        leading = false;
      out += c;
    }
  }
  if (!cw::replace_text(pos, len, out.data(), (cw_long)out.size())) return 0;
  ed.cursor = pos + (cw_long)(caret >= 0 ? (size_t)caret : out.size());
  return 1;
}

/* CW_QUERY answers the setting; any other value sets it and is answered. */
CWEXPORT cw_long CWAPI ScanLineLimit(cw_long limit) {
  CW_ENTER("ScanLineLimit", "i", limit);
  if (limit != CW_QUERY) ed.scan_line_limit = limit;
  return ed.scan_line_limit;
}

/* Stores a copy of text in the slot of name, replacing an earlier copy.
** Refused keys and fault injection do not apply: this is not HashInsert.
** Answers 1, or 0 when it did nothing. */
CWEXPORT cw_long CWAPI TemplateAssign(cw_table table, const char* name, const char* text) {
  CW_ENTER("TemplateAssign", "tss", table, name, text);
  cw::Table* t = cw::find_table(table);
  if (t == NULL || name == NULL || text == NULL) return 0;
  size_t n = strlen(name);
  size_t len = strlen(text);
  char* copy = (char*)malloc(len + 1);
  if (copy == NULL) return 0;
  memcpy(copy, text, len + 1);
  cw::Entry* e = cw::find_entry(t, name, n);
  if (e == NULL) e = cw::add_entry(t, name, n);
  if (e == NULL) {
    free(copy);
    return 0;
  }
  free(e->text);
  e->text = copy;
  *(void**)e->slot = copy;
  return 1;
}

} /* extern "C" */
