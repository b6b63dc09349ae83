// Range re-colouring: the widened range, what is cleared, the count handed
// to the scanner and the range given back, read from the stand-in's log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/colour.h"

using namespace colour_test;

namespace {

// Lines "x" except those given; every line ends with a line end.
std::string lines_of(int count, std::vector<std::pair<int, const char*>> given) {
  std::string text;
  for (int line = 1; line <= count; line++) {
    const char* s = "x";
    for (const auto& p : given)
      if (p.first == line) s = p.second;
    text += s;
    text += "\n";
  }
  return text;
}

// The driver's own calls: character reads left out, the scanner's whole
// conversation (colour queries to MemFree) folded into "[scan]".
std::string update_calls(cw_long first, cw_long last) {
  cw_log_clear();
  cw_log_enable(1);
  EXPECT_EQ(_wyn_language_colors_update(first, last), 0);
  cw_log_enable(0);
  std::string out;
  bool in_scan = false;
  for (const std::string& line : calls_without_reads()) {
    if (line == "ColorOfComments(-1)") in_scan = true;
    if (!in_scan) out += line + "\n";
    if (line == "MemFree(P)") {
      in_scan = false;
      out += "[scan]\n";
    }
  }
  return out;
}

// The ColorClear and LineRange calls alone: what was cleared and the range
// handed back for redisplay.
std::string outcome(cw_long first, cw_long last) {
  cw_log_clear();
  cw_log_enable(1);
  _wyn_language_colors_update(first, last);
  cw_log_enable(0);
  std::string out;
  for (size_t i = 0; i < cw_log_count(); i++) {
    std::string line = cw_log_at(i);
    if (line.compare(0, 10, "ColorClear") == 0 || line.compare(0, 9, "LineRange") == 0) {
      if (!out.empty()) out += " ";
      out += line;
    }
  }
  return out;
}

std::string at(cw_long pos) {
  return std::to_string(pos);
}

TEST(ColourUpdate, ZeroLineDoesNothing) {
  fresh(lines_of(5, {}));
  for (auto range : {std::pair<cw_long, cw_long>(0, 3), {3, 0}, {0, 0}}) {
    cw_log_clear();
    cw_log_enable(1);
    EXPECT_EQ(_wyn_language_colors_update(range.first, range.second), 0);
    EXPECT_EQ(cw_log_count(), 0u);
  }
}

// Edit on 7..9 inside a comment from line 4 to line 12: the whole exchange.
TEST(ColourUpdate, InsideEnclosingComment) {
  fresh(lines_of(15, {{4, "/* open"}, {12, "close */"}}));
  std::string start = at(cw_line_start(4));
  std::string expected =
      "ScanSetPos(0)\n"
      "ScanLineDown(6)\n"
      "ScanLineLimit(-1)\n"  // probe back: the opener on line 4
      "ScanSetPos(" +
      start +
      ")\n"
      "ScanLineLimit(-1)\n"  // probe on from it: the closer on 12
      "ScanLine()\n"
      "ScanSetPos(" +
      start +
      ")\n"  // continuation walk: line 3 plain
      "ScanPrevLine()\n"
      "ScanLineLastChar()\n"
      "ScanLineLastChar()\n"
      "ScanSetPos(" +
      start +
      ")\n"
      "ScanLine()\n"
      "ScanSetPos(0)\n"  // end of the range
      "ScanStateFlag()\n"
      "ScanLineDown(8)\n"
      "ScanLineDown(0)\n"
      "ScanStateFlag()\n"
      "ScanLineLimit(-1)\n"
      "ScanLine()\n"
      "ColorUpdateBegin(1)\n"  // nothing cleared: 12 is not below 12
      "ScanSetPos(" +
      start +
      ")\n"
      "[scan]\n"
      "ColorUpdateEnd(1)\n"
      "LineRange(4, 13)\n"
      "RefreshLines(LineRange(4, 13))\n";
  EXPECT_EQ(update_calls(7, 9), expected);
  EXPECT_EQ(lines_coloured, 9);
  EXPECT_EQ(runs(), "c@" + start + "+" + at(cw_line_start(12) + 8 - cw_line_start(4)));
  EXPECT_TRUE(ledger_clear());
}

struct Case {
  const char* name;
  int lines;
  std::vector<std::pair<int, const char*>> given;
  cw_long limit;
  cw_long flag;
  cw_long first, last;
  const char* outcome;  // ColorClear calls, then LineRange
  cw_long lines_coloured;
};

const Case cases[] = {
    {"comment closing inside the range",
     15,
     {{4, "/* open"}, {8, "close */"}},
     40,
     0,
     7,
     9,
     "ColorClear(8, 9, 1, 2147483647, 0) LineRange(4, 10)",
     6},
    {"opener beyond the budget",
     9,
     {{2, "/* open"}},
     3,
     0,
     8,
     8,
     "ColorClear(8, 8, 1, 2147483647, 0) LineRange(8, 9)",
     1},
    {"closer above",
     9,
     {{2, "/* a */"}},
     40,
     0,
     5,
     6,
     "ColorClear(5, 6, 1, 2147483647, 0) LineRange(5, 7)",
     2},
    {"no delimiter above",
     9,
     {},
     40,
     0,
     5,
     6,
     "ColorClear(5, 6, 1, 2147483647, 0) LineRange(5, 7)",
     2},
    {"opener above, nothing after it",
     20,
     {{3, "/* open"}},
     40,
     0,
     5,
     5,
     "ColorClear(3, 5, 1, 2147483647, 0) LineRange(3, 21)",
     18},
    {"continued lines above",
     9,
     {{5, "a \\"}, {6, "b \\"}},
     40,
     0,
     7,
     7,
     "ColorClear(4, 7, 1, 2147483647, 0) LineRange(4, 8)",
     4},
    {"line above not continued",
     9,
     {{5, "a \\"}},
     40,
     0,
     7,
     7,
     "ColorClear(7, 7, 1, 2147483647, 0) LineRange(7, 8)",
     1},
    {"empty line above",
     9,
     {{5, "a \\"}, {6, ""}},
     40,
     0,
     7,
     7,
     "ColorClear(7, 7, 1, 2147483647, 0) LineRange(7, 8)",
     1},
    {"closer below",
     12,
     {{10, "x */"}},
     40,
     0,
     5,
     6,
     "ColorClear(5, 10, 1, 2147483647, 0) LineRange(5, 11)",
     6},
    {"opener below",
     12,
     {{10, "/* x"}},
     40,
     0,
     5,
     6,
     "ColorClear(5, 6, 1, 2147483647, 0) LineRange(5, 7)",
     2},
    {"opener below, state flag",
     12,
     {{10, "/* x"}},
     40,
     1,
     5,
     6,
     "ColorClear(5, 10, 1, 2147483647, 0) LineRange(5, 13)",
     8},
    {"state flag, budget runs out",
     12,
     {},
     3,
     1,
     5,
     6,
     "ColorClear(5, 9, 1, 2147483647, 0) LineRange(5, 10)",
     5},
    {"plain range", 9, {}, 40, 0, 3, 5, "ColorClear(3, 5, 1, 2147483647, 0) LineRange(3, 6)", 3},
    {"first line", 3, {}, 40, 0, 1, 1, "ColorClear(1, 1, 1, 2147483647, 0) LineRange(1, 2)", 1},
};

TEST(ColourUpdate, WideningTable) {
  for (const Case& c : cases) {
    fresh(lines_of(c.lines, c.given));
    cw_set_scan_line_limit(c.limit);
    cw_set_state_flag(c.flag);
    EXPECT_EQ(outcome(c.first, c.last), c.outcome) << c.name;
    EXPECT_EQ(lines_coloured, c.lines_coloured) << c.name;
    EXPECT_TRUE(ledger_clear()) << c.name;
  }
}

// The walk over continued lines: two rounds, each test asking twice.
TEST(ColourUpdate, ContinuationWalkCalls) {
  fresh(lines_of(9, {{5, "a \\"}, {6, "b \\"}}));
  std::string calls = update_calls(7, 7);
  std::string walk = "ScanSetPos(" + at(cw_line_start(7)) +
                     ")\n"
                     "ScanPrevLine()\n"
                     "ScanLineLastChar()\nScanLineLastChar()\nScanLineStart(0)\nScanPrevLine()\n"
                     "ScanLineLastChar()\nScanLineLastChar()\nScanLineStart(0)\nScanPrevLine()\n"
                     "ScanLineLastChar()\nScanLineLastChar()\n"
                     "ScanSetPos(" +
                     at(cw_line_start(4)) +
                     ")\n"
                     "ScanLine()\n";
  EXPECT_NE(calls.find(walk), std::string::npos) << calls;
}

// The text ends before any line end is passed: the range is first..last.
TEST(ColourUpdate, NoLineEndPassed) {
  fresh("if x");
  EXPECT_EQ(outcome(1, 1), "ColorClear(1, 1, 1, 2147483647, 0) LineRange(1, 1)");
  EXPECT_EQ(lines_coloured, 0);
  EXPECT_EQ(runs(), "k1@0+2");
}

// Line 1 ends in a backslash and there is no line above it, where the
// host's ScanPrevLine stays put: the walk stops on line 1.
TEST(ColourUpdate, ContinuationReachesLineOne) {
  const struct {
    const char* text;
    cw_long first, last;
    const char* outcome;
  } line_one[] = {
      {"a \\\nb\nc", 2, 2, "ColorClear(1, 2, 1, 2147483647, 0) LineRange(1, 3)"},
      {"a \\\nb\nc", 1, 1, "ColorClear(1, 1, 1, 2147483647, 0) LineRange(1, 2)"},
      {"a \\\nb \\\nc\nd", 3, 3, "ColorClear(1, 3, 1, 2147483647, 0) LineRange(1, 4)"},
      {"a \\\r\nb\r\nc", 2, 2, "ColorClear(1, 2, 1, 2147483647, 0) LineRange(1, 3)"},
      {"\\", 1, 1, "ColorClear(1, 1, 1, 2147483647, 0) LineRange(1, 1)"},
      {"/* \\\n*/ x", 2, 2, "LineRange(1, 2)"},  // inside a comment closing on 2
  };
  for (const auto& c : line_one) {
    fresh(c.text);
    unsigned long long before = cw_call_count();
    EXPECT_EQ(outcome(c.first, c.last), c.outcome) << c.text;
    EXPECT_LT(cw_call_count() - before, 1000u) << c.text;
    EXPECT_TRUE(ledger_clear());
  }
}

// After the update the buffer's colours match a whole-buffer colouring
// wherever the re-coloured range reaches (here: a comment opened by an edit).
TEST(ColourUpdate, ColoursAfterOpeningAComment) {
  std::string text = lines_of(10, {{3, "if x = 1;"}, {6, "TRUE"}});
  fresh(text);
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(cw_colour_at(cw_line_start(6)), 2);
  // the edit: line 2 becomes an opener, nothing closes it
  text = lines_of(10, {{2, "/*"}, {3, "if x = 1;"}, {6, "TRUE"}});
  cw_set_text(text.data(), text.size());
  _wyn_language_colors_update(2, 2);
  for (cw_long pos = cw_line_start(2); pos < (cw_long)text.size(); pos++)
    EXPECT_EQ(cw_colour_at(pos), 1) << pos;
  EXPECT_TRUE(ledger_clear());
}

}  // namespace
