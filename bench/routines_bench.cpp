// Routine list over large buffers, ordinary and hostile, and the cost of
// building the tables at start-up.
#include <benchmark/benchmark.h>

#include <string>

#include "cwedit.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "support/editor.h"

namespace {

// `lines` lines in blocks of 20: a definition header, its body and end.
// Every fourth block begins with a declaration.
std::string definitions_text(long lines) {
  std::string text;
  long blocks = lines / 20;
  text.reserve(static_cast<size_t>(lines) * 16);
  for (long b = 0; b < blocks; b++) {
    std::string name = "Routine" + std::to_string(b);
    if (b % 4 == 0)
      text += "prototype " + name + "(NUMBER);\n";
    else
      text += "// " + name + "\n";
    text += "function " + name + "(nValue)\n";
    text += "    NUMBER n;\n";
    text += "begin\n";
    for (int i = 0; i < 14; i++) text += "    n = n + Delay(1);\n";
    text += "end;\n";
  }
  return text;
}

void routines_over(benchmark::State& state, const std::string& text) {
  support::fresh_editor(text);
  for (auto _ : state) {
    cw_set_cursor(0);
    _wyn_routines();
  }
  state.counters["marks"] = static_cast<double>(cw_mark_count());
  state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}

// 100,000 lines with 5,000 definitions, and ten times that.
void BM_RoutinesDefinitions(benchmark::State& state) {
  routines_over(state, definitions_text(state.range(0)));
}
BENCHMARK(BM_RoutinesDefinitions)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// 10 MB of lines that each begin a header whose '(' is never closed, with
// no ')' after it, or with one ')' at the very end of the buffer.
std::string unclosed_text(bool closed_at_end) {
  const std::string line = "Routine(nValue, szText\n";
  std::string text;
  text.reserve(10000000 + line.size());
  while (text.size() < 10000000) text += line;
  if (closed_at_end) text += ")";
  return text;
}

void BM_RoutinesUnclosed(benchmark::State& state) {
  routines_over(state, unclosed_text(state.range(0) != 0));
}
BENCHMARK(BM_RoutinesUnclosed)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// Start-up's table building: three keyword tables and 287 templates.
void BM_BuildTables(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    cw_reset();
    state.ResumeTiming();
    wyn_build_keyword_tables();
    wyn_build_template_table();
  }
}
BENCHMARK(BM_BuildTables)->Unit(benchmark::kMicrosecond);

}  // namespace
