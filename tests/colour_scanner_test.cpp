// The colouring scanner: exact runs (tag@position+length) and line ends
// counted, for whole-buffer and counted runs, with colours switched off,
// failed allocation, CR LF ends and words past the held length.
#include <gtest/gtest.h>

#include <string>

#include "support/colour.h"

using namespace colour_test;

namespace {

struct Case {
  const char* text;
  const char* runs;  // c comment, k0..k2 word classes, s string, n number, o operator
  cw_long lines;
};

void expect_whole(const Case& c) {
  fresh(c.text);
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(runs(), c.runs) << "text: " << c.text;
  EXPECT_EQ(lines_coloured, c.lines) << "text: " << c.text;
  EXPECT_TRUE(ledger_clear());
}

const Case whole_buffer[] = {
    {"", "", 0},
    {"\n\n", "", 2},
    // strings: escapes of the own quote and the backslash only
    {"\"ab\\\"c\" d", "s@0+7", 0},
    {"\"a\\\\\" b", "s@0+5", 0},
    {"\"a\\\\\\\\\" b", "s@0+7", 0},
    {"\"a\\\\\\\"b\" c", "s@0+8", 0},
    {"\"ab\\\ncd\"", "s@0+4 s@7+1", 1},  // backslash before a line end
    {"\"ab\nif", "s@0+3 k1@4+2", 1},     // open at the line end
    {"'a\"b' \"c'd\"", "s@0+5 s@6+5", 0},
    {"'ab", "s@0+3", 0},
    {"if\"a\"", "k1@0+2 s@2+3", 0},
    {"\"\"if", "s@0+2", 0},  // a quote is no delimiter
    // numbers
    {"0x1F", "n@0+4", 0},
    {"0X1F", "n@0+1", 0},
    {"12ab 1e5 1.2.3", "n@0+4 n@5+3 n@9+5", 0},
    {"12g", "n@0+2", 0},
    {"10L 10l", "n@0+3 n@4+3", 0},
    {"5_ _5", "", 0},
    {"\xe9"
     "5",
     "", 0},
    {"(5 -5 ;5 $5", "n@1+1 o@3+1 n@4+1 n@7+1 n@10+1", 0},
    {"5", "n@0+1", 0},
    {"12\nif", "n@0+2 k1@3+2", 1},
    {"12// c\n", "n@0+2 c@2+4", 1},
    {"5x3", "n@0+3", 0},  // 'x' second, whatever the first digit
    {"0xx", "n@0+2", 0},
    // words
    {"TRUE", "k0@0+4", 0},
    {"#define X", "k1@0+7", 0},
    {"define", "", 0},
    {"Welcome WELCOME welcome", "k2@0+7 k0@8+7", 0},
    {"default DEFAULT", "k1@0+7 k0@8+7", 0},
    {"exit Exit EXIT eXit", "k1@0+4 k1@5+4 k0@10+4", 0},
    {"BK_MAGENT BK_MAGENTA1", "k0@10+11", 0},
    {"if\n", "k1@0+2", 1},
    {";if .if -if *if :if [if {if", "o@4+1 o@8+1 o@12+1 o@16+1", 0},
    {"x+if", "o@1+1 k1@2+2", 0},
    {"x\xe9if", "", 0},
    // comments
    {"// a\nb", "c@0+4", 1},
    {"// a\r\nb", "c@0+4", 1},
    {"x // c", "c@2+4", 1},  // last line, no line end
    {"//", "c@0+2", 1},
    {"/* a\n*\n*/x", "c@0+9", 2},
    {"/*/ x", "c@0+3", 0},
    {"/**/", "c@0+4", 0},
    {"a */ b", "o@2+1", 0},
    {"/*x*//y\nz", "c@0+5 c@4+3", 1},
    {"/*x*//*y*/", "c@0+5 c@4+6", 1},  // closing '/' starts a line comment
    {"/*x*/*y*/", "c@0+5 c@4+5", 0},   // ... or a block comment
    {"/*x*/+", "c@0+5 o@5+1", 0},
    {"/* open\nmore", "c@0+12", 1},
    {"/*", "c@0+2", 0},
    {"/x", "o@0+1", 0},
    {"a/", "o@1+1", 0},
    {"+=", "o@0+1 o@1+1", 0},
    {"a.b:c%d~e^f", "o@1+1 o@3+1 o@5+1 o@7+1 o@9+1", 0},
    {"\"/* x\" // y", "s@0+6 c@7+4", 1},
    {"\"// x\" if", "s@0+6 k1@7+2", 0},
};

TEST(ColourScanner, WholeBufferRuns) {
  for (const Case& c : whole_buffer) expect_whole(c);
}

// One-letter constants in the tables would spoil a case above: check 'e'.
TEST(ColourScanner, TestWordsHoldNoSurprise) {
  fresh("");
  EXPECT_EQ(HashFind(wyn_keyword_tables[0], "e", 1), nullptr);
}

TEST(ColourScanner, StringsColourZeroScansButDoesNotColour) {
  const Case cases[] = {
      {"\"/* x\" y // z", "c@9+4", 1},
      {"'// x' if", "k1@7+2", 0},
      {"\"ab\nif", "k1@4+2", 1},
  };
  for (const Case& c : cases) {
    fresh(c.text);
    cw_set_category_colour(CW_STRINGS, 0);
    _wyn_language_colors(CW_ALL_LINES);
    EXPECT_EQ(runs(), c.runs) << c.text;
    EXPECT_EQ(lines_coloured, c.lines) << c.text;
  }
}

TEST(ColourScanner, NumbersColourZeroMakesDigitsWords) {
  fresh("12 TRUE 0x1F");
  cw_set_category_colour(CW_NUMBERS, 0);
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(runs(), "k0@3+4");
  cw_slot slot = HashInsert(wyn_keyword_tables[2], "12", 2);
  ASSERT_NE(slot, nullptr);
  cw_clear_runs();
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(runs(), "k2@0+2 k0@3+4");
}

// A category whose colour is 0 is still coloured, with 0.
TEST(ColourScanner, OtherColoursZeroStillColour) {
  fresh("// a\nTRUE if Delay + /**/");
  for (int c : {CW_COMMENTS, CW_CONSTANTS, CW_KEYWORDS, CW_FUNCTIONS, CW_OPERATORS})
    cw_set_category_colour(c, 0);
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(runs(), "z@0+4 z@5+4 z@10+2 z@13+5 z@19+1 z@21+4");
}

TEST(ColourScanner, WordDelimiters) {
  for (char d : std::string(" \t\r\n(),=+!&|~^<>")) {
    std::string text = std::string("x") + d + "if";
    fresh(text);
    _wyn_language_colors(CW_ALL_LINES);
    EXPECT_NE(runs().find("k1@2+2"), std::string::npos) << "delimiter " << (int)d;
  }
  for (char d : std::string(";.-*/:[{$?@_#")) {
    std::string text = std::string("x") + d + "if";
    fresh(text);
    _wyn_language_colors(CW_ALL_LINES);
    EXPECT_EQ(runs().find("k1"), std::string::npos) << "not a delimiter " << d;
  }
}

// The run covers the whole word; the lookup sees its first 100 bytes.
TEST(ColourScanner, WordsLongerThanHeld) {
  std::string key(100, 'Q');
  fresh("");
  ASSERT_NE(HashInsert(wyn_keyword_tables[1], key.data(), 100), nullptr);
  const std::string texts[] = {key, key + "RRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRR",
                               key + "_x y"};
  const char* expected[] = {"k1@0+100", "k1@0+150", "k1@0+102"};
  for (int i = 0; i < 3; i++) {
    cw_set_text(texts[i].data(), texts[i].size());
    cw_clear_runs();
    _wyn_language_colors(CW_ALL_LINES);
    EXPECT_EQ(runs(), expected[i]) << i;
  }
  std::string shorter(99, 'Q');
  cw_set_text(shorter.data(), shorter.size());
  cw_clear_runs();
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(runs(), "");
  EXPECT_TRUE(ledger_clear());
}

// Every byte value on its own, between blanks: 128..255 are never coloured,
// and no byte makes the scanner misbehave.
TEST(ColourScanner, EveryByteValue) {
  for (int b = 1; b < 256; b++) {
    std::string text = std::string(" ") + (char)b + " ";
    fresh(text);
    _wyn_language_colors(CW_ALL_LINES);
    if (b >= 128) {
      EXPECT_EQ(runs(), "") << b;
    }
    EXPECT_EQ(cw_scan_pos(), 3) << b;
    EXPECT_TRUE(ledger_clear());
  }
}

struct Counted {
  const char* text;  // '@' marks the scan position at the call
  cw_long count;
  const char* runs;
  cw_long lines;
  cw_long stop;  // scan position afterwards
};

const Counted counted[] = {
    {"@if\nif\nif", 1, "k1@0+2", 1, 3},
    {"if\n@if\nif", 1, "k1@3+2", 1, 6},
    {"@if", 0, "", 0, 0},
    {"@if", -5, "", 0, 0},
    {"@if\nif", 2, "k1@0+2 k1@3+2", 1, 5},
    {"@", 3, "", 0, 0},
    // a comment opening on the counted line runs on to its closer
    {"@/* a\nb\nc\nd */ if\nif", 1, "c@0+13", 3, 12},
    // starting inside a comment opened two lines up: budget 1 + 2
    {"x\n/* a\nb\n@c */ if\nTRUE", 1, "c@2+11 k1@14+2", 3, 17},
    // inside a comment, count 0 still colours the lines backed over
    {"/* a\n@b */", 0, "c@0+9", 1, 8},
    // a line comment on the start line: back to its mark
    {"x // a@b\nif", 1, "c@2+5", 1, 8},
};

TEST(ColourScanner, CountedRuns) {
  for (const Counted& c : counted) {
    marked m = unmark(c.text);
    fresh(m.text);
    cw_long at = m.at;
    ScanSetPos(at);
    _wyn_language_colors(c.count);
    EXPECT_EQ(runs(), c.runs) << c.text;
    EXPECT_EQ(lines_coloured, c.lines) << c.text;
    EXPECT_EQ(cw_scan_pos(), c.stop) << c.text;
    EXPECT_TRUE(ledger_clear());
  }
}

// The enclosing comment is found only within the host's line budget; past
// it the scan starts where it was asked to, in the comment's text.
TEST(ColourScanner, LineBudgetOfTheBackUp) {
  const struct {
    cw_long limit;
    const char* runs;
    cw_long lines;
  } budgets[] = {{3, "c@0+11 k1@12+2", 2},
                 {2, "o@9+1 k1@12+2", 0},
                 {0, "o@9+1 k1@12+2", 0},
                 {-1, "o@9+1 k1@12+2", 0}};
  for (const auto& b : budgets) {
    marked m = unmark("/* a\nb\n@c */ if");
    fresh(m.text);
    cw_set_scan_line_limit(b.limit);
    ScanSetPos(m.at);
    _wyn_language_colors(1);
    EXPECT_EQ(runs(), b.runs) << b.limit;
    EXPECT_EQ(lines_coloured, b.lines) << b.limit;
  }
}

// The counter keeps its value until the next call resets it.
TEST(ColourScanner, CounterHoldsUntilNextCall) {
  fresh("a\nb\nc");
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(lines_coloured, 2);
  cw_set_text("", 0);
  EXPECT_EQ(lines_coloured, 2);
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(lines_coloured, 0);
}

// No word buffer: nothing is read or coloured, the counter is 0.
TEST(ColourScanner, NoWordBuffer) {
  fresh("if x = 1; // c\n/* d */");
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_NE(lines_coloured, 0);
  cw_clear_runs();
  cw_fail_alloc_at(1);
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(runs(), "");
  EXPECT_EQ(lines_coloured, 0);
  EXPECT_TRUE(ledger_clear());
}

// CR LF and LF ends give the same runs, shifted by the CRs before them.
TEST(ColourScanner, CrLfMatchesLf) {
  const char* lf = "/* a\nb */ if\n// c\n\"s\" 12\nTRUE\n";
  std::string crlf;
  for (const char* p = lf; *p; p++) {
    if (*p == '\n') crlf += '\r';
    crlf += *p;
  }
  fresh(lf);
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(runs(), "c@0+9 k1@10+2 c@13+4 s@18+3 n@22+2 k0@25+4");
  EXPECT_EQ(lines_coloured, 5);
  fresh(crlf);
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(runs(), "c@0+10 k1@11+2 c@15+4 s@21+3 n@25+2 k0@29+4");
  EXPECT_EQ(lines_coloured, 5);
}

// The exact host conversation for a short text: colours once, one word
// buffer, a look-back before every word and operator, runs placed by
// position, and the closing '/' passed back through the slash step.
TEST(ColourScanner, CallSequence) {
  fresh("a+/**/");
  cw_log_enable(1);
  _wyn_language_colors(CW_ALL_LINES);
  const char* expected[] = {
      "ColorOfComments(-1)",
      "ColorOfConstants(-1)",
      "ColorOfKeywords(-1)",
      "ColorOfFunctions(-1)",
      "ColorOfStrings(-1)",
      "ColorOfNumbers(-1)",
      "ColorOfOperators(-1)",
      "MemAlloc(100)",
      "ScanSetPos(0)",
      "ScanChar()",
      // word "a" at the start: the look-back finds no character
      "ScanPrev()",
      "ScanGetPos()",
      "ScanNext()",
      "HashFind(T1, \"a\", 1)",
      "HashFind(T2, \"a\", 1)",
      "HashFind(T3, \"a\", 1)",
      // '+' operator
      "ScanPrev()",
      "ScanNext()",
      "ColorRun(7, 1)",
      "ScanNext()",
      // block comment
      "ScanGetPos()",
      "ScanNext()",
      "ScanNext()",
      "ScanNext()",
      "ScanGetPos()",
      "ScanSetPos(2)",
      "ColorRun(1, 4)",
      "ScanSetPos(5)",
      "ScanChar()",
      // its closing '/' again: an operator not coloured after '*'
      "ScanGetPos()",
      "ScanNext()",
      "ScanPrev()",
      "ScanPrev()",
      "ScanNext()",
      "ScanNext()",
      "MemFree(P)",
  };
  ASSERT_EQ(cw_log_count(), sizeof expected / sizeof expected[0]);
  for (size_t i = 0; i < cw_log_count(); i++)
    EXPECT_EQ(cw_log_at(i), std::string(expected[i])) << i;
}

}  // namespace
