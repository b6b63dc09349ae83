// The language server in-process, message bodies in, replies out: opening
// a document with its full tokens, a one-character edit with its delta,
// completion, signature help of a template with very many parameters and
// the document's symbols, on the largest example and on a
// generated 20,000-line script; and the memory of 100 such documents open.
// The edit round trip also reports its median and 99th percentile; the
// JSON parse of the didOpen body is measured alone beside the opening.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "cwedit.h"
#include "server.h"
#include "support/files.h"
#include "support/wyn_text.h"

namespace {

using wyn::lsp::json;

// A generated script of routines cut to exactly `lines` lines.
std::string script_of_lines(size_t lines) {
  std::string text = wyn_text::generate(7, lines * 48);
  size_t at = 0;
  for (size_t n = 0; n < lines && at != std::string::npos; n++) {
    at = text.find('\n', at);
    if (at != std::string::npos) at++;
  }
  if (at != std::string::npos) text.resize(at);
  return text;
}

const std::string& text_for(int which) {
  static const std::string largest =
      support::read_file(WYN_SOURCE_DIR "/examples/setup.wyn");  // the largest example
  static const std::string big = script_of_lines(20000);
  return which == 0 ? largest : big;
}

// A server with an initialized client that keeps only the last reply.
struct Bench {
  std::string last;
  wyn::lsp::Server server;
  int id = 100;
  explicit Bench(const char* caps = "{}")
      : server([this](const std::string& b) { last = b; }, options()) {
    server.handle(
        std::string(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":)") +
        caps + "}}");
    server.handle(R"({"jsonrpc":"2.0","method":"initialized","params":{}})");
  }
  static wyn::lsp::ServerOptions options() {
    wyn::lsp::ServerOptions o;
    o.plugin_path = WYN_PLUGIN_PATH;
    return o;
  }
  void open(const std::string& uri, const std::string& text) {
    json m = {{"jsonrpc", "2.0"},
              {"method", "textDocument/didOpen"},
              {"params",
               {{"textDocument",
                 {{"uri", uri}, {"languageId", "wyn"}, {"version", 1}, {"text", text}}}}}};
    server.handle(m.dump());
  }
  void close(const std::string& uri) {
    server.handle(
        R"({"jsonrpc":"2.0","method":"textDocument/didClose","params":{"textDocument":{"uri":")" +
        uri + "\"}}}");
  }
  // A request whose params are given as JSON text; the reply's length.
  size_t request(const char* method, const std::string& params) {
    server.handle("{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(++id) + ",\"method\":\"" +
                  method + "\",\"params\":" + params + "}");
    return last.size();
  }
};

std::string doc_params(const std::string& uri) {
  return R"({"textDocument":{"uri":")" + uri + "\"}}";
}

