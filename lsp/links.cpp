// What a script's #include lines bring: a link on each that names a file
// found, the problems with those that do not (or that come back round),
// and the routines of the files included, for definition, hover and
// signature help. An included file is a script whatever its extension.
#include <assert.h>

#include <algorithm>

#include "chars.h"
#include "diagnostics.h"
#include "files.h"
#include "includes.h"
#include "server.h"
#include "statements.h"
#include "uri.h"

namespace wyn::lsp {

namespace {

// The largest included file read for its routines.
const size_t kIncludedFileLimit = 4u << 20;

}  // namespace

// The .wyn.cfg's include-dir entries for d's folder, then wyn.includeDirs.
std::vector<std::string> Server::include_dirs_for(const OpenScript* d) const {
  std::string folder = folder_of(uri_to_path(d->uri));
  std::vector<std::string> dirs;
  std::string config = folder.empty() ? "" : find_config_file(folder);
  std::string text, problem;
  if (!config.empty() && read_config_file(config, kConfigFileLimit, &text, &problem))
    dirs = config_include_dirs(text, config);
  dirs.insert(dirs.end(), include_dirs_.begin(), include_dirs_.end());
  return dirs;
}

std::vector<std::string> Server::includes_of(const OpenScript* d) {
  std::string path = uri_to_path(d->uri);
  std::vector<IncludeLine> found = find_includes(d->text, d->doc.categories());
  if (found.empty()) return {};
  return included_files(path, found, include_dirs_for(d),
                        coloured_reader(scratch_, kIncludedFileLimit));
}

Server::Reply Server::on_document_link(OpenScript* d, const DocumentParams&) {
  std::string folder = folder_of(uri_to_path(d->uri));
  std::vector<std::string> dirs = include_dirs_for(d);
  json links = json::array();
  for (const IncludeLine& inc : find_includes(d->text, d->doc.categories())) {
    std::string target = resolve_include(inc.name, folder, dirs);
    if (target.empty()) continue;
    Range range{d->lines.position(d->text, inc.from, encoding_),
                d->lines.position(d->text, inc.to, encoding_)};
    links.push_back({{"range", range}, {"target", path_to_uri(target)}});
  }
  return Reply{links};
}

std::vector<Diagnostic> Server::include_problems(const OpenScript* d) const {
  // A script that is not a file on this machine (an unsaved buffer, one in
  // a browser's worker or a remote workspace) has no folder to look in
  // beside it: a missing include there would be a guess, so nothing is said.
  std::string path = uri_to_path(d->uri);
  if (path.empty()) return {};
  std::vector<signed char> cats = d->doc.categories();
  if (find_includes(d->text, cats).empty()) return {};
  Document scratch;  // not the server's: this is asked while answering
  if (!include_cache_) include_cache_ = std::make_shared<IncludeCache>();
  return check_includes(path, d->text, cats, include_dirs_for(d),
                        include_cache_->reader(coloured_reader(scratch, kIncludedFileLimit)));
}

void Server::forget_included_files() {
  if (include_cache_) include_cache_->clear();
}

// Each included file joins the workspace index, so its routines answer
// workspace/symbol whatever the file is called.
void Server::index_includes(const OpenScript* d) {
  for (const std::string& path : includes_of(d)) index_.include(path);
}

std::vector<Server::RoutineAt> Server::routines_named(OpenScript* d, const std::string& name) {
  std::vector<RoutineAt> defs, decls;
  auto take = [&](const std::string& uri, const std::string& text, const LineIndex& lines,
                  const std::vector<Routine>& routines) {
    for (const Routine& rt : routines) {
      if (rt.name != name) continue;
      RoutineAt at{
          uri, rt.header, rt.name_start - rt.start,
          Range{lines.position(text, rt.start, encoding_), lines.position(text, rt.end, encoding_)},
          rt.declaration};
      (rt.declaration ? decls : defs).push_back(std::move(at));
    }
  };
  take(d->uri, d->text, d->lines, routines_of(d));
  std::map<std::string, OpenScript*> open;
  for (auto& entry : scripts_) open[uri_to_path(entry.first)] = entry.second.get();
  for (const std::string& path : includes_of(d)) {
    auto o = open.find(path);
    if (o != open.end()) {
      take(o->second->uri, o->second->text, o->second->lines, routines_of(o->second));
      continue;
    }
    std::string text;
    if (read_regular_file(path, kIncludedFileLimit, &text, nullptr, nullptr) != 0 ||
        !scratch_.set_text(text) || !scratch_.colour_whole())
      continue;
    LineIndex lines;
    lines.build(text);
    take(path_to_uri(path), text, lines, find_routines(scratch_, text, vocab_));
  }
  defs.insert(defs.end(), std::make_move_iterator(decls.begin()),
              std::make_move_iterator(decls.end()));
  return defs;
}

// A routine's parameter list as a signature: from its name to the ')'
// that closes the list on the header's line (to the line's end when the
// list goes on below it), each parameter between commas at the list's
// own depth.
bool Server::routine_signature(const RoutineAt& r, uint32_t commas, SignatureHelp* help) const {
  const std::string& h = r.header;
  assert(r.name_at <= h.size());
  size_t open = h.find('(', r.name_at);
  if (open == std::string::npos) return false;
  size_t end = h.size();
  while (end > open && (is_blank(h[end - 1]) || h[end - 1] == '\r')) end--;
  std::vector<std::pair<size_t, size_t>> params;
  int depth = 0;
  size_t from = open + 1;
  auto param = [&](size_t to) {
    size_t a = from, b = to;
    while (a < b && is_blank(h[a])) a++;
    while (b > a && is_blank(h[b - 1])) b--;
    if (b > a) params.emplace_back(a, b);
    from = to + 1;
  };
  for (size_t i = open; i < end; i++) {
    char c = h[i];
    if (c == '(') {
      depth++;
    } else if (c == ')' && --depth == 0) {
      param(i);
      end = i + 1;
      break;
    } else if (c == ',' && depth == 1) {
      param(i);
    }
  }
  if (depth != 0) param(end);
  SignatureInformation sig;
  sig.label = h.substr(r.name_at, end - r.name_at);
  uint32_t units = 0;
  size_t byte = r.name_at;
  for (const auto& p : params) {
    units += units_between(h, byte, p.first, encoding_);
    uint32_t a = units;
    units += units_between(h, p.first, p.second, encoding_);
    sig.parameters.push_back({a, units});
    byte = p.second;
  }
  sig.active_parameter =
      params.empty() ? 0 : std::min<uint32_t>(commas, (uint32_t)params.size() - 1);
  size_t lead = 0;
  while (lead < h.size() && is_blank(h[lead])) lead++;
  sig.documentation = code_markup(plain_signature_, h.substr(lead));
  help->active_parameter = sig.active_parameter;
  help->signatures.push_back(std::move(sig));
  return true;
}

}  // namespace wyn::lsp
