// Routines as a reader sees them: the plug-in's routine list less the
// marked lines that are statements rather than routines, each with the
// whole extent of its body. Front ends list, tag and outline these.
#ifndef WYN_SESSION_OUTLINE_H
#define WYN_SESSION_OUTLINE_H

#include <string>
#include <vector>

#include "session.h"

namespace wyn {

struct Routine {
  LineSpan marked;     // the lines the plug-in marked: the header
  LineSpan extent;     // the header to the last line of the body
  std::string header;  // the header's first line, without its line break
  std::string name;    // the word just before the header's first '('
  size_t name_at = 0;  // where name starts in header
};

// The routines among marks (the plug-in's routine list of doc). A marked
// header named by one of reserved (the plug-in's reserved words), such as
// "if (a) then" in the first column, is a statement and left out. A body
// runs from the header to the first later line that starts, at the
// header's indentation, with "end" and then ';' (blanks may stand between);
// without one, to the line before the next routine's header, or to the
// last line of the text.
std::vector<Routine> routine_outline(const Document& doc, const std::vector<LineSpan>& marks,
                                     const std::vector<std::string>& reserved);

// The name of a routine header: the word just before its first '(' (blanks
// may stand between), else its first word. *at is where it starts.
std::string routine_name(const std::string& header, size_t* at);

}  // namespace wyn

#endif
