// The comment probes: answers and where each leaves the scan position, on
// texts where '@' marks the start (the '@' itself is removed).
#include <gtest/gtest.h>

#include <string>

#include "support/colour.h"

using namespace colour_test;

namespace {

enum Probe { START, BEFORE, AFTER };

struct Case {
  Probe probe;
  const char* text;
  cw_long limit;   // ScanLineLimit(-1)
  cw_long result;  // find_comment_start: a position or OUT; marks: 0, 1, 2
  cw_long pos;     // scan position afterwards, or ANY
};

const cw_long OUT = WYN_NOT_IN_COMMENT;  // the start probe: in no comment
const cw_long ANY = -2;                  // where the scan position is left does not matter

cw_long run_probe(Probe probe, cw_long at) {
  if (probe == START) return find_comment_start(at);
  ScanSetPos(at);
  return probe == BEFORE ? find_comment_mark_before() : find_comment_mark_after();
}

const Case cases[] = {
    // the first character of the buffer: no step back is possible
    {START, "@/*x", 40, OUT, ANY},
    {START, "@*/", 40, OUT, ANY},
    {START, "@\"a/*\"", 40, OUT, ANY},
    {BEFORE, "@*", 40, 0, ANY},
    {BEFORE, "@/", 40, 0, ANY},
    // on the asterisk of an opener
    {START, "a/@*b", 40, 1, 1},
    {START, "/@*b", 40, 0, 0},
    // on or after a closer
    {START, "/* a *@/ b", 40, OUT, ANY},
    {START, "/* a */ b@c", 40, OUT, ANY},
    // line-comment marks
    {START, "x // a@b", 40, 2, 2},
    {START, "/* x\n// a\nb@c", 40, OUT, ANY},
    {START, "x //*a@b", 40, 3, 3},
    {START, "/* q\n//*z\n@b", 40, 0, 0},
    {BEFORE, "/* x // a@b", 40, 0, ANY},
    {BEFORE, "/* x //*a@b", 40, 0, 6},
    {BEFORE, "/* q\n//*z\n@b", 40, 1, 0},
    {BEFORE, "/* q\n// z\n@b", 40, 1, 0},
    {BEFORE, "*/ q\n//*z\n@b", 40, 2, 0},
    // an opener or closer plainly before
    {START, "/* a\nb\n@c", 40, 0, 0},
    {BEFORE, "x /* a\nb\n@c", 40, 1, 2},
    {BEFORE, "x */ a\nb\n@c", 40, 2, 2},
    {BEFORE, "x\nb\n@c", 40, 0, ANY},
    // slash, asterisk, slash and asterisk, asterisk, slash met from the end
    {BEFORE, "x/*@/", 40, 1, 1},
    {BEFORE, "x**@/", 40, 2, 2},
    // a closer beginning at the start is not seen
    {BEFORE, "/* a @*/ b", 40, 1, 0},
    // forward: line comments mean nothing; on the delimiter's second char
    {AFTER, "@//*", 40, 1, 2},
    {AFTER, "@// */", 40, 2, 4},
    {AFTER, "@a\nb /*", 40, 1, 5},
    {AFTER, "@a\nb */", 40, 2, 5},
    {AFTER, "@a\nb", 40, 0, ANY},
    {AFTER, "x @*/", 40, 2, 3},
    // strings: only the double quote, and a backslash is no escape
    {START, "\"/*\"\n@x", 40, OUT, ANY},
    {START, "'/*'\n@x", 40, 1, 1},
    {BEFORE, "\"/*\"\n@x", 40, 0, ANY},
    {BEFORE, "'/*'\n@x", 40, 1, 1},
    {AFTER, "@\"/*\" x", 40, 0, ANY},
    {AFTER, "@'/*' x", 40, 1, 2},
    {AFTER, "@\"\\\"/* x", 40, 1, 4},
    {START, "/*x\"\\\"@y", 40, 0, 0},
    {BEFORE, "/*x\"\\\"@y", 40, 1, 0},
    // an unterminated string on a line below one that ends in a closer:
    // the closer's slash is skipped unseen and the older opener is reported
    {START, "/* a\nb */\nc \"d@e", 40, 0, 0},
    {BEFORE, "/* a\nb */\nc \"d@e", 40, 1, 0},
    // a string continued by a backslash, LF and CR LF, in both directions
    {START, "x\n\"a /* \\\nb\" @y", 40, OUT, ANY},
    {START, "x\r\n\"a /* \\\r\nb\" @y", 40, OUT, ANY},
    {BEFORE, "x\n\"a /* \\\nb\" @y", 40, 0, ANY},
    {BEFORE, "x\r\n\"a /* \\\r\nb\" @y", 40, 0, ANY},
    {AFTER, "@\"a /* \\\nb\" */", 40, 2, 12},
    {AFTER, "@\"a /* \\\r\nb\" */", 40, 2, 13},
    {AFTER, "@\"a\n*/", 40, 2, 4},  // the string ends at its line end
    {AFTER, "@\"a\r\n*/", 40, 2, 5},
    // budget 0 and below: exactly one step
    {START, "/@*", 0, 0, 0},
    {START, "/*a@b", 0, OUT, ANY},
    {START, "/*a@b", -4, OUT, ANY},
    {BEFORE, "/@*", 0, 1, 0},
    {BEFORE, "*/@x", 0, 0, ANY},
    {BEFORE, "x*@/", 0, 2, 1},
    {AFTER, "@*/", 0, 2, 1},
    {AFTER, "@a*/", 0, 0, ANY},
    {AFTER, "@a*/", -1, 0, ANY},
};

TEST(ColourProbes, Table) {
  for (const Case& c : cases) {
    marked m = unmark(c.text);
    fresh(m.text);
    cw_set_scan_line_limit(c.limit);
    cw_long got = run_probe(c.probe, m.at);
    EXPECT_EQ(got, c.result) << "probe " << c.probe << " on " << c.text;
    if (c.pos != ANY) {
      EXPECT_EQ(cw_scan_pos(), c.pos) << "probe " << c.probe << " on " << c.text;
    }
    EXPECT_TRUE(ledger_clear());
  }
}

// Budget 3 from line 10: the backward probes reach an opener on line 8 but
// not on line 7; the forward probe reaches a closer on line 12, not 13.
TEST(ColourProbes, LineBudget) {
  for (int opener_line = 7; opener_line <= 8; opener_line++) {
    std::string text;
    for (int line = 1; line <= 14; line++) {
      text += line == opener_line ? "/* open" : "x";
      text += "\n";
    }
    fresh(text);
    cw_set_scan_line_limit(3);
    cw_long start = cw_line_start(10);
    bool found = opener_line == 8;
    EXPECT_EQ(find_comment_start(start), found ? cw_line_start(opener_line) : -1) << opener_line;
    ScanSetPos(start);
    EXPECT_EQ(find_comment_mark_before(), found ? 1 : 0) << opener_line;
  }
  for (int closer_line = 12; closer_line <= 13; closer_line++) {
    std::string text;
    for (int line = 1; line <= 14; line++) {
      text += line == closer_line ? "x */" : "x";
      text += "\n";
    }
    fresh(text);
    cw_set_scan_line_limit(3);
    ScanSetPos(cw_line_start(10));
    EXPECT_EQ(find_comment_mark_after(), closer_line == 12 ? 2 : 0) << closer_line;
  }
}

// Passing -1 asks about the cursor.
TEST(ColourProbes, StartAtCursor) {
  marked m = unmark("x /* a\nb @c");
  fresh(m.text);
  cw_set_cursor(m.at);
  EXPECT_EQ(find_comment_start(CW_AT_CURSOR), 2);
  EXPECT_EQ(cw_cursor(), m.at);
}

// The probes read only through these operations, and the start probe asks
// for the budget first, the mark probes after their first read.
TEST(ColourProbes, CallOrder) {
  fresh("/* a */");
  cw_log_enable(1);
  find_comment_start(2);
  EXPECT_EQ(std::string(cw_log_at(0)), "ScanLineLimit(-1)");
  EXPECT_EQ(std::string(cw_log_at(1)), "ScanSetPos(2)");
  EXPECT_EQ(std::string(cw_log_at(2)), "ScanChar()");
  cw_log_clear();
  find_comment_mark_before();
  EXPECT_EQ(std::string(cw_log_at(0)), "ScanChar()");
  EXPECT_EQ(std::string(cw_log_at(1)), "ScanLineLimit(-1)");
  cw_log_clear();
  ScanSetPos(0);
  find_comment_mark_after();
  for (size_t i = 0; i < cw_log_count(); i++) {
    std::string name = cw_log_at(i);
    name = name.substr(0, name.find('('));
    EXPECT_TRUE(name == "ScanSetPos" || name == "ScanChar" || name == "ScanLineLimit" ||
                name == "ScanNext" || name == "ScanPrev" || name == "ScanGetPos")
        << name;
  }
}

}  // namespace
