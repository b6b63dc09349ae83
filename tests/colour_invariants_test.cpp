// Properties that hold on any text, checked on several hundred seeded
// buffers: runs inside the buffer, bounded host calls per character, an
// empty ledger, the line count matching the text the scan really covered,
// and probes leaving the scan position on the delimiter they report.
#include <gtest/gtest.h>

#include <string>

#include "support/colour.h"
#include "support/wyn_text.h"

using namespace colour_test;

namespace {

const int kSeeds = 400;
const cw_long kLimits[] = {-1, 0, 1, 3, 40};

std::string make_text(uint64_t seed) {
  wyn_text::rng r(seed * 7919 + 1);
  wyn_text::options o;
  o.crlf = r.chance(30);
  switch (seed % 3) {
    case 0:
      return wyn_text::generate_tricky(seed, r.below(160));
    case 1:
      return wyn_text::generate_lines(seed, 1 + r.below(12), o);
    default: {
      o.final_newline = r.chance(50);
      return wyn_text::generate(seed, 200, o);
    }
  }
}

// Host calls allowed per character (look-backs, runs, three lookups per
// word) plus a constant for the set-up of a call.
unsigned long long call_bound(const std::string& text) {
  return 24ull * (text.size() + 1) + 64;
}

cw_long line_ends(const std::string& text, cw_long from, cw_long to) {
  cw_long n = 0;
  for (cw_long i = from; i < to; i++)
    if (text[(size_t)i] == '\n') n++;
  return n;
}

// The scanner's count: line ends between start and stop, plus the one it
// counts for a line comment that ends the text without a line end.
cw_long expected_lines(const std::string& text, cw_long start, cw_long stop) {
  cw_long n = line_ends(text, start, stop);
  size_t runs_n = cw_run_count();
  if (runs_n > 0 && stop == (cw_long)text.size()) {
    cw_run last = cw_run_at(runs_n - 1);
    size_t s = (size_t)last.pos;
    if (last.colour == 1 && s + 1 < text.size() && text[s] == '/' && text[s + 1] == '/' &&
        text.find('\n', s) == std::string::npos && last.pos + last.length == stop)
      n++;
  }
  return n;
}

void check_runs(const std::string& text, const std::string& what) {
  for (size_t i = 0; i < cw_run_count(); i++) {
    cw_run r = cw_run_at(i);
    EXPECT_GE(r.pos, 0) << what;
    EXPECT_GT(r.length, 0) << what;
    EXPECT_LE(r.pos + r.length, (cw_long)text.size()) << what;
  }
}

TEST(ColourInvariants, WholeBuffer) {
  for (int seed = 0; seed < kSeeds; seed++) {
    std::string text = make_text((uint64_t)seed);
    fresh(text);
    if (seed % 5 == 1) cw_set_category_colour(CW_STRINGS, 0);
    if (seed % 7 == 2) cw_set_category_colour(CW_NUMBERS, 0);
    std::string what = "seed " + std::to_string(seed);
    unsigned long long before = cw_call_count();
    _wyn_language_colors(CW_ALL_LINES);
    EXPECT_LE(cw_call_count() - before, call_bound(text)) << what;
    EXPECT_EQ(cw_scan_pos(), (cw_long)text.size()) << what;
    check_runs(text, what);
    EXPECT_EQ(lines_coloured, expected_lines(text, 0, cw_scan_pos())) << what;
    EXPECT_TRUE(ledger_clear()) << what;
  }
}

TEST(ColourInvariants, CountedRuns) {
  for (int seed = 0; seed < kSeeds; seed++) {
    std::string text = make_text((uint64_t)seed);
    wyn_text::rng r((uint64_t)seed);
    for (int round = 0; round < 3; round++) {
      fresh(text);
      cw_long limit = kLimits[r.below(5)];
      cw_set_scan_line_limit(limit);
      cw_long at = (cw_long)r.below(text.size() + 1);
      cw_long count = (cw_long)r.below(9) - 3;
      if (count == CW_ALL_LINES) count = 2;
      std::string what = "seed " + std::to_string(seed) + " at " + std::to_string(at) + " count " +
                         std::to_string(count) + " limit " + std::to_string(limit);
      cw_long start = find_comment_start(at);  // where the scan will really begin
      if (start == WYN_NOT_IN_COMMENT) start = at;
      ScanSetPos(at);
      unsigned long long before = cw_call_count();
      _wyn_language_colors(count);
      EXPECT_LE(cw_call_count() - before, call_bound(text)) << what;
      check_runs(text, what);
      EXPECT_GE(cw_scan_pos(), start) << what;
      EXPECT_EQ(lines_coloured, expected_lines(text, start, cw_scan_pos())) << what;
      EXPECT_TRUE(ledger_clear()) << what;
    }
  }
}

TEST(ColourInvariants, Probes) {
  for (int seed = 0; seed < kSeeds; seed++) {
    std::string text = make_text((uint64_t)seed);
    cw_long n = (cw_long)text.size();
    auto char_at = [&](cw_long p) { return p >= 0 && p < n ? text[(size_t)p] : '\0'; };
    wyn_text::rng r((uint64_t)seed + 99);
    fresh(text);
    for (int round = 0; round < 4; round++) {
      cw_set_scan_line_limit(kLimits[r.below(5)]);
      cw_long at = (cw_long)r.below(text.size() + 1);
      std::string what = "seed " + std::to_string(seed) + " at " + std::to_string(at);
      unsigned long long bound = 4ull * (text.size() + 2) + 16;

      unsigned long long before = cw_call_count();
      cw_long f = find_comment_start(at);
      EXPECT_LE(cw_call_count() - before, bound) << what;
      if (f != -1) {
        EXPECT_EQ(cw_scan_pos(), f) << what;
        EXPECT_LE(f, at) << what;
        EXPECT_EQ(char_at(f), '/') << what;
        EXPECT_TRUE(char_at(f + 1) == '*' || char_at(f + 1) == '/') << what;
      }

      ScanSetPos(at);
      before = cw_call_count();
      cw_long b = find_comment_mark_before();
      EXPECT_LE(cw_call_count() - before, bound) << what;
      cw_long p = cw_scan_pos();
      EXPECT_TRUE(b != 1 || (char_at(p) == '/' && char_at(p + 1) == '*')) << what;
      EXPECT_TRUE(b != 2 || (char_at(p) == '*' && char_at(p + 1) == '/')) << what;
      EXPECT_TRUE(b >= 0 && b <= 2) << what;

      ScanSetPos(at);
      before = cw_call_count();
      cw_long a = find_comment_mark_after();
      EXPECT_LE(cw_call_count() - before, bound) << what;
      p = cw_scan_pos();
      EXPECT_TRUE(a != 1 || (char_at(p - 1) == '/' && char_at(p) == '*')) << what;
      EXPECT_TRUE(a != 2 || (char_at(p - 1) == '*' && char_at(p) == '/')) << what;
      EXPECT_TRUE(a >= 0 && a <= 2) << what;
      EXPECT_TRUE(ledger_clear()) << what;
    }
  }
}

TEST(ColourInvariants, RangeUpdates) {
  for (int seed = 0; seed < kSeeds; seed++) {
    std::string text = make_text((uint64_t)seed);
    wyn_text::rng r((uint64_t)seed + 5);
    fresh(text);
    cw_set_scan_line_limit(kLimits[r.below(5)]);
    cw_set_state_flag(r.chance(20) ? 1 : 0);
    cw_long lines = cw_line_count();
    cw_long first = 1 + (cw_long)r.below((size_t)lines + 1);
    cw_long last = first + (cw_long)r.below(4);
    std::string what = "seed " + std::to_string(seed) + " lines " + std::to_string(first) + ".." +
                       std::to_string(last);
    cw_log_enable(1);
    unsigned long long before = cw_call_count();
    EXPECT_EQ(_wyn_language_colors_update(first, last), 0) << what;
    EXPECT_LE(cw_call_count() - before, 3 * call_bound(text)) << what;
    check_runs(text, what);
    int begins = 0, ends = 0, refreshes = 0;
    for (size_t i = 0; i < cw_log_count(); i++) {
      std::string line = cw_log_at(i);
      begins += line == "ColorUpdateBegin(1)";
      ends += line == "ColorUpdateEnd(1)";
      refreshes += line.compare(0, 12, "RefreshLines") == 0;
    }
    EXPECT_EQ(begins, 1) << what;
    EXPECT_EQ(ends, 1) << what;
    EXPECT_EQ(refreshes, 1) << what;
    EXPECT_TRUE(ledger_clear()) << what;
  }
}

}  // namespace
