// Template expansion at the cursor: which word is taken, what the buffer
// and cursor look like afterwards, and that every path leaves the editor's
// ledger, cursor stack and display as it found them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cwedit.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "support/edit.h"

namespace {

using namespace edit_test;

// Each block skeleton, a call template, the word at the end of a buffer
// with no line end, and inherited indentation.
const support::edit_case expansions[] = {
    {"if", 0, "if (  ) then\n\t\nendif;", 5},
    {"case\n", 0, "case :\n\t\n", 5},
    {"while", 0, "while (  )\n\t\nendwhile;", 8},
    {"for\n", 0, "for  =  to \n\t\nendfor;\n", 4},
    {"repeat", 0, "repeat\n\t\nuntil (  );", 17},
    {"x = 1;\nwhile", 7, "x = 1;\nwhile (  )\n\t\nendwhile;", 15},
    {"Delay\n", 0, "Delay (nSeconds);\n", 7},
    {"a;\nAskYesNo x", 3, "a;\nAskYesNo (szQuestion, nDefault); x", 13},
    {"\tif\n", 1, "\tif (  ) then\n\t\t\n\tendif;\n", 6},
};

TEST(EditExpand, ReplacesTheWordByItsTemplate) {
  expect_aid_cases(_wyn_expand, expansions);
}

TEST(EditExpand, FunctionTemplateKeepsItsBody) {
  start("function\n", 0);
  EXPECT_EQ(_wyn_expand(), 1);
  std::string after = buffer_text();
  // The name goes where '&' stood; the closing line loses the body's tab.
  EXPECT_EQ(after.compare(0, 22, "function  (  )\nbegin\n\n"), 0) << after;
  EXPECT_EQ(after.compare(after.size() - 6, 6, "\nend;\n"), 0) << after;
  EXPECT_EQ(after.find('@'), std::string::npos);
  EXPECT_EQ(cw_cursor(), 9);
  expect_settled();
}

TEST(EditExpand, CallsTheHostInOrder) {
  start("if\n", 0);
  cw_log_enable(1);
  EXPECT_EQ(_wyn_expand(), 1);
  std::vector<std::string> want = {"PushPosition", "GetTextAtCursor", "StrTrim",
                                   "StrFree",      "HashFind",        "StrFree",
                                   "DropPosition", "ExpandPrepare",   "ExpandTemplate"};
  EXPECT_EQ(call_names(), want);
}

// Only codes 9..13 and 32 end the word; anything else, bytes 128..255
// among them, becomes part of it, so the word names no template.
TEST(EditExpand, OnlyWhitespaceEndsTheWord) {
  for (int code = 1; code < 256; code++) {
    SCOPED_TRACE(code);
    std::string text = "if";
    text += static_cast<char>(code);
    text += "x";
    start(text, 0);
    bool blank = code == 32 || (code >= 9 && code <= 13);
    EXPECT_EQ(_wyn_expand(), blank ? 1 : 0);
    if (!blank) {
      EXPECT_EQ(buffer_text(), text);
      EXPECT_EQ(cw_cursor(), 0);
    }
    expect_settled();
  }
}

// Words that name no template where they stand: nothing changes.
const support::edit_case refusals[] = {
    {"AskYesNo(", 0},           // the parenthesis belongs to the word
    {"while", 1},               // 'hile'
    {"if", 2},                  // cursor at the end of the buffer
    {"  if", 0},                // cursor on a blank: empty word
    {"", 0},                    // empty buffer
    {"switch (x)", 0},          // a block word without a template
    {"SprintfB x", 0},          // names match whole
    {"If", 0},                  // letter case counts
    {"TRUE", 0},                // a class-0 word
    {"x = 1; // if", 10},       // line comment
    {"/* a\n   while\n*/", 8},  // block comment
};

TEST(EditExpand, LeavesBufferAndCursorWhenNothingExpands) {
  expect_aid_cases(_wyn_expand, refusals);
}

TEST(EditExpand, ReadsNoTextInsideAComment) {
  start("// while\n", 3);
  cw_log_enable(1);
  EXPECT_EQ(_wyn_expand(), 0);
  std::vector<std::string> want = {"PushPosition", "PopPosition"};
  EXPECT_EQ(call_names(), want);
}

TEST(EditExpand, AddedTemplateExpandsLikeABuiltIn) {
  start("zap\n", 0);
  char name[] = "zap";
  char text[] = "zap (&nHow);";
  _wyn_assign_template(name, text);
  cw_ledger_baseline();
  EXPECT_EQ(_wyn_expand(), 1);
  EXPECT_EQ(buffer_text(), "zap (nHow);\n");
  expect_settled();
}

TEST(EditExpand, EntryWithoutTextIsNoTemplate) {
  start("if\n", 0);
  cw_slot slot = cw_table_find(wyn_template_table, "if");
  ASSERT_NE(slot, nullptr);
  *slot = nullptr;
  EXPECT_EQ(_wyn_expand(), 0);
  EXPECT_EQ(buffer_text(), "if\n");
  expect_settled();
}

TEST(EditExpand, NoTemplateTableBeforeStartUp) {
  cw_reset();
  cw_table saved = wyn_template_table;
  wyn_template_table = nullptr;
  char name[] = "if";
  char text[] = "if &";
  _wyn_assign_template(name, text);  // must not crash
  cw_set_text("if\n", 3);
  cw_set_cursor(0);
  EXPECT_EQ(_wyn_expand(), 0);
  EXPECT_EQ(buffer_text(), "if\n");
  EXPECT_EQ(cw_position_depth(), 0);
  wyn_template_table = saved;
}

TEST(EditExpand, LongWordsAreReadUpToTheLimit) {
  // One word longer than the read limit, and a template name after a
  // very long line.
  std::string text(100000, 'a');
  start(text, 0);
  EXPECT_EQ(_wyn_expand(), 0);
  EXPECT_EQ(cw_cursor(), 0);
  expect_settled();

  text += "\nfor";
  start(text, 100001);
  EXPECT_EQ(_wyn_expand(), 1);
  EXPECT_EQ(cw_cursor(), 100005);
  expect_settled();
}

// Fail each allocating host call in turn: every failure ends with the
// buffer and cursor as they were and nothing held.
TEST(EditExpand, SurvivesEachFailedAllocation) {
  expect_survives_each_failed_allocation("while (x)\n", 0, _wyn_expand);
}

}  // namespace
