// What the server answers about a script, each from the plug-in:
// completion from its tables and templates, signature help and hover from
// its templates, symbols and folding from its routine list and colours,
// formatting from its smart indent, the expansion command from its
// template expansion.
#include <assert.h>

#include <algorithm>
#include <new>

#include "answers.h"
#include "chars.h"
#include "format.h"
#include "server.h"

namespace wyn::lsp {

namespace {

const char* const class_kind_names[3] = {"constant or system variable", "reserved word",
                                         "built-in function"};

bool is_word_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '#';
}

bool is_space(char c) {
  return (c >= 9 && c <= 13) || c == ' ';
}

// The largest completion list sent; a longer one is cut and marked incomplete.
const size_t kCompletionLimit = 300;

// name starts with typed's first character and holds the rest in order,
// letter case aside.
bool matches(const std::string& name, const std::string& typed) {
  if (name.empty() || ascii_lower(name[0]) != ascii_lower(typed[0])) return false;
  size_t at = 1;
  for (size_t i = 1; i < name.size() && at < typed.size(); i++)
    if (ascii_lower(name[i]) == ascii_lower(typed[at])) at++;
  return at == typed.size();
}

// The word around pos (letters, digits, '_', '#'): [*a, *b).
void word_around(const std::string& text, size_t pos, size_t* a, size_t* b) {
  assert(pos <= text.size());  // offsets come clamped from the line index
  size_t s = pos, e = pos;
  while (s > 0 && is_word_char(text[s - 1])) s--;
  while (e < text.size() && is_word_char(text[e])) e++;
  *a = s, *b = e;
}

std::string indent_of(const std::string& text, size_t line_start) {
  assert(line_start <= text.size());
  size_t e = line_start;
  while (e < text.size() && is_blank(text[e])) e++;
  return text.substr(line_start, e - line_start);
}

// A template as shown to a reader: without the cursor mark.
std::string shown_template(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '&') out += c;
  return out;
}

}  // namespace

// The word (letters, digits, '_', '#') at a client position: [*a, *b).
// False when there is none.
bool Server::word_at(const OpenScript* d, Position at, size_t* a, size_t* b) const {
  word_around(d->text, d->lines.offset(d->text, at, encoding_), a, b);
  return *a != *b;
}

// {====== completion

Server::Reply Server::on_completion(OpenScript* d, const PositionParams& p) {
  size_t cur = d->lines.offset(d->text, p.position, encoding_);
  size_t line_start = d->lines.line_start(d->lines.line_of(cur));
  size_t ws = cur;
  while (ws > line_start && is_word_char(d->text[ws - 1])) ws--;
  std::string prefix = d->text.substr(ws, cur - ws);
  std::string indent = indent_of(d->text, line_start);
  Range range{d->lines.position(d->text, ws, encoding_),
              d->lines.position(d->text, cur, encoding_)};

  // With nothing typed yet the list holds every word and template. Details
  // and documentation come with resolve.
  CompletionList list;
  list.items.reserve(kCompletionLimit);  // one allocation: most lists are cut there
  if (item_defaults_) list.edit_range = range;
  size_t count = 0;
  auto add = [&](const std::string& name, CompletionKind kind) {
    // The client filters and ranks. Kept here: words whose first character
    // is the typed one and which hold the rest in order, letter case aside,
    // which is what a client's fuzzy match needs.
    if (!prefix.empty() && !matches(name, prefix)) return;
    if (count++ >= kCompletionLimit) {
      list.is_incomplete = true;  // the client asks again as more is typed
      return;
    }
    CompletionItem& item = list.items.emplace_back();
    item.label = name;
    item.kind = kind;
    const std::string* t = vocab_.template_of(name);
    if (t != nullptr) item.snippet = snippets_;
    if (t == nullptr && item_defaults_) return;  // the label over the list's range
    std::string text = t == nullptr ? name
                       : snippets_  ? template_snippet(*t, indent)
                                    : template_plain(*t, indent);
    if (item_defaults_)
      item.text_edit_text = std::move(text);
    else
      item.text_edit = TextEdit{range, std::move(text)};
  };
  // Reserved words and templates first, then functions, then the many
  // constants, so a list cut short keeps the words most typed.
  static const int order[3] = {1, 2, 0};
  static const CompletionKind kinds[3] = {CompletionKind::Constant, CompletionKind::Keyword,
                                          CompletionKind::Function};
  for (int k = 0; k < 3; k++) {
    int c = order[k];
    for (const std::string& w : vocab_.words[c])
      if (vocab_.class_of(w) == c) add(w, kinds[c]);
    if (c == 1)
      for (const auto& t : vocab_.templates)
        if (vocab_.class_of(t.first) < 0) add(t.first, CompletionKind::Snippet);
  }
  Reply r;
  write_json(&r.raw, list);
  return r;
}

