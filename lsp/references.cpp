// The uses of a name as the server answers for them: references and
// document highlights, and rename with the reasons it refuses. A global
// name is looked for in every open script and in the workspace index's
// files; a routine's own variable or label only in that routine.
#include <new>
#include <set>

#include "server.h"
#include "uri.h"

namespace wyn::lsp {

namespace {

// DocumentHighlightKind.
enum { HIGHLIGHT_TEXT = 1, HIGHLIGHT_READ = 2, HIGHLIGHT_WRITE = 3 };

const char* const class_names[3] = {"constant", "reserved word", "built-in function"};

std::vector<RoutinePlace> places_of(const std::vector<Routine>& routines) {
  std::vector<RoutinePlace> out;
  out.reserve(routines.size());
  for (const Routine& r : routines)
    out.push_back(RoutinePlace{r.start, r.end, r.name_start, r.name_end, r.declaration});
  return out;
}

// Why word, chosen as a new name, will not do; "" when it will.
std::string bad_new_name(const std::string& word, const Vocabulary& vocab) {
  if (!is_identifier(word))
    return "`" + word + "` is not a name: a letter or '_' first, then letters, digits and '_'";
  int cls = vocab.class_of(word);
  if (cls >= 0) return "`" + word + "` is a " + class_names[cls] + " and cannot be a new name";
  return "";
}

}  // namespace

// One file's uses of a name, with the client's ranges for them.
struct Server::FileUses {
  std::string uri;
  const OpenScript* open = nullptr;  // null for a file of the workspace index
  std::vector<NameUse> uses;
  std::vector<Range> ranges;  // in step with uses
};

// d's names, as its colours and routines stand.
NameMap Server::names_of(OpenScript* d) {
  std::vector<signed char> cats = d->doc.categories();
  return NameMap(d->text, cats, places_of(routines_of(d)));
}

// The symbol whose name is at `at` in d (whose names are names), and the
// name's range. False with *why saying what stands there instead.
bool Server::symbol_at(OpenScript* d, const NameMap& names, Position at, NameSymbol* symbol,
                       Range* range, std::string* why) {
  size_t pos = d->lines.offset(d->text, at, encoding_), a = 0, b = 0;
  if (names.symbol_at(pos, symbol, &a, &b)) {
    *range =
        Range{d->lines.position(d->text, a, encoding_), d->lines.position(d->text, b, encoding_)};
    return true;
  }
  // Said by the word around the position, as the reader sees it.
  if (!word_at(d, at, &a, &b)) {
    *why = "there is no name here";
    return false;
  }
  std::string word = d->text.substr(a, b - a);
  int cls = vocab_.class_of(word);
  signed char cat = CAT_NONE;
  d->doc.categories(a, 1, &cat);
  if (cat == CAT_COMMENT || cat == CAT_STRING)
    *why = "`" + word + "` is in a " + (cat == CAT_COMMENT ? "comment" : "string") +
           ", not a name in the code";
  else if (cls >= 0)
    *why = "`" + word + "` is a " + class_names[cls] + " and cannot be renamed";
  else
    *why = "`" + word + "` is not a name of the script's";
  return false;
}

// Every use of symbol: d's, and for a global name those of the other open
// scripts and of the workspace's files as they are on disk.
void Server::uses_of(OpenScript* d, const NameMap& names, const NameSymbol& symbol,
                     std::vector<FileUses>* out) {
  auto add = [&](const std::string& uri, const OpenScript* open, const std::string& text,
                 const LineIndex& lines, std::vector<NameUse> uses) {
    if (uses.empty()) return;
    FileUses& f = out->emplace_back();
    f.uri = uri;
    f.open = open;
    for (const NameUse& u : uses)
      f.ranges.push_back(
          Range{lines.position(text, u.start, encoding_), lines.position(text, u.end, encoding_)});
    f.uses = std::move(uses);
  };
  add(d->uri, d, d->text, d->lines, names.uses(symbol));
  if (symbol.local()) return;
  NameSymbol global;
  global.name = symbol.name;
  std::set<std::string> open_paths;
  for (auto& entry : scripts_) {
    OpenScript* s = entry.second.get();
    open_paths.insert(uri_to_path(s->uri));
    if (s != d && s->text.find(global.name) != std::string::npos)
      add(s->uri, s, s->text, s->lines, names_of(s).uses(global));
  }
  for (const auto& entry : index_.files()) {
    const std::string& path = entry.first;
    if (open_paths.count(path) != 0) continue;
    std::string text;
    // A file gone or grown past the index's limit since it was read is
    // passed over, as the index itself would.
    if (read_regular_file(path, options_.index_limits.file_bytes, &text, nullptr, nullptr) != 0 ||
        text.find(global.name) == std::string::npos)
      continue;
    if (!scratch_.set_text(text)) throw std::bad_alloc();  // answered as an error
    scratch_.colour_whole();
    std::vector<signed char> cats = scratch_.categories();
    NameMap map(text, cats, places_of(find_routines(scratch_, text, vocab_)));
    LineIndex lines;
    lines.build(text);
    add(path_to_uri(path), nullptr, text, lines, map.uses(global));
  }
}

Server::Reply Server::on_references(const json& params) {
  PositionParams p;
  Reply r;
  OpenScript* d = take(params, &p, &r);
  if (d == nullptr) return r;
  bool declarations = true;
  if (auto c = params.find("context"); c != params.end() && !c->is_null()) {
    Fields f(*c, "context");
    declarations = f.boolean("includeDeclaration", true);
    if (!f.ok()) return error(INVALID_PARAMS, f.problem());
  }
  NameMap names = names_of(d);
  NameSymbol symbol;
  Range range;
  std::string why;
  if (!symbol_at(d, names, p.position, &symbol, &range, &why)) return Reply{json(nullptr)};
  if (!symbol.local() && must_wait()) {
    r.parked = true;
    return r;
  }
  std::vector<FileUses> files;
  uses_of(d, names, symbol, &files);
  json out = json::array();
  for (const FileUses& f : files)
    for (size_t i = 0; i < f.uses.size(); i++)
      if (declarations || !f.uses[i].declaration) out.push_back(Location{f.uri, f.ranges[i]});
  return Reply{out};
}

Server::Reply Server::on_document_highlight(OpenScript* d, const PositionParams& p) {
  NameMap names = names_of(d);
  NameSymbol symbol;
  Range range;
  std::string why;
  if (!symbol_at(d, names, p.position, &symbol, &range, &why)) return Reply{json(nullptr)};
  json out = json::array();
  for (const NameUse& u : names.uses(symbol)) {
    int kind = u.write ? HIGHLIGHT_WRITE : u.declaration ? HIGHLIGHT_TEXT : HIGHLIGHT_READ;
    Range r{d->lines.position(d->text, u.start, encoding_),
            d->lines.position(d->text, u.end, encoding_)};
    out.push_back({{"range", r}, {"kind", kind}});
  }
  return Reply{out};
}

Server::Reply Server::on_prepare_rename(OpenScript* d, const PositionParams& p) {
  NameSymbol symbol;
  Range range;
  std::string why;
  if (!symbol_at(d, names_of(d), p.position, &symbol, &range, &why))
    return error(REQUEST_FAILED, why);
  return Reply{json{{"range", range}, {"placeholder", symbol.name}}};
}

Server::Reply Server::on_rename(const json& params) {
  PositionParams p;
  Reply r;
  OpenScript* d = take(params, &p, &r);
  if (d == nullptr) return r;
  Fields f(params, "params");
  std::string new_name = f.string("newName");
  if (!f.ok()) return error(INVALID_PARAMS, f.problem());
  NameMap names = names_of(d);
  NameSymbol symbol;
  Range range;
  std::string why;
  if (!symbol_at(d, names, p.position, &symbol, &range, &why)) return error(REQUEST_FAILED, why);
  why = bad_new_name(new_name, vocab_);
  if (!why.empty()) return error(INVALID_PARAMS, why);
  if (!symbol.local() && must_wait()) {
    r.parked = true;
    return r;
  }
  std::vector<FileUses> files;
  uses_of(d, names, symbol, &files);
  // Versions tell the client which text the edits are for: an open
  // script's as last changed, none for a file as it is on disk.
  json edit;
  if (document_changes_) {
    json changes = json::array();
    for (const FileUses& fu : files) {
      json edits = json::array();
      for (const Range& at : fu.ranges) edits.push_back(TextEdit{at, new_name});
      json version = fu.open ? json(fu.open->version) : json(nullptr);
      changes.push_back(
          {{"textDocument", {{"uri", fu.uri}, {"version", version}}}, {"edits", edits}});
    }
    edit["documentChanges"] = std::move(changes);
  } else {
    WorkspaceEdit we;
    for (const FileUses& fu : files)
      for (const Range& at : fu.ranges) we.changes[fu.uri].push_back(TextEdit{at, new_name});
    edit = we;
  }
  return Reply{edit};
}

}  // namespace wyn::lsp
