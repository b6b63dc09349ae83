// What the server runs over a whole script once it has been edited: the
// checker (the colours read back and every rule over them) and the routine
// outline (the plug-in's routine list and the headers it cannot see), on a
// generated 20,000-line script with CR LF line ends, each after one edit
// that the timing leaves out. Together they should stay within 10 ms.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "diagnostics.h"
#include "outline.h"
#include "session.h"
#include "support/wyn_text.h"

namespace {

// The plug-in, loaded once for all the benchmarks here.
wyn::Plugin& loaded_plugin() {
  static wyn::Plugin* p = [] {
    auto* made = new wyn::Plugin;
    std::string error;
    if (!made->load(WYN_PLUGIN_PATH, &error)) fprintf(stderr, "%s\n", error.c_str());
    return made;
  }();
  return *p;
}

// 20,000 lines of routines with CR LF line ends.
std::string big_script() {
  wyn_text::options o;
  o.crlf = true;
  std::string text = wyn_text::generate(11, 20000 * 50, o);
  size_t at = 0;
  for (int n = 0; n < 20000 && at != std::string::npos; n++) {
    at = text.find('\n', at);
    if (at != std::string::npos) at++;
  }
  if (at != std::string::npos) text.resize(at);
  return text;
}

// A coloured document of the script, and an edit that types a space in
// its middle line and the next that takes it out again, so each run sees
// the same text within a byte.
struct Edited {
  wyn::Document doc;
  std::string text;
  long at;
  bool typed = false;
  Edited() : doc(big_script()) {
    loaded_plugin();
    doc.colour_whole();
    at = doc.line_start(doc.line_count() / 2) + 4;
  }
  void edit() {
    doc.replace(at, typed ? 1 : 0, typed ? "" : " ");
    typed = !typed;
    text = doc.text();
  }
};

void BM_CheckAfterEdit(benchmark::State& state) {
  Edited e;
  size_t found = 0;
  for (auto _ : state) {
    state.PauseTiming();
    e.edit();
    state.ResumeTiming();
    found = wyn::check_text(e.text, e.doc.categories()).size();
  }
  state.counters["diagnostics"] = (double)found;
  state.counters["lines"] = (double)e.doc.line_count();
}
BENCHMARK(BM_CheckAfterEdit)->Unit(benchmark::kMillisecond);

void BM_OutlineAfterEdit(benchmark::State& state) {
  Edited e;
  std::vector<std::string> reserved = loaded_plugin().words(1);
  size_t routines = 0;
  for (auto _ : state) {
    state.PauseTiming();
    e.edit();
    state.ResumeTiming();
    std::vector<wyn::LineSpan> marks;
    std::string message;
    e.doc.routines(&marks, &message, nullptr);
    routines = wyn::routine_outline(e.doc, marks, reserved).size();
  }
  state.counters["routines"] = (double)routines;
}
BENCHMARK(BM_OutlineAfterEdit)->Unit(benchmark::kMillisecond);

// Both, and the routine rules over the outline, as the server publishes.
void BM_CheckWithRoutinesAfterEdit(benchmark::State& state) {
  Edited e;
  std::vector<std::string> reserved = loaded_plugin().words(1);
  std::vector<wyn::Diagnostic> found;
  for (auto _ : state) {
    state.PauseTiming();
    e.edit();
    state.ResumeTiming();
    std::string error;
    wyn::check_coloured(e.doc, e.text, reserved, &found, &error);
  }
  state.counters["diagnostics"] = (double)found.size();
}
BENCHMARK(BM_CheckWithRoutinesAfterEdit)->Unit(benchmark::kMillisecond);

}  // namespace