Server::Reply Server::on_completion_resolve(const json& params) {
  if (!params.is_object()) return error(INVALID_PARAMS, "a completion item is an object");
  json item = params;
  auto label = params.find("label");
  if (label == params.end() || !label->is_string())
    return error(INVALID_PARAMS, "a completion item has a label");
  std::string name = label->get<std::string>();
  int cls = vocab_.class_of(name);
  const std::string* t = vocab_.template_of(name);
  item["detail"] = cls >= 0 ? class_kind_names[cls] : t ? "template" : "";
  if (t != nullptr) item["documentation"] = code_markup(plain_completion_, shown_template(*t));
  return Reply{item};
}

// }======

// {====== signature help and hover

Server::Reply Server::on_signature_help(OpenScript* d, const PositionParams& p) {
  size_t cur = d->lines.offset(d->text, p.position, encoding_);
  uint32_t line = d->lines.line_of(cur);
  size_t from = d->lines.line_start(line > 50 ? line - 50 : 0);
  assert(from <= cur && cur <= d->text.size());
  // Strings and comments as the plug-in coloured them: their commas and
  // parentheses are not the call's.
  std::vector<signed char> cats(cur - from);
  d->doc.categories(from, cur - from, cats.data());
  int depth = 0;
  uint32_t commas = 0;
  size_t open = std::string::npos;
  for (size_t i = cur; i > from; i--) {
    signed char cat = cats[i - 1 - from];
    if (cat == CAT_STRING || cat == CAT_COMMENT) continue;
    char c = d->text[i - 1];
    if (c == ')') {
      depth++;
    } else if (c == '(') {
      if (depth == 0) {
        open = i - 1;
        break;
      }
      depth--;
    } else if (c == ',' && depth == 0) {
      commas++;
    } else if (c == ';' && depth == 0) {
      break;  // a statement ended: no call is open here
    }
  }
  if (open == std::string::npos) return Reply{json(nullptr)};
  size_t e = open;
  while (e > from && is_blank(d->text[e - 1])) e--;
  size_t s = e;
  while (s > from && is_word_char(d->text[s - 1])) s--;
  std::string name = d->text.substr(s, e - s);
  const std::string* t = vocab_.template_of(name);
  if (t == nullptr && !name.empty()) {
    // A routine of the script's own, or of a file it includes.
    SignatureHelp help;
    for (const RoutineAt& r : routines_named(d, name))
      if (routine_signature(r, commas, &help)) return Reply{json(help)};
    return Reply{json(nullptr)};
  }
  CallTemplate call;
  if (t == nullptr || !parse_call_template(*t, &call)) return Reply{json(nullptr)};
  // Each label's units counted on from the one before, not from the
  // signature's start: a template may hold a great many parameters.
  SignatureInformation sig;
  sig.parameters.reserve(call.offsets.size());
  size_t byte = 0;
  uint32_t units = 0;
  for (const auto& o : call.offsets) {
    units += units_between(call.signature, byte, o.first, encoding_);
    uint32_t a = units;
    units += units_between(call.signature, o.first, o.second, encoding_);
    sig.parameters.push_back({a, units});
    byte = o.second;
  }
  sig.label = call.signature;
  sig.active_parameter = std::min<uint32_t>(commas, (uint32_t)call.params.size() - 1);
  sig.documentation = code_markup(plain_signature_, shown_template(*t));
  SignatureHelp help;
  help.active_parameter = sig.active_parameter;
  help.signatures.push_back(std::move(sig));
  return Reply{json(help)};
}