void BM_LspOpenAndFullTokens(benchmark::State& state) {
  cw_reset();
  const std::string& text = text_for((int)state.range(0));
  Bench b;
  // The didOpen body is built outside the loop: what a client sends.
  std::string open =
      json{{"jsonrpc", "2.0"},
           {"method", "textDocument/didOpen"},
           {"params",
            {{"textDocument",
              {{"uri", "file:///b.wyn"}, {"languageId", "wyn"}, {"version", 1}, {"text", text}}}}}}
          .dump();
  size_t bytes = 0;
  for (auto _ : state) {
    b.server.handle(open);
    bytes += b.request("textDocument/semanticTokens/full", doc_params("file:///b.wyn"));
    state.PauseTiming();
    b.close("file:///b.wyn");
    state.ResumeTiming();
  }
  state.counters["reply_bytes"] = (double)bytes / (double)state.iterations();
}
BENCHMARK(BM_LspOpenAndFullTokens)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The JSON parse of that didOpen body alone: the share of opening that is
// the library's lexing of the text, whatever the server does after it.
void BM_LspParseDidOpen(benchmark::State& state) {
  std::string open = json{{"jsonrpc", "2.0"},
                          {"method", "textDocument/didOpen"},
                          {"params",
                           {{"textDocument",
                             {{"uri", "file:///b.wyn"},
                              {"languageId", "wyn"},
                              {"version", 1},
                              {"text", text_for((int)state.range(0))}}}}}}
                         .dump();
  for (auto _ : state) benchmark::DoNotOptimize(json::parse(open, nullptr, false));
}
BENCHMARK(BM_LspParseDidOpen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One character typed in the middle of the document, then taken back, each
// followed by a full/delta request: the keystroke round trip.
void BM_LspChangeAndDelta(benchmark::State& state) {
  cw_reset();
  const std::string& text = text_for((int)state.range(0));
  Bench b;
  b.open("file:///b.wyn", text);
  b.request("textDocument/semanticTokens/full", doc_params("file:///b.wyn"));
  uint32_t line = (uint32_t)std::count(text.begin(), text.end(), '\n') / 2;
  int version = 1;
  std::string result_id = "1";
  std::vector<double> times;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    bool insert = version % 2 == 1;
    std::string change =
        insert
            ? R"({"range":{"start":{"line":L,"character":2},"end":{"line":L,"character":2}},"text":"x"})"
            : R"({"range":{"start":{"line":L,"character":2},"end":{"line":L,"character":3}},"text":""})";
    change.replace(change.find('L'), 1, std::to_string(line));
    change.replace(change.find('L'), 1, std::to_string(line));
    b.server.handle(
        R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":"file:///b.wyn","version":)" +
        std::to_string(++version) + "},\"contentChanges\":[" + change + "]}}");
    b.request(
        "textDocument/semanticTokens/full/delta",
        R"({"textDocument":{"uri":"file:///b.wyn"},"previousResultId":")" + result_id + "\"}");
    size_t at = b.last.find("\"resultId\":\"");
    result_id = b.last.substr(at + 12, b.last.find('"', at + 12) - at - 12);
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(times.begin(), times.end());
  state.counters["median_ms"] = times[times.size() / 2];
  state.counters["p99_ms"] = times[std::min(times.size() - 1, times.size() * 99 / 100)];
}
BENCHMARK(BM_LspChangeAndDelta)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Completion with nothing typed yet (every word and template) and after
// "Ask".
void BM_LspCompletion(benchmark::State& state) {
  cw_reset();
  Bench b(R"({"textDocument":{"completion":{"completionItem":{"snippetSupport":true}}}})");
  std::string text = text_for(0) + (state.range(0) ? "\n\tAsk" : "\n\t");
  b.open("file:///c.wyn", text);
  uint32_t line = (uint32_t)std::count(text.begin(), text.end(), '\n');
  std::string params = R"({"textDocument":{"uri":"file:///c.wyn"},"position":{"line":)" +
                       std::to_string(line) + ",\"character\":" + (state.range(0) ? "4" : "1") +
                       "}}";
  size_t bytes = 0;
  for (auto _ : state) bytes += b.request("textDocument/completion", params);
  state.counters["reply_bytes"] = (double)bytes / (double)state.iterations();
}
BENCHMARK(BM_LspCompletion)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Signature help in a call of a template with N parameters (a project's
// configuration may hold one with hundreds of thousands), in UTF-16 units
// with a non-ASCII first parameter so no count can take the bytes for units.
void BM_LspSignatureHelpManyParameters(benchmark::State& state) {
  cw_reset();
  Bench b;
  std::string many = "Many (&\xC3\xA4";
  for (int64_t i = 1; i < state.range(0); i++) many += ", p";
  many += ");";
  b.server.handle(json{{"jsonrpc", "2.0"},
                       {"method", "workspace/didChangeConfiguration"},
                       {"params", {{"settings", {{"wyn", {{"templates", {{"Many", many}}}}}}}}}}
                      .dump());
  b.open("file:///m.wyn", "Many (");
  std::string params =
      R"({"textDocument":{"uri":"file:///m.wyn"},"position":{"line":0,"character":6}})";
  size_t bytes = 0;
  for (auto _ : state) bytes += b.request("textDocument/signatureHelp", params);
  state.counters["reply_bytes"] = (double)bytes / (double)state.iterations();
}
BENCHMARK(BM_LspSignatureHelpManyParameters)
    ->Arg(4000)
    ->Arg(16000)
    ->Arg(300000)
    ->Unit(benchmark::kMillisecond);

// After an edit, so that the plug-in's routine list runs every time (an
// unchanged document answers from the last list).
void BM_LspDocumentSymbol(benchmark::State& state) {
  cw_reset();
  Bench b;
  b.open("file:///s.wyn", text_for((int)state.range(0)));
  int version = 1;
  for (auto _ : state) {
    state.PauseTiming();
    std::string text = version % 2 ? "x" : "";
    std::string end = version % 2 ? "0" : "1";
    b.server.handle(
        R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":"file:///s.wyn","version":)" +
        std::to_string(++version) +
        R"(},"contentChanges":[{"range":{"start":{"line":1,"character":0},"end":{"line":1,"character":)" +
        end + R"(}},"text":")" + text + R"("}]}})");
    state.ResumeTiming();
    b.request("textDocument/documentSymbol", doc_params("file:///s.wyn"));
  }
}
BENCHMARK(BM_LspDocumentSymbol)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

long rss_kib() {
  FILE* f = fopen("/proc/self/status", "r");
  if (f == nullptr) return 0;
  char line[256];
  long kib = 0;
  while (fgets(line, sizeof line, f))
    if (strncmp(line, "VmRSS:", 6) == 0) kib = strtol(line + 6, nullptr, 10);
  fclose(f);
  return kib;
}

// 100 documents of 20,000 lines open at once: the growth of the resident
// set over a server with none open. What an earlier repetition freed goes
// back to the system first, or this one would grow into it unseen.
void BM_LspMemory100Documents(benchmark::State& state) {
  cw_reset();
  for (auto _ : state) {
    malloc_trim(0);
    Bench b;
    long before = rss_kib();
    for (int i = 0; i < 100; i++) b.open("file:///m" + std::to_string(i) + ".wyn", text_for(1));
    state.counters["rss_growth_MiB"] = (double)(rss_kib() - before) / 1024.0;
    state.counters["rss_MiB"] = (double)rss_kib() / 1024.0;
  }
}
BENCHMARK(BM_LspMemory100Documents)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
