// The stand-in editor's hot path: one ScanNext per character over a 10 MB
// buffer, and the same walk with one ColorRun per 8 characters as a
// colouring pass would make.
#include <benchmark/benchmark.h>

#include <string>

#include "cwedit.h"
#include "support/editor.h"
#include "support/wyn_text.h"

namespace {

const size_t buffer_size = 10u << 20;

void load_buffer() {
  static std::string text;
  if (text.empty()) text = wyn_text::generate(1, buffer_size);
  support::fresh_editor(text, support::NO_TABLES);
}

// ns_per_call is the time per ScanNext call (seconds, SI-prefixed).
void BM_ScanNext(benchmark::State& state) {
  load_buffer();
  long long calls = 0;
  for (auto _ : state) {
    ScanSetPos(0);
    while (ScanNext() != CW_NO_CHAR) calls++;
    calls++;
  }
  state.SetItemsProcessed(calls);
  state.SetBytesProcessed(calls);
  state.counters["ns_per_call"] = benchmark::Counter(
      static_cast<double>(calls), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  cw_reset();
}
BENCHMARK(BM_ScanNext)->Unit(benchmark::kMillisecond);

void BM_ScanAndColour(benchmark::State& state) {
  load_buffer();
  long long bytes = 0;
  for (auto _ : state) {
    cw_clear_runs();
    ScanSetPos(0);
    cw_long start = 0;
    cw_long ch = ScanChar();
    while (ch != CW_NO_CHAR) {
      ch = ScanNext();
      cw_long pos = ScanGetPos();
      if (pos - start == 8 || ch == CW_NO_CHAR) {
        ScanSetPos(start);
        ColorRun(5, pos - start);
        ScanSetPos(pos);
        start = pos;
      }
    }
    bytes += ScanGetPos();
  }
  state.SetBytesProcessed(bytes);
  cw_reset();
}
BENCHMARK(BM_ScanAndColour)->Unit(benchmark::kMillisecond);

}  // namespace