Server::Reply Server::on_hover(OpenScript* d, const PositionParams& p) {
  size_t a = 0, b = 0;
  if (!word_at(d, p.position, &a, &b)) return Reply{json(nullptr)};
  std::string word = d->text.substr(a, b - a);
  int cls = vocab_.class_of(word);
  const std::string* t = vocab_.template_of(word);
  MarkupContent value;
  if (cls == 2 && t != nullptr) {
    value = code_markup(plain_hover_, shown_template(*t), "built-in function");
  } else if (cls >= 0) {
    value.plaintext = plain_hover_;
    value.value = (plain_hover_ ? word : "`" + word + "`") + ": " + class_kind_names[cls];
  } else if (t != nullptr) {
    value = code_markup(plain_hover_, shown_template(*t), "template");
  } else {
    // A routine's header, here or in a file included.
    std::vector<RoutineAt> found = routines_named(d, word);
    if (found.empty()) return Reply{json(nullptr)};
    const std::string& h = found[0].header;
    size_t lead = 0;
    while (lead < h.size() && is_blank(h[lead])) lead++;
    value = code_markup(plain_hover_, h.substr(lead));
  }
  Range range{d->lines.position(d->text, a, encoding_), d->lines.position(d->text, b, encoding_)};
  return Reply{json(Hover{std::move(value), range})};
}

// }======

// {====== symbols and folding

Server::Reply Server::on_document_symbol(OpenScript* d, const DocumentParams&) {
  std::vector<DocumentSymbol> symbols;
  for (const Routine& rt : routines_of(d)) {
    if (rt.declaration) continue;
    DocumentSymbol& s = symbols.emplace_back();
    s.name = rt.name;
    s.detail = rt.header;
    s.range = Range{d->lines.position(d->text, rt.start, encoding_),
                    d->lines.position(d->text, rt.end, encoding_)};
    s.selection_range = Range{d->lines.position(d->text, rt.name_start, encoding_),
                              d->lines.position(d->text, rt.name_end, encoding_)};
  }
  Reply r;
  write_json(&r.raw, symbols);
  return r;
}

Server::Reply Server::on_folding_range(OpenScript* d, const DocumentParams&) {
  std::vector<FoldingRange> folds;
  auto fold = [&](uint32_t a, uint32_t b, bool comment) {
    if (b > a) folds.push_back(FoldingRange{a, b, comment});
  };
  for (const Routine& rt : routines_of(d))
    if (!rt.declaration) fold(d->lines.line_of(rt.start), d->lines.line_of(rt.end), false);
  // Block comments: comment colour running across a line break.
  std::vector<signed char> cats = d->doc.categories();
  size_t n = std::min(cats.size(), d->text.size());
  for (size_t i = 0; i < n;) {
    if (cats[i] != CAT_COMMENT) {
      i++;
      continue;
    }
    size_t j = i;
    while (j < n && cats[j] == CAT_COMMENT) j++;
    if (d->text.compare(i, 2, "/*") == 0) fold(d->lines.line_of(i), d->lines.line_of(j - 1), true);
    i = j;
  }
  Reply r;
  write_json(&r.raw, folds);
  return r;
}

// }======

// {====== formatting and the expansion command

Server::Reply Server::on_on_type_formatting(OpenScript* d, const OnTypeParams& p) {
  Reply r;
  uint32_t line = p.position.line;
  if (p.ch != "\n" || line == 0 || line >= d->lines.line_count()) return Reply{json::array()};
  // The text as it was when Enter was pressed: the line before, the cursor
  // at its end, the rest of the new line after it. The plug-in's Enter
  // (smart indent, else the editor's plain new line) then says what the
  // new line's indentation should be, whatever the client put there.
  size_t before_end = d->lines.content_end(d->text, line - 1);
  size_t start = d->lines.line_start(line);
  size_t content_end = d->lines.content_end(d->text, line);
  size_t have_end = start;
  while (have_end < content_end && is_blank(d->text[have_end])) have_end++;
  std::string text = d->text.substr(0, before_end);
  text.append(d->text, have_end, content_end - have_end);
  if (!scratch_.set_text(text)) throw std::bad_alloc();  // answered as an error
  scratch_.set_cursor((long)before_end);
  Document::Edit edit;
  std::string problem;
  if (!scratch_.enter(&edit, &problem)) return error(REQUEST_FAILED, problem);
  std::string after = scratch_.text();
  size_t i = before_end;
  if (i < after.size() && after[i] == '\r') i++;
  if (i < after.size() && after[i] == '\n') i++;
  // The plug-in's tab becomes one level of the client's indentation.
  std::string want =
      plugin_indent_in_unit(indent_of(d->text, d->lines.line_start(line - 1)), indent_of(after, i),
                            indent_unit(p.tab_size, p.insert_spaces));
  std::string have = d->text.substr(start, have_end - start);
  if (want == have) return Reply{json::array()};
  Range range{Position{line, 0},
              Position{line, units_between(d->text, start, have_end, encoding_)}};
  return Reply{json::array({TextEdit{range, want}})};
}

