// Open scripts and their colours: every change goes to the session's
// Document and through the plug-in's range re-colouring, the lines it asks
// to redisplay get their tokens afresh, and a whole-buffer colouring checks
// the result when the client is quiet, or a second after the change at the
// latest when it never is.
#include <assert.h>

#include <chrono>
#include <new>

#include "server.h"

#include <algorithm>

#include "diagnostics.h"
#include "uri.h"

namespace wyn::lsp {

namespace {

// Client lines holding the bytes of stand-in lines span.first..span.last.
void span_to_lines(const OpenScript& d, const LineSpan& span, uint32_t* a, uint32_t* b) {
  long first = span.first < 1 ? 1 : span.first;
  long last = span.last < first ? first : span.last;
  long from = d.doc.line_start(first);
  long to = last + 1 <= d.doc.line_count() ? d.doc.line_start(last + 1) : (long)d.text.size();
  if (from < 0) from = (long)d.text.size();
  if (to < from) to = from;
  *a = d.lines.line_of((size_t)from);
  *b = d.lines.line_of((size_t)to);
}

}  // namespace

// Tokens of client lines first..last (inclusive) from the plug-in's
// colours, flat, with each line's count.
void Server::tokens_of(const OpenScript* d, uint32_t first, uint32_t last, std::vector<Token>* flat,
                       std::vector<uint32_t>* counts) const {
  assert(first <= last && last < d->lines.line_count());  // retoken() clamps
  size_t from = d->lines.line_start(first);
  size_t to = d->lines.content_end(d->text, last);
  // Every byte is written by categories(): no need to clear them first.
  std::unique_ptr<signed char[]> cats(new signed char[to - from]);
  d->doc.categories(from, to - from, cats.get());
  counts->assign(last - first + 1, 0);
  flat->reserve(flat->size() + (to - from) / 6);  // about one token in six bytes of script
  for (uint32_t l = first; l <= last; l++) {
    size_t a = d->lines.line_start(l), b = d->lines.content_end(d->text, l);
    (*counts)[l - first] = line_tokens(d->text, a, b, cats.get() + (a - from), encoding_, flat);
  }
}

// Stores the tokens of client lines first..last afresh. replace_all stores
// them all; otherwise only lines that differ, so the next delta stays as
// small as the real change. True when any line changed.
bool Server::retoken(OpenScript* d, uint32_t first, uint32_t last, bool replace_all) {
  if (last >= d->lines.line_count()) last = d->lines.line_count() - 1;
  if (first > last) return false;
  std::vector<Token> flat;
  std::vector<uint32_t> counts;
  tokens_of(d, first, last, &flat, &counts);
  if (replace_all) {
    d->tokens.replace(first, last + 1, std::move(flat), counts);
    return true;
  }
  // Runs of lines that differ are stored; equal lines are left alone.
  bool changed = false;
  size_t at = 0;
  for (uint32_t l = first; l <= last;) {
    if (d->tokens.line_equals(l, flat.data() + at, counts[l - first])) {
      at += counts[l - first];
      l++;
      continue;
    }
    uint32_t e = l;
    size_t end = at;
    while (e <= last && !d->tokens.line_equals(e, flat.data() + end, counts[e - first]))
      end += counts[e - first], e++;
    std::vector<Token> part(flat.begin() + (long)at, flat.begin() + (long)end);
    std::vector<uint32_t> part_counts(counts.begin() + (l - first), counts.begin() + (e - first));
    d->tokens.replace(l, e, part, part_counts);
    changed = true;
    at = end;
    l = e;
  }
  return changed;
}

void Server::on_did_open(json& params) {
  DidOpenParams p;
  std::string problem;
  if (!read_taking_text(params, &p, &problem)) return log(1, "didOpen: " + problem);
  try {
    open_script(p);
  } catch (const std::bad_alloc&) {  // nothing of it is kept
    cannot_hold(p.uri, "it is not opened");
  }
}

void Server::open_script(DidOpenParams& p) {
  std::string problem;
  auto d = std::make_unique<OpenScript>();
  d->uri = p.uri;
  d->version = p.version;
  d->text = std::move(p.text);
  d->lines.build(d->text);
  if (!d->doc.set_text(d->text)) throw std::bad_alloc();
  if (!d->doc.colour_whole(&problem)) log(1, "colouring " + p.uri + ": " + problem);
  d->tokens.clear(d->lines.line_count());
  retoken(d.get(), 0, d->lines.line_count() - 1, true);
  d->tokens.mark_sent();  // the client holds no tokens yet: nothing to diff
  std::string path = uri_to_path(p.uri);
  if (!path.empty()) discover_config(path.substr(0, path.rfind('/') + 1));
  publish_diagnostics(d.get(), d->uri);
  index_includes(d.get());
  scripts_[p.uri] = std::move(d);
}

json Server::diagnostics_of(OpenScript* d) {
  json list = json::array();
  // A client lists them all in one pane: past a few hundred (a script
  // that is no script, most likely) more only slow it down.
  const size_t most = 500;
  std::vector<Diagnostic> all;
  std::string problem;
  std::vector<signed char> cats = d->doc.categories();
  std::optional<std::vector<wyn::Routine>> outline;
  // Without the plug-in's routine list, the rules that need no routines.
  if (!check_coloured(d->doc, d->text, cats, vocab_.words[1], &all, &problem, &outline)) {
    all = check_text(d->text, cats);
  } else if (outline && (d->routines_generation != d->generation ||
                         d->routines_vocabulary != vocab_.generation)) {
    // The outline the routine rules made is the one the routine answers
    // would make next: kept for them.
    d->routines = routines_in(d->doc, d->text, *outline);
    d->routines_generation = d->generation;
    d->routines_vocabulary = vocab_.generation;
  }
  std::vector<Diagnostic> includes = include_problems(d);
  all.insert(all.end(), includes.begin(), includes.end());
  std::stable_sort(all.begin(), all.end(),
                   [](const Diagnostic& a, const Diagnostic& b) { return a.from < b.from; });
  for (const Diagnostic& found : all) {
    if (list.size() == most) break;
    Range range{d->lines.position(d->text, found.from, encoding_),
                d->lines.position(d->text, found.to, encoding_)};
    list.push_back({{"range", range},
                    {"severity", (int)found.severity},
                    {"source", "wyn"},
                    {"message", found.message}});
  }
  return list;
}

void Server::publish_diagnostics(OpenScript* d, const std::string& uri) {
  if (pull_diagnostics_) return;  // the client asks when it wants them
  json list = json::array();
  try {
    if (d != nullptr) list = diagnostics_of(d);
  } catch (const std::bad_alloc&) {
    // Without room to check, the client keeps what it was last told.
    return log(1, "checking " + uri + " found no memory");
  }
  json params = {{"uri", uri}, {"diagnostics", std::move(list)}};
  if (d != nullptr) params["version"] = d->version;
  notify("textDocument/publishDiagnostics", std::move(params));
}

// A full report each time: checking a script costs less than keeping
// result ids to say it did not change.
Server::Reply Server::on_diagnostic(OpenScript* d, const DocumentParams&) {
  return json{{"kind", "full"}, {"items", diagnostics_of(d)}};
}

// Says that the editor had no room for uri's text, and what became of it.
void Server::cannot_hold(const std::string& uri, const char* what) {
  std::string text = "wyn: " + uri + ": Cannot allocate memory; " + what;
  log(1, text);
  notify("window/showMessage", MessageParams{MessageType::Error, text});
}

void Server::on_did_close(json& params) {
  std::string uri, problem;
  if (!read_uri(params, &uri, &problem)) return log(1, "didClose: " + problem);
  if (scripts_.erase(uri) != 0) publish_diagnostics(nullptr, uri);  // its marks go with it
  index_.touch(uri_to_path(uri));  // answers come from the file as saved again
}

void Server::on_did_change(json& params) {
  DidChangeParams p;
  std::string problem;
  if (!read(params, &p, &problem)) return log(1, "didChange: " + problem);
  auto it = scripts_.find(p.uri);
  if (it == scripts_.end()) return log(1, "didChange: document not open: " + p.uri);
  OpenScript* d = it->second.get();
  for (const ContentChange& c : p.changes) {
    bool fits = false;
    try {
      fits = apply_change(d, c);
    } catch (const std::bad_alloc&) {
      // The change may have reached the client's copy and not the
      // plug-in's: rather than let them drift apart, the script goes.
      scripts_.erase(it);
      return cannot_hold(p.uri, "it is closed");
    }
    if (fits) continue;
    // Past the size the stand-in can hold: rather than let the client's
    // text and the plug-in's drift apart, the script is dropped.
    notify("window/showMessage",
           MessageParams{MessageType::Error, "wyn: " + p.uri + " grew past " +
                                                 std::to_string(options_.document_limit >> 20) +
                                                 " MiB; it is closed"});
    scripts_.erase(it);
    return;
  }
  d->version = p.version;
  if (!d->check_due) d->due_since = now();
  d->check_due = true;
  d->tokens_since = false;
  if (d->text.size() <= options_.check_at_once) check_whole(d);
}

// The plug-in's routine list runs again only when the text or the
// vocabulary changed since it last ran.
const std::vector<Routine>& Server::routines_of(OpenScript* d) {
  if (d->routines_generation != d->generation || d->routines_vocabulary != vocab_.generation) {
    d->routines = find_routines(d->doc, d->text, vocab_);
    d->routines_generation = d->generation;
    d->routines_vocabulary = vocab_.generation;
  }
  return d->routines;
}

bool Server::apply_change(OpenScript* d, const ContentChange& change) {
  d->generation++;
  if (!change.range) {
    if (change.text.size() > options_.document_limit) return false;
    if (!d->doc.set_text(change.text)) throw std::bad_alloc();
    d->text = change.text;
    d->lines.build(d->text);
    d->doc.colour_whole();
    std::vector<Token> flat;
    std::vector<uint32_t> counts;
    tokens_of(d, 0, d->lines.line_count() - 1, &flat, &counts);
    d->tokens.replace(0, d->tokens.line_count(), flat, counts);
    return true;
  }
  size_t a = d->lines.offset(d->text, change.range->start, encoding_);
  size_t b = d->lines.offset(d->text, change.range->end, encoding_);
  if (b < a) std::swap(a, b);
  if (d->text.size() - (b - a) + change.text.size() > options_.document_limit) return false;
  // Client lines the change reaches, before and after: from the line
  // before it (a CR there may pair with a new LF) to the line after it.
  uint32_t first = d->lines.line_of(a > 0 ? a - 1 : 0);
  uint32_t old_last = d->lines.line_of(b + 1 < d->text.size() ? b + 1 : d->text.size());
  Document::Edit edit = d->doc.replace((long)a, (long)(b - a), change.text);
  d->text.replace(a, b - a, change.text);
  d->lines.update(d->text, a, b - a, change.text.size());
  size_t end = a + change.text.size() + 1;
  uint32_t new_last = d->lines.line_of(end < d->text.size() ? end : d->text.size());
  std::vector<Token> flat;
  std::vector<uint32_t> counts;
  tokens_of(d, first, new_last, &flat, &counts);
  d->tokens.replace(first, old_last + 1, flat, counts);
  // Lines the plug-in asked to have redisplayed: their colours may have
  // changed too, far from the edit (a comment opened or closed).
  for (const LineSpan& span : edit.redisplay) {
    uint32_t ra = 0, rb = 0;
    span_to_lines(*d, span, &ra, &rb);
    retoken(d, ra, rb, false);
  }
  return true;
}

// Colours the whole text afresh and compares. The range re-colouring is
// known to leave stale colours in a few cases (a banner comment opened
// with a run of slashes, a quote before an opener, a closer inside a string
// below the edit); this puts them right. True when any token changed.
bool Server::check_whole(OpenScript* d) {
  d->check_due = false;
  // Clears every colour, so nothing stale survives; without room for it
  // the script keeps its text and colours as they are.
  if (!d->doc.set_text(d->text) || !d->doc.colour_whole()) return false;
  bool changed = retoken(d, 0, d->lines.line_count() - 1, false);
  publish_diagnostics(d, d->uri);
  return changed;
}

bool Server::has_idle_work() const {
  for (const auto& entry : scripts_)
    if (entry.second->check_due) return true;
  return false;
}

uint64_t Server::now() const {
  if (options_.clock) return options_.clock();
  return (uint64_t)std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool Server::check_overdue() const {
  if (!has_idle_work()) return false;
  uint64_t t = now();
  for (const auto& entry : scripts_)
    if (entry.second->check_due && t - entry.second->due_since >= options_.check_within_ms)
      return true;
  return false;
}

bool Server::idle() {
  bool ran = false, refresh = false;
  for (auto& entry : scripts_) {
    OpenScript* d = entry.second.get();
    if (!d->check_due) continue;
    // A client that fetched tokens since the change needs telling; one
    // that did not gets the corrections with its next request.
    try {
      if (check_whole(d) && d->tokens_since) refresh = true;
    } catch (const std::bad_alloc&) {
      // The check is dropped (check_whole cleared its mark), the script
      // keeps the colours it had, and the next change asks for it again.
      log(1, "the whole-document check of " + entry.first + " found no memory");
    }
    ran = true;
  }
  if (refresh && refresh_support_) request("workspace/semanticTokens/refresh", json());
  return ran;
}

// {====== semantic tokens

std::string Server::tokens_full(OpenScript* d) {
  d->tokens.mark_sent();
  d->sent_id = next_result_id_++;
  d->tokens_since = true;
  std::string out = "{\"resultId\":\"" + std::to_string(d->sent_id) + "\",\"data\":";
  out.reserve(out.size() + d->tokens.token_count() * 16);
  d->tokens.encode(0, d->tokens.line_count(), &out);
  out += '}';
  return out;
}

Server::Reply Server::on_tokens_full(OpenScript* d, const DocumentParams&) {
  Reply r;
  r.raw = tokens_full(d);
  return r;
}

Server::Reply Server::on_tokens_delta(OpenScript* d, const DeltaParams& p) {
  Reply r;
  if (d->sent_id == 0 || p.previous_result_id != std::to_string(d->sent_id)) {
    r.raw = tokens_full(d);  // not the array we last sent: the whole of it
    return r;
  }
  TokenEdit edit = d->tokens.take_edit();
  d->sent_id = next_result_id_++;
  d->tokens_since = true;
  std::string out = "{\"resultId\":\"" + std::to_string(d->sent_id) + "\",\"edits\":[";
  if (edit.delete_count != 0 || !edit.data.empty()) {
    out += "{\"start\":" + std::to_string(edit.start) +
           ",\"deleteCount\":" + std::to_string(edit.delete_count) + ",\"data\":[";
    for (size_t i = 0; i < edit.data.size(); i++) {
      if (i) out += ',';
      out += std::to_string(edit.data[i]);
    }
    out += "]}";
  }
  r.raw = out + "]}";
  return r;
}

Server::Reply Server::on_tokens_range(OpenScript* d, const RangeParams& p) {
  Reply r;
  uint32_t a = p.range.start.line, b = p.range.end.line;
  if (b < a) std::swap(a, b);
  if (b > a && p.range.end.character == 0) b--;  // a range ending at a line's start leaves it out
  std::string out = "{\"data\":";
  if (a < d->tokens.line_count())
    d->tokens.encode(a, b < d->tokens.line_count() ? b + 1 : d->tokens.line_count(), &out);
  else
    out += "[]";
  r.raw = out + "}";
  return r;
}

// }======

}  // namespace wyn::lsp
