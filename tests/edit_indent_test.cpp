// Smart indent: which lines open a block, what the new line holds, and
// that every path restores the cursor and releases what it obtained.
#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

#include "cwedit.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "edit_helpers.h"

namespace {

using namespace edit_test;

// The cursor at the end of `line`, which is the buffer's last line.
void start_at_end(const std::string& line) {
  start(line, static_cast<cw_long>(line.size()));
}

TEST(EditIndent, EachBlockWordOpensAnIndentedLine) {
  const char* lines[] = {
      "if",
      "while",
      "else",
      "for",
      "case",
      "elseif",
      "switch",
      "begin",
      "program",
      "if (a == b) then",
      "elseif(x) then",
      "case 1:",
      "while\t(x)",
      "for i = 1 to 3",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    start_at_end(line);
    EXPECT_EQ(_wyn_indent(), 1);
    EXPECT_EQ(buffer(), std::string(line) + "\n\t");
    EXPECT_EQ(cw_cursor(), static_cast<cw_long>(buffer().size()));
    expect_settled();
  }
}

TEST(EditIndent, NewLineKeepsTheLineIndentation) {
  start("x;\n    if (a == b) then\ny;", 23);
  EXPECT_EQ(_wyn_indent(), 1);
  EXPECT_EQ(buffer(), "x;\n    if (a == b) then\n    \t\ny;");
  EXPECT_EQ(cw_cursor(), 29);
  expect_settled();
}

TEST(EditIndent, OtherLinesAreLeftAlone) {
  const char* lines[] = {
      "endif;",
      "end;",
      "default:",  // word not followed by blank, '(' or end
      "iffy = 1",
      "for_each (x)",        // whole words only
      "x = 1; if (y) then",  // only the first word counts
      "1if (x)",
      "#if x",
      "(if)",  // no word at the line start
      "If (x)",
      "WHILE",              // letter case counts
      "while (x) // loop",  // cursor inside a line comment
      "",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    start_at_end(line);
    EXPECT_EQ(_wyn_indent(), 0);
    EXPECT_EQ(buffer(), line);
    EXPECT_EQ(cw_cursor(), static_cast<cw_long>(strlen(line)));
    expect_settled();
  }
}

TEST(EditIndent, OnlyTheCursorLineCounts) {
  // The line above opens a block, the cursor's line does not.
  start("if (x) then\n  = 3", 17);
  EXPECT_EQ(_wyn_indent(), 0);
  EXPECT_EQ(buffer(), "if (x) then\n  = 3");
  EXPECT_EQ(cw_cursor(), 17);
  expect_settled();
}

TEST(EditIndent, NothingInsideABlockComment) {
  start("/* note\nwhile (x)", 17);
  EXPECT_EQ(_wyn_indent(), 0);
  EXPECT_EQ(buffer(), "/* note\nwhile (x)");
  expect_settled();
}

TEST(EditIndent, CallsTheHostInOrder) {
  start("begin", 5);
  cw_log_enable(1);
  EXPECT_EQ(_wyn_indent(), 1);
  std::vector<std::string> names;
  for (size_t i = 0; i < cw_log_count(); i++) {
    std::string line = cw_log_at(i);
    std::string name = line.substr(0, line.find('('));
    if (name.compare(0, 4, "Scan") != 0) names.push_back(name);
  }
  std::vector<std::string> want = {
      "PushPosition", "CursorLine",   "RegexSearch",     "CursorLine", "CursorColumn",
      "RegexSearch",  "CursorColumn", "GetTextAtCursor", "StrTrim",    "StrFree",
      "StrDup",       "StrAppend",    "StrAppend",       "StrFree",    "StrSearch",
      "StrFree",      "PopPosition",  "InsertNewLine",   "InsertChar"};
  EXPECT_EQ(names, want);
  EXPECT_EQ(std::string(cw_log_at(cw_log_count() - 1)), "InsertChar(9)");
}

TEST(EditIndent, VeryLongLinesAndWords) {
  std::string line = "if (" + std::string(100000, 'x') + ")";
  start_at_end(line);
  EXPECT_EQ(_wyn_indent(), 1);
  EXPECT_EQ(buffer(), line + "\n\t");
  expect_settled();

  line = std::string(70000, 'w');
  start_at_end(line);
  EXPECT_EQ(_wyn_indent(), 0);
  EXPECT_EQ(buffer(), line);
  expect_settled();
}

TEST(EditIndent, SurvivesEachFailedAllocation) {
  bool done = false;
  for (unsigned long k = 1; k < 20 && !done; k++) {
    SCOPED_TRACE(k);
    start_at_end("while (x)");
    cw_fail_alloc_at(k);
    cw_long result = _wyn_indent();
    cw_fail_alloc_at(0);
    expect_settled();
    done = result == 1;
    if (!done) {
      EXPECT_EQ(buffer(), "while (x)");
      EXPECT_EQ(cw_cursor(), 9);
    }
  }
  EXPECT_TRUE(done);
}

}  // namespace
