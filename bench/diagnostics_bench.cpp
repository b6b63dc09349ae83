// What the server runs over a whole script once it has been edited: the
// checker (the colours read back and every rule over them, the routine
// rules with the outline they need) and the routine outline (the
// plug-in's routine list and the headers it cannot see), each after one
// edit that the timing leaves out. Together they should stay within 10 ms
// on a 20,000-line script.
//
// The main figures are on a script as its authors write them (CR LF,
// banner, includes, indented and commented-out routines, one-statement
// ifs with gotos, every block closed): it gets no diagnostics, as a script
// that builds should. The /noisy figures are on text whose block words
// are at random, with thousands of diagnostics: what a half-typed or
// broken file costs, most of it in building the messages.
//
//   wyn_bench --benchmark_filter=AfterEdit --benchmark_repetitions=9
//             --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <optional>
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

const size_t kLines = 20000;

// The first kLines lines of text.
std::string first_lines(std::string text) {
  size_t at = 0;
  for (size_t n = 0; n < kLines && at != std::string::npos; n++) {
    at = text.find('\n', at);
    if (at != std::string::npos) at++;
  }
  if (at != std::string::npos) text.resize(at);
  return text;
}

// 20,000 lines with CR LF line ends: realistic (kind 0) or noisy (1).
std::string big_script(int64_t kind) {
  wyn_text::options o;
  o.crlf = true;
  if (kind == 0) return wyn_text::generate_real(11, kLines, o);
  return first_lines(wyn_text::generate(11, kLines * 50, o));
}

// A coloured document of the script, and an edit that types a space in
// its middle line and the next that takes it out again, so each run sees
// the same text within a byte.
struct Edited {
  wyn::Document doc;
  std::string text;
  long at;
  bool typed = false;
  explicit Edited(int64_t kind) : doc(big_script(kind)) {
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

// The checker as the server runs it: every rule, the routine rules
// asking for the outline where they could find something.
void BM_CheckAfterEdit(benchmark::State& state) {
  Edited e(state.range(0));
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
  state.counters["lines"] = (double)e.doc.line_count();
}
BENCHMARK(BM_CheckAfterEdit)->Arg(0)->Arg(1)->ArgName("noisy")->Unit(benchmark::kMillisecond);

void outline(Edited& e, const std::vector<std::string>& reserved, size_t* routines) {
  std::vector<wyn::LineSpan> marks;
  std::string message;
  e.doc.routines(&marks, &message, nullptr);
  *routines = wyn::routine_outline(e.doc, marks, reserved).size();
}

void BM_OutlineAfterEdit(benchmark::State& state) {
  Edited e(state.range(0));
  std::vector<std::string> reserved = loaded_plugin().words(1);
  size_t routines = 0;
  for (auto _ : state) {
    state.PauseTiming();
    e.edit();
    state.ResumeTiming();
    outline(e, reserved, &routines);
  }
  state.counters["routines"] = (double)routines;
}
BENCHMARK(BM_OutlineAfterEdit)->Arg(0)->Arg(1)->ArgName("noisy")->Unit(benchmark::kMillisecond);

// Both, as the server makes them for a client that shows problems and an
// outline after each edit: the outline the routine rules made is kept for
// the outline, made only when they needed none. The figure to hold within
// 10 ms.
void BM_CheckAndOutlineAfterEdit(benchmark::State& state) {
  Edited e(state.range(0));
  std::vector<std::string> reserved = loaded_plugin().words(1);
  std::vector<wyn::Diagnostic> found;
  size_t routines = 0;
  for (auto _ : state) {
    state.PauseTiming();
    e.edit();
    state.ResumeTiming();
    std::string error;
    std::optional<std::vector<wyn::Routine>> made;
    wyn::check_coloured(e.doc, e.text, e.doc.categories(), reserved, &found, &error, &made);
    if (made)
      routines = made->size();
    else
      outline(e, reserved, &routines);
  }
  state.counters["diagnostics"] = (double)found.size();
  state.counters["routines"] = (double)routines;
}
BENCHMARK(BM_CheckAndOutlineAfterEdit)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("noisy")
    ->Unit(benchmark::kMillisecond);

}  // namespace
