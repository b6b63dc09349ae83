// Typing as a person does, through the session as the wyn tool drives it:
// a jump to a place anywhere in the file, then 30 keystrokes there, at 100
// places scattered over 1 MiB and 10 MiB (the cost per keystroke must not
// grow with the file); 100,000 keystrokes on 1 MiB; one jump across 10 MiB.
// Then the costs the plug-in's re-colouring keeps on purpose: typing in one
// long line, typing below a long backslash-continued group, Enter after a
// line that starts with no word.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "cwedit.h"
#include "session.h"
#include "support/wyn_text.h"

namespace {

const char typed[] = "nCount = StrLength(szName) + 1;";  // 30 characters and a space

wyn::Plugin& plugin() {
  static wyn::Plugin p;
  if (!p.loaded()) {
    std::string error;
    p.load(WYN_PLUGIN_PATH, &error);
  }
  return p;
}

const std::string& script(size_t bytes) {
  static std::string one, ten;
  std::string& s = bytes <= (1u << 20) ? one : ten;
  if (s.empty()) s = wyn_text::generate(7, bytes);
  return s;
}

// places jumps, each followed by `per_place` keystrokes; positions from a
// fixed seed, so every run types at the same places.
void type_scattered(benchmark::State& state, size_t bytes, size_t places, size_t per_place) {
  plugin();
  wyn::Document doc(script(bytes));
  doc.colour_whole();
  wyn_text::rng r(42);
  wyn::Document::Edit edit;
  std::string error;
  size_t keys = 0;
  for (auto _ : state) {
    for (size_t p = 0; p < places; p++) {
      doc.set_cursor((long)r.below(doc.size()));
      for (size_t k = 0; k < per_place; k++) doc.type(typed[k % 30], &edit, &error);
      keys += per_place;
    }
  }
  state.counters["per_key"] =
      benchmark::Counter((double)keys, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// 100 places x 30 keystrokes on state.range(0) MiB.
void BM_TypingAtScatteredPlaces(benchmark::State& state) {
  type_scattered(state, (size_t)state.range(0) << 20, 100, 30);
}
BENCHMARK(BM_TypingAtScatteredPlaces)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

// 100,000 keystrokes on 1 MiB, 30 at each place.
void BM_TypingHundredThousandKeys(benchmark::State& state) {
  type_scattered(state, 1u << 20, 3334, 30);
}
BENCHMARK(BM_TypingHundredThousandKeys)->Unit(benchmark::kMillisecond)->Iterations(1);

// One keystroke at the start of 10 MiB and one at its end, in turn: each
// edit lands in a chunk far from the last one, so the cost per keystroke
// must not depend on the distance jumped.
void BM_JumpAcrossTenMiB(benchmark::State& state) {
  plugin();
  wyn::Document doc(script(10u << 20));
  doc.colour_whole();
  wyn::Document::Edit edit;
  std::string error;
  bool at_end = false;
  for (auto _ : state) {
    doc.set_cursor(at_end ? (long)doc.size() : 0);
    doc.type(' ', &edit, &error);
    at_end = !at_end;
  }
}
BENCHMARK(BM_JumpAcrossTenMiB)->Unit(benchmark::kMicrosecond);

// 1,000 keystrokes in the middle of one line of state.range(0) bytes: the
// plug-in re-colours the whole line after each.
void BM_TypingInALongLine(benchmark::State& state) {
  plugin();
  std::string line;
  while (line.size() < (size_t)state.range(0)) line += "nValue = nValue + 1; ";
  wyn::Document doc("program\n" + line + "\nendprogram\n");
  doc.colour_whole();
  wyn::Document::Edit edit;
  std::string error;
  for (auto _ : state) {
    doc.set_cursor(8 + (long)line.size() / 2);
    for (int k = 0; k < 1000; k++) doc.type(typed[k % 30], &edit, &error);
  }
  state.counters["per_key"] =
      benchmark::Counter(1000.0 * (double)state.iterations(),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TypingInALongLine)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// 1,000 keystrokes on the line below a group of state.range(0) lines each
// ending in a backslash: the plug-in re-colours the group after each.
void BM_TypingBelowAContinuedGroup(benchmark::State& state) {
  plugin();
  std::string text = "program\n";
  for (long i = 0; i < state.range(0); i++) text += "  szList = szList + \"x\" \\\n";
  size_t below = text.size();
  text += "  nDone = 1;\nendprogram\n";
  wyn::Document doc(text);
  doc.colour_whole();
  wyn::Document::Edit edit;
  std::string error;
  for (auto _ : state) {
    doc.set_cursor((long)below + 2);
    for (int k = 0; k < 1000; k++) doc.type(typed[k % 30], &edit, &error);
  }
  state.counters["per_key"] =
      benchmark::Counter(1000.0 * (double)state.iterations(),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TypingBelowAContinuedGroup)->Arg(13000)->Arg(131000)->Unit(benchmark::kMillisecond);

// Enter at the end of a line that starts with no word, state.range(0)
// lines into a script of such lines: the smart indent searches back.
void BM_EnterAfterALineWithoutAWord(benchmark::State& state) {
  plugin();
  std::string text;
  for (long i = 0; i < state.range(0); i++) text += "  (nValue + 1);\n";
  wyn::Document doc(text);
  doc.colour_whole();
  wyn::Document::Edit edit;
  std::string error;
  long at = doc.line_start(doc.line_count() - 1) - 1;  // end of the last full line
  for (auto _ : state) {
    doc.set_cursor(at);
    doc.enter(&edit, &error);
    state.PauseTiming();
    doc.replace(at, (long)doc.cursor() - at, "");  // the new line goes again
    state.ResumeTiming();
  }
}
BENCHMARK(BM_EnterAfterALineWithoutAWord)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