// The plug-in's expansion at pos, as one edit of the client's text.
bool Server::expansion_edit(OpenScript* d, size_t pos, TextEdit* out, Position* cursor) {
  assert(pos <= d->text.size());
  if (!scratch_.set_text(d->text)) throw std::bad_alloc();
  Document::Edit edit;
  std::string problem;
  if (!scratch_.expand((long)pos, &edit, &problem) || !edit.done || !edit.changed) return false;
  std::string after = scratch_.text();
  const std::string& before = d->text;
  size_t head = 0, common = std::min(before.size(), after.size());
  while (head < common && before[head] == after[head]) head++;
  size_t tail = 0;
  while (tail < common - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
    tail++;
  out->range = Range{d->lines.position(before, head, encoding_),
                     d->lines.position(before, before.size() - tail, encoding_)};
  out->new_text = after.substr(head, after.size() - tail - head);
  // The cursor in the text after the edit: the edit's start plus what of
  // the new text stands before it.
  size_t at = std::min((size_t)scratch_.cursor(), after.size());
  Position p = out->range.start;
  size_t from = head;
  if (at < head) {
    p = d->lines.position(before, at, encoding_);
  } else {
    for (size_t k = head; k < at; k++)
      if (after[k] == '\n') {
        p.line++;
        p.character = 0;
        from = k + 1;
      }
    p.character += units_between(after, from, at, encoding_);
  }
  *cursor = p;
  return true;
}

Server::Reply Server::on_code_action(OpenScript* d, const CodeActionParams& p) {
  json actions = json::array();
  add_quick_fixes(*d, encoding_, p, &actions);
  size_t pos = d->lines.offset(d->text, p.range.start, encoding_);
  // The word the expansion key would take: from the start of the word the
  // position is in up to the next whitespace, as the plug-in reads it.
  size_t a = 0, b = 0;
  word_around(d->text, pos, &a, &b);
  if (a == b) return Reply{actions};
  size_t e = a;
  while (e < d->text.size() && !is_space(d->text[e])) e++;
  std::string word = d->text.substr(a, e - a);
  signed char cat = CAT_NONE;
  d->doc.categories(a, 1, &cat);
  if (vocab_.template_of(word) == nullptr || cat == CAT_COMMENT) return Reply{actions};
  json args = {
      {{"textDocument", {{"uri", p.uri}}}, {"position", d->lines.position(d->text, a, encoding_)}}};
  CodeAction action{"Expand template '" + word + "'", "refactor.rewrite",
                    Command{"Expand template", kCommandExpand, args}};
  actions.push_back(action);
  return Reply{actions};
}

Server::Reply Server::on_execute_command(const json& params) {
  Fields f(params, "params");
  std::string command = f.string("command");
  const json* args = f.array("arguments", false);
  if (!f.ok()) return error(INVALID_PARAMS, f.problem());
  if (command != kCommandExpand) return error(INVALID_PARAMS, "no command " + command);
  // Arguments: {textDocument, position}, or a uri and a position.
  PositionParams pp;
  std::string problem = "wyn.expandTemplate takes {textDocument, position}";
  bool ok = false;
  if (args != nullptr && args->size() == 1) {
    ok = read((*args)[0], &pp, &problem);
  } else if (args != nullptr && args->size() == 2 && (*args)[0].is_string()) {
    pp.uri = (*args)[0].get<std::string>();
    ok = read((*args)[1], &pp.position, &problem);
  }
  if (!ok) return error(INVALID_PARAMS, problem);
  Reply r;
  OpenScript* d = find(pp.uri, &r);
  if (d == nullptr) return r;
  TextEdit edit;
  Position cursor;
  if (!expansion_edit(d, d->lines.offset(d->text, pp.position, encoding_), &edit, &cursor)) {
    log(3, "nothing to expand there");
    return Reply{json(nullptr)};
  }
  WorkspaceEdit workspace_edit;
  workspace_edit.changes[pp.uri].push_back(std::move(edit));
  if (apply_edit_support_)
    request("workspace/applyEdit", ApplyWorkspaceEditParams{"Expand template", workspace_edit});
  // The edit, and where the template's cursor mark puts the cursor once
  // it is made, for the client to move there.
  json result = workspace_edit;
  result["cursor"] = cursor;
  return Reply{result};
}

// }======

}  // namespace wyn::lsp
