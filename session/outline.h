// Routines as a reader sees them: the plug-in's routine list less the
// marked lines that are statements or lie in comments, with the headers it
// cannot see (indented ones, one behind a byte-order mark) and the
// prototype declarations added, each with the whole extent of its body.
// Front ends list, tag and outline these.
#ifndef WYN_SESSION_OUTLINE_H
#define WYN_SESSION_OUTLINE_H

#include <string>
#include <vector>

#include "session.h"

namespace wyn {

struct Routine {
  LineSpan marked;           // the header's lines, as the plug-in marks them
  LineSpan extent;           // the header to the last line of the body
  std::string header;        // the header's first line, without its line break
  std::string name;          // the word just before the header's first '('
  size_t name_at = 0;        // where name starts in header
  bool declaration = false;  // a prototype: no body, extent ends at its ';'
};

// The routines of doc, which must be coloured as a whole-text colouring
// leaves it (colour_whole, or kept so by edits); marks is the plug-in's
// routine list of doc and reserved its reserved words.
//
// Of the marked headers, one named by a reserved word ("if (a) then" in
// the first column) is a statement, and one whose first byte is coloured
// comment or string is not live code: both are left out. The plug-in marks
// only headers in the first column; an indented line that starts with
// "function" or "prototype", outside comments and strings, followed by a
// name and a parenthesised list is added too, and so is a prototype in the
// first column, which the plug-in passes over. A prototype, or a header
// whose list is followed by ';', is a declaration.
//
// A body runs from the header to the first later line that starts, at the
// header's indentation, with "end" and then ';' (blanks may stand between);
// without one, to the line before the next definition's header, or to the
// last line of the text.
std::vector<Routine> routine_outline(const Document& doc, const std::vector<LineSpan>& marks,
                                     const std::vector<std::string>& reserved);

// The same, with text and cats doc's text and the category of each of its
// bytes, which the caller holds: read there rather than asked of doc.
// Either not as long as doc's text: as above.
std::vector<Routine> routine_outline(const Document& doc, const std::string& text,
                                     const std::vector<signed char>& cats,
                                     const std::vector<LineSpan>& marks,
                                     const std::vector<std::string>& reserved);

// The name of a routine header: the word just before its first '(' (blanks
// may stand between), else its first word. *at is where it starts.
std::string routine_name(const std::string& header, size_t* at);

}  // namespace wyn

#endif
