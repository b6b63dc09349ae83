// Re-indenting a script by the nesting of its blocks, and the indent unit
// every front end indents with: the editor's options (tabs or a number of
// spaces), an .editorconfig or the command line.
//
// Only the leading blanks and tabs of a line ever change. Lines the
// re-indenter cannot be sure of keep theirs: those inside or opening a
// comment that spans lines, a statement's continuation lines, labels,
// preprocessor lines, blank lines and comments in the first column. A
// script whose blocks do not balance is left alone whole.
#ifndef WYN_SESSION_FORMAT_H
#define WYN_SESSION_FORMAT_H

#include <stddef.h>

#include <string>
#include <vector>

#include "diagnostics.h"
#include "session.h"

namespace wyn {

// One level of indentation: `size` columns, written with tabs of
// `tab_width` columns as far as they go (then spaces) or with spaces only.
// The default is one tab a level, the plug-in's own.
struct IndentUnit {
  bool tabs = true;
  int size = 0;  // 0: one tab's width
  int tab_width = 8;

  int columns() const { return size > 0 ? size : tab_width; }
  // The leading whitespace that reaches column `cols` (from 0).
  std::string render(long cols) const;
  // The width of leading whitespace, tabs to the next tab stop.
  long width(const std::string& indent) const;
};

// Parses "tab" or a number of spaces (1 to 16) as --indent takes it.
bool parse_indent_unit(const std::string& text, IndentUnit* out);

// The indentation of a new line the plug-in's smart indent opened under
// a line indented by `above`: it put one tab more, which becomes one
// level of unit. `got` is what the plug-in put; returned as it is when it
// is not `above` plus one tab (the plug-in kept the indentation).
std::string plugin_indent_in_unit(const std::string& above, const std::string& got,
                                  const IndentUnit& unit);

// A new leading whitespace for one line.
struct LineIndent {
  long line = 0;            // from 1
  size_t from = 0, to = 0;  // the bytes of the old leading whitespace
  std::string indent;
};

struct FormatResult {
  // The checker's errors when the script was left alone for them.
  std::vector<Diagnostic> problems;
  // True when the blocks could not be followed with confidence (mixed
  // letter case, block words in alternative preprocessor branches, ...):
  // nothing changes.
  bool unsure = false;
  // The lines whose leading whitespace changes, in order.
  std::vector<LineIndent> changes;
};

// Re-indents lines first..last (from 1, clamped) of text, whose bytes the
// plug-in coloured as cats says; the nesting is read from the whole text.
FormatResult format_text(const std::string& text, const std::vector<signed char>& cats,
                         const IndentUnit& unit, long first = 1, long last = -1);

// text with the changes made (changes as format_text gave them for it).
std::string apply_indents(const std::string& text, const std::vector<LineIndent>& changes);

// Colours doc whole and re-indents it as format_text does. False, with
// *error saying why, when the plug-in cannot be called.
bool format_document(Document& doc, const IndentUnit& unit, long first, long last,
                     FormatResult* out, std::string* error);

}  // namespace wyn

#endif
