// The stand-in editor's pattern search, driven the way the routine list and
// smart indent drive it: on ordinary scripts, on text built to make a
// closure over line ends run to the end of the buffer from every line, and
// backward from the end of a long buffer.
#include <benchmark/benchmark.h>

#include <string.h>

#include <string>

#include "../standin/search.h"
#include "../plugin/edit/patterns.h"

namespace {

const char* const kLine = wyn_line_pattern;
const char* const kWord = wyn_word_start_pattern;
const char* const kHeader = wyn_header_pattern;
const char* const kFollower = wyn_follower_pattern;

unsigned long long generation = 1;

// An ordinary script: one definition, with its body, every 20 lines.
std::string script(size_t lines) {
  std::string s;
  for (size_t i = 0; i < lines; i++) {
    switch (i % 20) {
      case 0:
        s += "function Routine" + std::to_string(i) + "(NUMBER nIndex, STRING szPath)\n";
        break;
      case 1:
        s += "    STRING szTemp;\n";
        break;
      case 2:
        s += "begin\n";
        break;
      case 18:
        s += "end;\n";
        break;
      case 19:
        s += "\n";
        break;
      default:
        s += "    nResult = StrLength(szPath) + CopyFile(szTemp, \"a(b\");\n";
        break;
    }
  }
  return s;
}

// About 10 MB of lines that open a list nothing closes; with_close puts one
// ')' at the very end, so every follower search fails.
std::string unclosed(bool with_close) {
  std::string s;
  for (size_t i = 0; s.size() < 10u * 1000 * 1000; i++)
    s += "Call" + std::to_string(i % 1000) + "(szPath, nIndex,\n";
  if (with_close) s += ")";
  return s;
}

// The routine list's loop: header search, follower search, the next line.
// Returns the number of headers seen.
size_t routine_walk(const std::string& text, unsigned long long gen) {
  size_t cursor = 0, headers = 0;
  for (;;) {
    size_t start, follower;
    if (!cw::pattern_search(text.data(), text.size(), gen, cursor, kHeader, false, &start)) break;
    follower = start;
    cw::pattern_search(text.data(), text.size(), gen, start, kFollower, false, &follower);
    headers++;
    const void* lf = memchr(text.data() + follower, '\n', text.size() - follower);
    if (!lf) break;
    cursor = (size_t)((const char*)lf - text.data()) + 1;
  }
  return headers;
}

// A new generation per run, so that building the index is counted too.
void BM_RoutineWalkScript(benchmark::State& state) {
  std::string text = script((size_t)state.range(0));
  size_t headers = 0;
  for (auto _ : state) headers = routine_walk(text, generation++);
  state.counters["headers"] = (double)headers;
  state.SetBytesProcessed((int64_t)(state.iterations() * text.size()));
}
BENCHMARK(BM_RoutineWalkScript)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_RoutineWalkUnclosed(benchmark::State& state) {
  std::string text = unclosed(state.range(0) != 0);
  size_t headers = 0;
  for (auto _ : state) headers = routine_walk(text, generation++);
  state.counters["headers"] = (double)headers;
  state.counters["MB"] = (double)text.size() / 1e6;
}
BENCHMARK(BM_RoutineWalkUnclosed)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Smart indent's two backward searches from the end of a long buffer; in
// the second buffer no line qualifies, so every line start is tried.
void BM_BackwardFromEnd(benchmark::State& state) {
  std::string text;
  if (state.range(0) == 0) {
    text = script(1000000);
  } else {
    while (text.size() < 10u * 1000 * 1000) text += "  = 1; 2 + 3 ( nothing here\n";
  }
  size_t out = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        cw::pattern_search(text.data(), text.size(), 1, text.size(), kLine, true, &out));
    benchmark::DoNotOptimize(
        cw::pattern_search(text.data(), text.size(), 1, text.size(), kWord, true, &out));
  }
  state.counters["MB"] = (double)text.size() / 1e6;
}
BENCHMARK(BM_BackwardFromEnd)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
