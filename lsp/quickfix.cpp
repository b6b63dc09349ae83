// Quick fixes from the checker's own fixes. The client echoes the
// diagnostics it was sent; the script is checked again and each one is
// matched by range and message, so a stale or foreign diagnostic gets no
// action rather than an edit at the wrong place.
#include "quickfix.h"

#include "diagnostics.h"
#include "server.h"

namespace wyn::lsp {

bool read(const json& j, CodeActionParams* out, std::string* problem) {
  if (!read(j, static_cast<RangeParams*>(out), problem)) return false;
  auto context = j.find("context");
  if (context == j.end() || !context->is_object()) return true;
  auto list = context->find("diagnostics");
  if (list != context->end() && list->is_array()) out->diagnostics = *list;
  return true;
}

namespace {

bool same(const Position& a, const Position& b) {
  return a.line == b.line && a.character == b.character;
}

// The fix's text without the line breaks and indentation around it.
std::string shown_text(const std::string& fix) {
  size_t a = fix.find_first_not_of(" \t\r\n");
  size_t b = fix.find_last_not_of(" \t\r\n");
  return a == std::string::npos ? std::string() : fix.substr(a, b - a + 1);
}

}  // namespace

void add_quick_fixes(const OpenScript& d, Encoding enc, const CodeActionParams& p, json* actions) {
  if (p.diagnostics.empty()) return;
  // Fixes come from the block rules alone, which need no routine list.
  std::vector<Diagnostic> found = check_text(d.text, d.doc.categories());
  for (const json& asked : p.diagnostics) {
    Range range;
    std::string problem;
    if (!asked.is_object() || !asked.contains("range") || !read(asked["range"], &range, &problem))
      continue;
    auto message = asked.find("message");
    if (message == asked.end() || !message->is_string()) continue;
    for (const Diagnostic& f : found) {
      if (!f.has_fix || f.message != message->get_ref<const std::string&>() ||
          !same(d.lines.position(d.text, f.from, enc), range.start) ||
          !same(d.lines.position(d.text, f.to, enc), range.end))
        continue;
      Position at = d.lines.position(d.text, f.fix_at, enc);
      WorkspaceEdit edit;
      edit.changes[p.uri].push_back(TextEdit{Range{at, at}, f.fix_text});
      actions->push_back({{"title", "Insert `" + shown_text(f.fix_text) + "`"},
                          {"kind", "quickfix"},
                          {"diagnostics", json::array({asked})},
                          {"isPreferred", true},
                          {"edit", edit}});
      break;
    }
  }
}

}  // namespace wyn::lsp
