// Colouring through the host interface: a whole 10 MB buffer, the
// re-colouring of one edited line in the middle of a small and of a huge
// buffer (the cost must not grow with the file), and the stand-in's own
// cost per ScanNext so plug-in time and host time can be told apart.
#include <benchmark/benchmark.h>

#include <string>

#include "cwedit.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "support/editor.h"
#include "support/wyn_text.h"

namespace {

const size_t whole_size = 10u << 20;

void load(const std::string& text) {
  support::fresh_editor(text, support::KEYWORD_TABLES);
}

const std::string& ten_megabytes() {
  static std::string text = wyn_text::generate(7, whole_size);
  return text;
}

void BM_ColourWholeBuffer(benchmark::State& state) {
  const std::string& text = ten_megabytes();
  load(text);
  unsigned long long calls = 0;
  for (auto _ : state) {
    cw_clear_runs();
    unsigned long long before = cw_call_count();
    _wyn_language_colors(CW_ALL_LINES);
    calls += cw_call_count() - before;
    benchmark::DoNotOptimize(lines_coloured);
  }
  state.SetBytesProcessed((int64_t)(state.iterations() * text.size()));
  state.counters["calls_per_byte"] = (double)calls / (double)(state.iterations() * text.size());
  state.counters["runs"] = (double)cw_run_count();
  cw_reset();
}
BENCHMARK(BM_ColourWholeBuffer)->Unit(benchmark::kMillisecond);

// The 1,000,000-line buffer, and the 10,000 lines around its middle as the
// small one, so both edits meet the same neighbourhood.
const std::string& million_lines() {
  static std::string text = wyn_text::generate_lines(11, 1000000);
  return text;
}

std::string middle_lines(const std::string& text, size_t lines) {
  size_t total = 0;
  for (char c : text) total += c == '\n';
  size_t skip = (total - lines) / 2, line = 0, from = 0;
  while (line < skip) from = text.find('\n', from) + 1, line++;
  size_t to = from;
  for (size_t i = 0; i < lines; i++) to = text.find('\n', to) + 1;
  return text.substr(from, to - from);
}

// Re-colouring after an edit of the middle line of text, which holds
// `lines` lines; counts the host calls each update makes.
void measure_middle_line_update(benchmark::State& state, const std::string& text, size_t lines) {
  load(text);
  cw_long mid = (cw_long)(lines / 2);
  unsigned long long calls = 0;
  for (auto _ : state) {
    cw_clear_runs();
    unsigned long long before = cw_call_count();
    benchmark::DoNotOptimize(_wyn_language_colors_update(mid, mid));
    calls += cw_call_count() - before;
  }
  state.counters["calls"] = (double)calls / (double)state.iterations();
  cw_reset();
}

// One edited line in the middle of a buffer of state.range(0) lines.
void BM_ColourUpdateOneLine(benchmark::State& state) {
  size_t lines = (size_t)state.range(0);
  const std::string& big = million_lines();
  measure_middle_line_update(state, lines == 1000000 ? big : middle_lines(big, lines), lines);
}
BENCHMARK(BM_ColourUpdateOneLine)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// The same with no comment delimiter anywhere: every probe walks its whole
// line budget, the worst an edit costs.
void BM_ColourUpdateNoDelimiters(benchmark::State& state) {
  size_t lines = (size_t)state.range(0);
  std::string text;
  for (size_t i = 0; i < lines; i++) text += "    nResult = StrLength(szPath) + 0x1F;\n";
  measure_middle_line_update(state, text, lines);
}
BENCHMARK(BM_ColourUpdateNoDelimiters)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// The host alone: one ScanNext per character over the same 10 MB.
void BM_HostScanNext(benchmark::State& state) {
  const std::string& text = ten_megabytes();
  load(text);
  for (auto _ : state) {
    ScanSetPos(0);
    while (ScanNext() != CW_NO_CHAR) {
    }
  }
  state.SetItemsProcessed((int64_t)(state.iterations() * text.size()));
  state.counters["ns_per_call"] =
      benchmark::Counter((double)(state.iterations() * text.size()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  cw_reset();
}
BENCHMARK(BM_HostScanNext)->Unit(benchmark::kMillisecond);

}  // namespace
