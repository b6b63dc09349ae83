// Quick fixes: the code actions that put right a problem the checker
// reported with a fix of its own (the closing word of a block left open),
// for the problems a code-action request names in its context.
#ifndef WYN_LSP_QUICKFIX_H
#define WYN_LSP_QUICKFIX_H

#include <string>

#include "protocol.h"
#include "text.h"

namespace wyn::lsp {

struct OpenScript;

// textDocument/codeAction's params: the range, and the diagnostics of the
// request's context as the client sent them (none when it sent no
// context, or one that is not a list).
struct CodeActionParams : RangeParams {
  json diagnostics = json::array();
};
bool read(const json& j, CodeActionParams* out, std::string* problem);

// A "quickfix" action for each of p's diagnostics that the checker finds
// in d as it is now, at the same range with the same message, and can
// fix, appended to *actions (a JSON array).
void add_quick_fixes(const OpenScript& d, Encoding enc, const CodeActionParams& p, json* actions);

}  // namespace wyn::lsp

#endif
