// The stand-in editor's scan position and line index: end-of-text
// behaviour, line moves on LF and CR LF text, and lookups that must agree
// with a plain count of line feeds, also after edits.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>
#include <vector>

#include "cwedit.h"
#include "support/editor.h"

namespace {

void load(const std::string& text) {
  support::fresh_editor(text, support::NO_TABLES);
}

TEST(EditorScan, EndsOfTheText) {
  load("ab");
  EXPECT_EQ(ScanSetPos(1), 1);
  EXPECT_EQ(ScanNext(), CW_NO_CHAR);  // from the last character onto the end
  EXPECT_EQ(ScanGetPos(), 2);
  EXPECT_EQ(ScanNext(), CW_NO_CHAR);  // at the end it stays
  EXPECT_EQ(ScanGetPos(), 2);
  EXPECT_EQ(ScanChar(), CW_NO_CHAR);
  EXPECT_EQ(ScanPrev(), 'b');  // from the end onto the last character
  EXPECT_EQ(ScanGetPos(), 1);
  EXPECT_EQ(ScanPrev(), 'a');
  EXPECT_EQ(ScanPrev(), CW_NO_CHAR);  // at 0 it stays
  EXPECT_EQ(ScanGetPos(), 0);
  EXPECT_EQ(ScanChar(), 'a');
}

TEST(EditorScan, EmptyBuffer) {
  load("");
  EXPECT_EQ(ScanChar(), CW_NO_CHAR);
  EXPECT_EQ(ScanNext(), CW_NO_CHAR);
  EXPECT_EQ(ScanPrev(), CW_NO_CHAR);
  EXPECT_EQ(ScanLine(), 1);
  EXPECT_EQ(ScanLineDown(1), 0);
  EXPECT_EQ(ScanLineLastChar(), 0);
  EXPECT_EQ(ScanGetPos(), 0);
}

TEST(EditorScan, HighBytesAreNotNegative) {
  load("\xff\x80");
  EXPECT_EQ(ScanChar(), 255);
  EXPECT_EQ(ScanNext(), 128);
}

TEST(EditorScan, SetPosClampsAndMinusOneIsTheCursor) {
  load("abc");
  cw_set_cursor(2);
  struct {
    cw_long asked, got;
  } cases[] = {{-1, 2}, {-2, 0}, {99, 3}, {3, 3}, {0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked);
    EXPECT_EQ(ScanSetPos(c.asked), c.got);
    EXPECT_EQ(ScanGetPos(), c.got);
  }
  EXPECT_EQ(cw_cursor(), 2);  // never moved by the scan position
}

struct Down {
  const char* text;
  cw_long from, n, result, pos;
};

const Down downs[] = {
    {"ab\ncd", 0, 1, 1, 3},    {"ab\r\ncd", 0, 1, 2, 4},
    {"ab\r\ncd", 2, 1, 2, 4},                              // from the CR itself
    {"ab", 0, 1, 0, 2},                                    // last line without a break: to the end
    {"ab\ncd", 4, 1, 0, 5},    {"a\nb\r\nc", 0, 2, 2, 5},  // the last break crossed decides
    {"a\r\nb\nc", 0, 2, 1, 5}, {"a\nb", 0, 5, 0, 3},       // too few breaks left
    {"ab\ncd", 4, 0, 0, 3},                                // 0: to the start of the line
    {"ab\ncd", 4, -3, 0, 3},   {"ab\n", 0, 1, 1, 3},       // onto the empty last line at the end
    {"\n\n", 0, 2, 1, 2},      {"\r\n", 0, 1, 2, 2},
    {"a\rb\nc", 0, 1, 1, 4},  // a lone CR is a character
};

TEST(EditorScan, LineDownResults) {
  for (const Down& d : downs) {
    SCOPED_TRACE(std::string(d.text) + " from " + std::to_string(d.from) + " n " +
                 std::to_string(d.n));
    load(d.text);
    ScanSetPos(d.from);
    EXPECT_EQ(ScanLineDown(d.n), d.result);
    EXPECT_EQ(ScanGetPos(), d.pos);
  }
}

struct LineCase {
  cw_long pos, line, start, last_char, prev_line_pos;
};

// "ab\r\n" "\n" "cd\\\n" "x": lines 1..4, the end position on line 4.
const LineCase line_cases[] = {
    {0, 1, 0, 'b', 0},                      // ScanPrevLine on line 1 stays put
    {1, 1, 0, 'b', 1},  {3, 1, 0, 'b', 3},  // on the LF: still line 1
    {4, 2, 4, 0, 0},                        // empty line
    {7, 3, 5, '\\', 4}, {9, 4, 9, 'x', 5}, {10, 4, 9, 'x', 5},
};

TEST(EditorScan, LineQueriesAndMoves) {
  const std::string text = "ab\r\n\ncd\\\nx";
  for (const LineCase& c : line_cases) {
    SCOPED_TRACE(c.pos);
    load(text);
    ScanSetPos(c.pos);
    EXPECT_EQ(ScanLine(), c.line);
    EXPECT_EQ(ScanLineLastChar(), c.last_char);
    EXPECT_EQ(ScanGetPos(), c.pos);
    ScanPrevLine();
    EXPECT_EQ(ScanGetPos(), c.prev_line_pos);
    ScanSetPos(c.pos);
    ScanLineStart(CW_LINE_START_HOW);
    EXPECT_EQ(ScanGetPos(), c.start);
  }
}

TEST(EditorScan, LastCharOfALineEndingInCrAtTheEnd) {
  load("ab\r");  // no LF follows: the CR is text
  EXPECT_EQ(ScanLineLastChar(), '\r');
}

TEST(EditorScan, StateFlagAndLineLimit) {
  cw_reset();
  EXPECT_EQ(ScanStateFlag(), 0);
  cw_set_state_flag(3);
  EXPECT_EQ(ScanStateFlag(), 3);
  EXPECT_EQ(ScanLineLimit(CW_QUERY), 40);
  EXPECT_EQ(ScanLineLimit(5), 5);
  EXPECT_EQ(ScanLineLimit(CW_QUERY), 5);
  cw_set_scan_line_limit(0);
  EXPECT_EQ(ScanLineLimit(CW_QUERY), 0);
  cw_reset();
  EXPECT_EQ(ScanLineLimit(CW_QUERY), 40);
  EXPECT_EQ(ScanStateFlag(), 0);
}

// The line index checked against a plain count of LFs.
void expect_index_matches(const std::string& text) {
  std::vector<cw_long> starts = {0};
  for (size_t i = 0; i < text.size(); i++)
    if (text[i] == '\n') starts.push_back(static_cast<cw_long>(i + 1));
  ASSERT_EQ(cw_line_count(), static_cast<cw_long>(starts.size()));
  for (size_t l = 0; l < starts.size(); l++)
    EXPECT_EQ(cw_line_start(static_cast<cw_long>(l + 1)), starts[l]);
  size_t line = 0;
  for (size_t p = 0; p <= text.size(); p++) {
    while (line + 1 < starts.size() && starts[line + 1] <= static_cast<cw_long>(p)) line++;
    ASSERT_EQ(cw_line_of(static_cast<cw_long>(p)), static_cast<cw_long>(line + 1)) << p;
  }
}

std::string random_text(unsigned* seed, size_t n) {
  static const char alphabet[] = "ab \t\r\n\n";
  std::string s;
  for (size_t i = 0; i < n; i++) s += alphabet[rand_r(seed) % 7];
  return s;
}

TEST(EditorScan, LineIndexAgreesWithACount) {
  unsigned seed = 7;
  for (int round = 0; round < 50; round++) {
    std::string text = random_text(&seed, static_cast<size_t>(round) * 7);
    load(text);
    expect_index_matches(text);
    EXPECT_EQ(cw_line_start(0), -1);
    EXPECT_EQ(cw_line_start(cw_line_count() + 1), -1);
  }
}

// Inserting keeps text, line index and colours in step: every edit is
// checked against the same text loaded afresh.
TEST(EditorScan, EditsKeepIndexAndColoursInStep) {
  unsigned seed = 11;
  std::string text = random_text(&seed, 60);
  load(text);
  ScanSetPos(0);
  ColorRun(5, 1000);
  std::vector<cw_long> colours(text.size(), 5);
  for (int round = 0; round < 40; round++) {
    cw_long at = static_cast<cw_long>(rand_r(&seed) % (text.size() + 1));
    cw_set_cursor(at);
    if (round % 3 == 0) {
      InsertNewLine();
    } else {
      InsertChar(round % 2 ? '\n' : 'z');
    }
    std::string now = support::buffer_text();
    size_t added = now.size() - text.size();
    ASSERT_EQ(now.substr(0, static_cast<size_t>(at)), text.substr(0, static_cast<size_t>(at)));
    ASSERT_EQ(now.substr(static_cast<size_t>(at) + added), text.substr(static_cast<size_t>(at)));
    colours.insert(colours.begin() + at, added, 0);
    text = now;
    for (size_t i = 0; i < text.size(); i++)
      ASSERT_EQ(cw_colour_at(static_cast<cw_long>(i)), colours[i]) << i;
    expect_index_matches(text);
  }
}

}  // namespace
