// The workspace index as the server keeps it: walked a step at a time
// between messages, brought up to date from the files the client reports
// saved, created, changed or removed, and the answers drawn from it:
// workspace/symbol and definition. A request that comes before the first
// walk is done waits for it, while edits and tokens are answered as usual.
#include "server.h"

#include <algorithm>
#include <chrono>
#include <queue>
#include <set>

#include "chars.h"
#include "uri.h"

namespace wyn::lsp {

namespace {

// Requests kept waiting for the first walk at most; more are answered
// from what the index holds so far.
const size_t kParkedLimit = 64;
const int REQUEST_CANCELLED = -32800;

double seconds_now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// How well name answers query, letter case aside: 0 it is the whole name,
// 1 its start, 2 somewhere in it; -1 not at all. Every name answers an
// empty query.
int match_rank(std::string_view name, const std::string& query) {
  if (query.empty()) return 0;
  auto same = [](char a, char b) { return ascii_lower(a) == ascii_lower(b); };
  auto it = std::search(name.begin(), name.end(), query.begin(), query.end(), same);
  if (it == name.end()) return -1;
  if (it != name.begin()) return 2;
  return name.size() == query.size() ? 0 : 1;
}

// A routine that answers a query, before it is written out.
struct Candidate {
  int rank;                  // the match's rank, doubled, plus one for a file not open
  std::string_view name;     // into the index or an open script's routines
  const std::string* where;  // an open script's uri, or an indexed file's path
  Position start, end;
};

// Better answers first: the closer match, an open script, the shorter
// name; then by name and place, so that answers do not shuffle.
bool operator<(const Candidate& a, const Candidate& b) {
  if (a.rank != b.rank) return a.rank < b.rank;
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  if (int c = a.name.compare(b.name)) return c < 0;
  if (int c = a.where->compare(*b.where)) return c < 0;
  if (a.start.line != b.start.line) return a.start.line < b.start.line;
  return a.start.character < b.start.character;
}

}  // namespace

// {====== the walk and the client's reports

void Server::start_walk() {
  walk_started_ = seconds_now();
  index_.walk(folders_);
}

// Asks the client to report scripts created, changed and removed, where it
// can: then the folders need walking only once.
void Server::watch_files() {
  if (!watch_support_ || folders_.empty()) return;
  json watcher = {{"globPattern", "**/*.[wW][yY][nN]"}};
  json registration = {{"id", "wyn-scripts"},
                       {"method", "workspace/didChangeWatchedFiles"},
                       {"registerOptions", {{"watchers", {watcher}}}}};
  watch_request_ = request("client/registerCapability", {{"registrations", {registration}}});
  watching_ = true;
}

bool Server::has_background_work() const {
  return index_.busy() || !parked_.empty();
}

void Server::background() {
  try {
    if (index_.busy()) index_.step(scratch_, vocab_, encoding_);
  } catch (const std::exception& e) {
    // Out of memory, most likely: what was read still answers.
    index_.stop();
    log(1, std::string("workspace index: ") + e.what() + "; the walk stops here");
  }
  std::string notice = index_.take_notice();
  if (!notice.empty()) log(2, notice);
  if (!index_.busy()) answer_parked();
}

// True when a request must wait for the first walk: it is under way, and
// not too many wait already. A shut-down server answers at once.
bool Server::must_wait() {
  return !shutdown_ && index_.busy() && !index_.settled() && parked_.size() < kParkedLimit;
}

void Server::answer_parked() {
  std::vector<Parked> parked;
  parked.swap(parked_);
  for (Parked& p : parked) {
    Reply reply;
    try {
      reply = p.handler(p.params);
    } catch (const std::exception& e) {
      reply = error(INTERNAL_ERROR, e.what());
    }
    if (reply.parked) {
      parked_.push_back(std::move(p));  // the index became busy again meanwhile
      continue;
    }
    respond(p.id, reply);
  }
}

void Server::on_cancel_request(json& params) {
  auto id = params.find("id");
  if (id == params.end()) return;
  for (auto it = parked_.begin(); it != parked_.end(); ++it) {
    if (it->id != *id) continue;
    Parked p = std::move(*it);
    parked_.erase(it);
    respond(p.id, error(REQUEST_CANCELLED, "cancelled"));
    return;
  }
}

// The file as saved is what the index keeps for when the script closes.
void Server::on_did_save(json& params) {
  std::string uri, problem;
  if (!read_uri(params, &uri, &problem)) return log(1, "didSave: " + problem);
  index_.touch(uri_to_path(uri));
  forget_included_files();
}

void Server::on_did_change_watched_files(json& params) {
  Fields f(params, "params");
  const json* changes = f.array("changes");
  if (!f.ok()) return log(1, "didChangeWatchedFiles: " + f.problem());
  forget_included_files();
  std::string bad;  // the first event not understood, said once
  for (const json& c : *changes) {
    Fields event(c, "a file event");
    std::string path = uri_to_path(event.string("uri"));
    int64_t type = event.integer("type");
    if (!event.ok() || type < 1 || type > 3) {
      if (bad.empty()) bad = event.ok() ? "a type is 1, 2 or 3" : event.problem();
      continue;
    }
    if (path.empty()) continue;
    if (type == 3)
      index_.forget(path);  // a folder removed takes its scripts along
    else
      index_.touch(path);
  }
  if (!bad.empty()) log(1, "didChangeWatchedFiles: " + bad);
}

// }======

// {====== answers

// The routines whose name holds query (letter case aside; exact: equals
// it), open scripts as they stand and other files as last read, the
// best options_.symbol_limit of them, best first. A longer list is cut,
// and what says so in the log, since the answer itself has no way to.
std::vector<Server::SymbolHit> Server::symbols_matching(const std::string& query, bool exact,
                                                        const char* what) {
  // Without reports of changed files, the folders are walked again now
  // and then; meanwhile answers come from the index as it stands.
  if (!watching_ && !index_.busy() && seconds_now() - walk_started_ >= options_.rewalk_after)
    start_walk();
  const size_t limit = options_.symbol_limit;
  std::priority_queue<Candidate> best;  // the worst kept on top
  size_t found = 0;
  auto offer = [&](int open, std::string_view name, const std::string* where, Position a,
                   Position b) {
    int rank = exact ? (name == query ? 0 : -1) : match_rank(name, query);
    if (rank < 0) return;
    found++;
    Candidate c{rank * 2 + !open, name, where, a, b};
    if (best.size() >= limit && (best.empty() || !(c < best.top()))) return;
    best.push(c);
    if (best.size() > limit) best.pop();
  };
  std::set<std::string> open_paths;
  for (auto& entry : scripts_) {
    OpenScript* d = entry.second.get();
    open_paths.insert(uri_to_path(d->uri));
    for (const Routine& rt : routines_of(d))
      if (!rt.declaration)
        offer(1, rt.name, &d->uri, d->lines.position(d->text, rt.start, encoding_),
              d->lines.position(d->text, rt.end, encoding_));
  }
  for (const auto& [path, file] : index_.files()) {
    if (open_paths.count(path) != 0) continue;
    for (const IndexedRoutine& rt : file.routines) offer(0, file.name(rt), &path, rt.start, rt.end);
  }
  std::vector<SymbolHit> out(best.size());
  for (size_t i = best.size(); i-- > 0; best.pop()) {
    const Candidate& c = best.top();
    bool open = c.rank % 2 == 0;
    out[i] =
        SymbolHit{std::string(c.name), open ? *c.where : path_to_uri(*c.where), c.start, c.end};
  }
  if (found > out.size())
    log(3, std::string(what) + ": " + std::to_string(found) + " routines match '" + query +
               "'; the best " + std::to_string(out.size()) + " are answered");
  return out;
}

Server::Reply Server::on_workspace_symbol(const json& params) {
  Fields f(params, "params");
  std::string query = f.string("query", false);
  if (!f.ok()) return error(INVALID_PARAMS, f.problem());
  if (must_wait()) {
    Reply r;
    r.parked = true;
    return r;
  }
  std::vector<SymbolInformation> symbols;
  for (SymbolHit& h : symbols_matching(query, false, "workspace/symbol"))
    symbols.push_back({std::move(h.name), SymbolKind::Function,
                       Location{std::move(h.uri), Range{h.start, h.end}}});
  Reply r;
  write_json(&r.raw, symbols);
  return r;
}

Server::Reply Server::on_definition(OpenScript* d, const PositionParams& p) {
  size_t a = 0, b = 0;
  if (!word_at(d, p.position, &a, &b)) return Reply{json(nullptr)};
  if (must_wait()) {
    Reply r;
    r.parked = true;
    return r;
  }
  // A definition in this script first, then in the files it includes,
  // nearest first, then the others; a prototype (here, then included)
  // only when there is no definition anywhere.
  std::string name = d->text.substr(a, b - a);
  std::vector<RoutineAt> near = routines_named(d, name);
  std::vector<std::string> order = {uri_to_path(d->uri)};  // nearest first
  for (const RoutineAt& r : near) {
    std::string path = uri_to_path(r.uri);
    if (std::find(order.begin(), order.end(), path) == order.end()) order.push_back(path);
  }
  auto rank = [&](const std::string& uri) {
    if (uri == d->uri) return (size_t)0;
    return (size_t)(std::find(order.begin(), order.end(), uri_to_path(uri)) - order.begin());
  };
  std::vector<Location> out;
  for (SymbolHit& h : symbols_matching(name, true, "definition"))
    out.push_back(Location{std::move(h.uri), Range{h.start, h.end}});
  // Included files the index does not hold (yet) answer from here.
  size_t indexed = out.size();
  for (const RoutineAt& r : near) {
    bool known = r.declaration;
    for (size_t i = 0; i < indexed && !known; i++)
      known = rank(out[i].uri) == rank(r.uri) && out[i].range.start.line == r.range.start.line;
    if (!known) out.push_back(Location{r.uri, r.range});
  }
  std::stable_sort(out.begin(), out.end(),
                   [&](const Location& x, const Location& y) { return rank(x.uri) < rank(y.uri); });
  if (out.empty())
    for (const RoutineAt& r : near)
      if (r.declaration) out.push_back(Location{r.uri, r.range});
  return Reply{json(out)};
}

// }======

}  // namespace wyn::lsp
