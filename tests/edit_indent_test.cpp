// Smart indent: which lines open a block, what the new line holds, and
// that every path restores the cursor and releases what it obtained.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cwedit.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "support/edit.h"

namespace {

using namespace edit_test;

// The end of `text`, where the cursor stands after its last line.
cw_long at_end(const std::string& text) {
  return static_cast<cw_long>(text.size());
}

// The cursor at the end of `line`, which is the buffer's last line.
void start_at_end(const std::string& line) {
  start(line, at_end(line));
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
    std::string after = std::string(line) + "\n\t";
    expect_aid(_wyn_indent, line, at_end(line), 1, after, at_end(after));
  }
}

TEST(EditIndent, NewLineKeepsTheLineIndentation) {
  expect_aid(_wyn_indent, "x;\n    if (a == b) then\ny;", 23, 1,
             "x;\n    if (a == b) then\n    \t\ny;", 29);
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
    expect_aid(_wyn_indent, line, at_end(line), 0, line, at_end(line));
  }
}

TEST(EditIndent, OnlyTheCursorLineCounts) {
  // The line above opens a block, the cursor's line does not.
  expect_aid(_wyn_indent, "if (x) then\n  = 3", 17, 0, "if (x) then\n  = 3", 17);
}

TEST(EditIndent, NothingInsideABlockComment) {
  start("/* note\nwhile (x)", 17);
  EXPECT_EQ(_wyn_indent(), 0);
  EXPECT_EQ(buffer_text(), "/* note\nwhile (x)");
  expect_settled();
}

TEST(EditIndent, CallsTheHostInOrder) {
  start("begin", 5);
  cw_log_enable(1);
  EXPECT_EQ(_wyn_indent(), 1);
  std::vector<std::string> want = {
      "PushPosition", "CursorLine",   "RegexSearch",     "CursorLine", "CursorColumn",
      "RegexSearch",  "CursorColumn", "GetTextAtCursor", "StrTrim",    "StrFree",
      "StrDup",       "StrAppend",    "StrAppend",       "StrFree",    "StrSearch",
      "StrFree",      "PopPosition",  "InsertNewLine",   "InsertChar"};
  EXPECT_EQ(call_names(), want);
  EXPECT_EQ(std::string(cw_log_at(cw_log_count() - 1)), "InsertChar(9)");
}

TEST(EditIndent, VeryLongLinesAndWords) {
  std::string line = "if (" + std::string(100000, 'x') + ")";
  start_at_end(line);
  EXPECT_EQ(_wyn_indent(), 1);
  EXPECT_EQ(buffer_text(), line + "\n\t");
  expect_settled();

  line = std::string(70000, 'w');
  start_at_end(line);
  EXPECT_EQ(_wyn_indent(), 0);
  EXPECT_EQ(buffer_text(), line);
  expect_settled();
}

TEST(EditIndent, SurvivesEachFailedAllocation) {
  expect_survives_each_failed_allocation("while (x)", 9, _wyn_indent);
}

}  // namespace
