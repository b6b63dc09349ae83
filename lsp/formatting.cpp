// Whole-document and range formatting: the session's re-indenter on the
// client's text, in the client's indentation, answered as one edit per
// line whose leading whitespace changes.
#include <algorithm>
#include <new>

#include "format.h"
#include "server.h"

namespace wyn::lsp {

IndentUnit Server::indent_unit(uint32_t tab_size, bool insert_spaces) {
  // A client may send anything: no size, or one no script is indented by.
  const uint32_t most = 32;
  IndentUnit unit;
  int size = tab_size == 0 ? 8 : (int)std::min(tab_size, most);
  unit.tabs = !insert_spaces;
  unit.size = size;
  unit.tab_width = size;
  return unit;
}

Server::Reply Server::on_formatting(OpenScript* d, const FormattingParams& p) {
  long first = 1, last = -1;
  if (p.range) {
    first = (long)p.range->start.line + 1;
    last = (long)p.range->end.line + 1;
    // A selection that ends at the start of a line takes none of that line.
    if (p.range->end.character == 0 && last > first) last--;
    if (last < first) return Reply{json::array()};
  }
  // Coloured afresh and whole, as a file opened in the editor is.
  if (!scratch_.set_text(d->text)) throw std::bad_alloc();  // answered as an error
  FormatResult result;
  std::string problem;
  if (!format_document(scratch_, indent_unit(p.tab_size, p.insert_spaces), first, last, &result,
                       &problem))
    return error(REQUEST_FAILED, problem);
  if (!result.problems.empty()) {
    // The script's diagnostics already say where.
    log(3, "not formatted: its blocks do not balance");
    return Reply{json::array()};
  }
  json edits = json::array();
  for (const LineIndent& c : result.changes) {
    // Leading whitespace is blanks and tabs: one unit each in any encoding.
    uint32_t line = (uint32_t)(c.line - 1);
    Range range{Position{line, 0}, Position{line, (uint32_t)(c.to - c.from)}};
    edits.push_back(TextEdit{range, c.indent});
  }
  return Reply{edits};
}

}  // namespace wyn::lsp
