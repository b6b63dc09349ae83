// Problems in a script that a reader would want pointed out before the
// script is built: blocks opened and never closed or closed by the wrong
// word, a block comment that runs to the end of the file, a string not
// closed on its line, a routine defined twice, a goto with no label to go
// to in its routine. What is a comment or a string is what the plug-in
// coloured so; the checker reads the words of the code around them.
//
// A script that builds and runs must get no error, so every rule keeps
// quiet where it cannot be sure: block words inside a preprocessor
// conditional with alternative branches, in a macro's body, or written in
// an unusual letter case leave the blocks of that file unchecked.
#ifndef WYN_SESSION_DIAGNOSTICS_H
#define WYN_SESSION_DIAGNOSTICS_H

#include <stddef.h>

#include <optional>
#include <string>
#include <vector>

#include "outline.h"
#include "session.h"

namespace wyn {

struct Diagnostic {
  enum Severity { ERROR = 1, WARNING = 2 };  // as the protocol numbers them
  Severity severity = ERROR;
  size_t from = 0, to = 0;         // the bytes it points at
  long line = 0, col = 0;          // of from: line from 1, byte column from 0
  long end_line = 0, end_col = 0;  // of to, the same way
  std::string message;
  // A plain fix, when there is one: fix_text inserted at byte fix_at.
  bool has_fix = false;
  size_t fix_at = 0;
  std::string fix_text;
};

// The problems of text, whose bytes the plug-in coloured as cats says (one
// category a byte; a shorter cats leaves the rest uncoloured), in the
// order of their positions. routines, when given, is the outline of the
// same text (routine_outline) and turns on the rules about routines.
std::vector<Diagnostic> check_text(const std::string& text, const std::vector<signed char>& cats,
                                   const std::vector<Routine>* routines = nullptr);

// Checks doc as it is coloured now, every rule: text is its text, which
// the caller holds anyway, and reserved the plug-in's reserved words.
// False, with *error saying why, when the plug-in cannot be called.
bool check_coloured(Document& doc, const std::string& text,
                    const std::vector<std::string>& reserved, std::vector<Diagnostic>* out,
                    std::string* error);

// The same, with cats doc's colours as categories() reads them, for a
// caller that holds them anyway. outline, when given, gets doc's outline
// (routine_outline) if the routine rules made one, so that a caller that
// shows both need not make it again; else it is left empty.
bool check_coloured(Document& doc, const std::string& text, const std::vector<signed char>& cats,
                    const std::vector<std::string>& reserved, std::vector<Diagnostic>* out,
                    std::string* error, std::optional<std::vector<Routine>>* outline = nullptr);

// Colours doc whole, as the editor does on opening a file, and checks it.
bool check_document(Document& doc, const std::vector<std::string>& reserved,
                    std::vector<Diagnostic>* out, std::string* error);

}  // namespace wyn

#endif
