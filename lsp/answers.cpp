// The writers of what the server sends.
#include "answers.h"

#include "jsonw.h"

namespace wyn::lsp {

namespace {

void write_json(std::string* out, const Range& r) {
  write_range(out, r.start, r.end);
}

void write_json(std::string* out, const CompletionItem& c) {
  out->append("{\"label\":");
  write_string(out, c.label);
  out->append(",\"kind\":");
  write_uint(out, (uint64_t)c.kind);
  if (c.snippet) {
    out->append(*c.snippet ? ",\"insertTextFormat\":2" : ",\"insertTextFormat\":1");
    out->append(",\"insertTextMode\":1");  // as it is
  }
  if (c.text_edit) {
    out->append(",\"textEdit\":{\"range\":");
    write_json(out, c.text_edit->range);
    out->append(",\"newText\":");
    write_string(out, c.text_edit->new_text);
    out->push_back('}');
  }
  if (c.text_edit_text) {
    out->append(",\"textEditText\":");
    write_string(out, *c.text_edit_text);
  }
  out->push_back('}');
}

void write_json(std::string* out, const DocumentSymbol& s) {
  out->append("{\"name\":");
  write_string(out, s.name);
  out->append(",\"detail\":");
  write_string(out, s.detail);
  out->append(",\"kind\":");
  write_uint(out, (uint64_t)s.kind);
  out->append(",\"range\":");
  write_json(out, s.range);
  out->append(",\"selectionRange\":");
  write_json(out, s.selection_range);
  out->push_back('}');
}

void write_json(std::string* out, const SymbolInformation& s) {
  out->append("{\"name\":");
  write_string(out, s.name);
  out->append(",\"kind\":");
  write_uint(out, (uint64_t)s.kind);
  out->append(",\"location\":{\"uri\":");
  write_string(out, s.location.uri);
  out->append(",\"range\":");
  write_json(out, s.location.range);
  out->append("}}");
}

void write_json(std::string* out, const FoldingRange& f) {
  out->append("{\"startLine\":");
  write_uint(out, f.start_line);
  out->append(",\"endLine\":");
  write_uint(out, f.end_line);
  out->append(f.comment ? ",\"kind\":\"comment\"}" : "}");
}

template <class T>
void write_array(std::string* out, const std::vector<T>& items) {
  out->push_back('[');
  for (size_t i = 0; i < items.size(); i++) {
    if (i != 0) out->push_back(',');
    write_json(out, items[i]);
  }
  out->push_back(']');
}

}  // namespace

void write_json(std::string* out, const CompletionList& l) {
  out->append(l.is_incomplete ? "{\"isIncomplete\":true," : "{\"isIncomplete\":false,");
  if (l.edit_range) {
    out->append("\"itemDefaults\":{\"editRange\":");
    write_json(out, *l.edit_range);
    out->append("},");
  }
  out->append("\"items\":");
  write_array(out, l.items);
  out->push_back('}');
}

void write_json(std::string* out, const std::vector<DocumentSymbol>& symbols) {
  write_array(out, symbols);
}

void write_json(std::string* out, const std::vector<SymbolInformation>& symbols) {
  write_array(out, symbols);
}

void write_json(std::string* out, const std::vector<FoldingRange>& folds) {
  write_array(out, folds);
}

void to_json(json& j, const MarkupContent& m) {
  j = json{{"kind", m.plaintext ? "plaintext" : "markdown"}, {"value", m.value}};
}

MarkupContent code_markup(bool plaintext, const std::string& code, const std::string& note) {
  MarkupContent m;
  m.plaintext = plaintext;
  m.value = plaintext ? code : "```wyn\n" + code + "\n```";
  if (!note.empty()) m.value += "\n\n" + note;
  return m;
}

void to_json(json& j, const TextEdit& e) {
  j = json{{"range", e.range}, {"newText", e.new_text}};
}

void to_json(json& j, const Location& l) {
  j = json{{"uri", l.uri}, {"range", l.range}};
}

void to_json(json& j, const Hover& h) {
  j = json{{"contents", h.contents}, {"range", h.range}};
}

void to_json(json& j, const ParameterInformation& p) {
  j = json{{"label", {p.start, p.end}}};
}

void to_json(json& j, const SignatureInformation& s) {
  j = json{{"label", s.label},
           {"parameters", s.parameters},
           {"activeParameter", s.active_parameter},
           {"documentation", s.documentation}};
}

void to_json(json& j, const SignatureHelp& s) {
  j = json{{"signatures", s.signatures},
           {"activeSignature", s.active_signature},
           {"activeParameter", s.active_parameter}};
}

void to_json(json& j, const Command& c) {
  j = json{{"title", c.title}, {"command", c.command}, {"arguments", c.arguments}};
}

void to_json(json& j, const CodeAction& a) {
  j = json{{"title", a.title}, {"kind", a.kind}, {"command", a.command}};
}

void to_json(json& j, const WorkspaceEdit& e) {
  j = json{{"changes", e.changes}};
}

void to_json(json& j, const ApplyWorkspaceEditParams& p) {
  j = json{{"label", p.label}, {"edit", p.edit}};
}

void to_json(json& j, const MessageParams& m) {
  j = json{{"type", (int)m.type}, {"message", m.message}};
}

}  // namespace wyn::lsp
