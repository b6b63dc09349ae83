// The routine list: which headers are marked, over which lines, and the
// cursor, marks, display and message on both outcomes.
#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

#include "cwedit.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "support/edit.h"

namespace {

using namespace edit_test;

std::vector<std::string> logged(const char* prefix) {
  std::vector<std::string> lines;
  size_t n = strlen(prefix);
  for (size_t i = 0; i < cw_log_count(); i++)
    if (strncmp(cw_log_at(i), prefix, n) == 0) lines.push_back(cw_log_at(i));
  return lines;
}

// Nine blank lines, so that the text that follows starts on line 10.
const std::string above = std::string(9, '\n');

struct Listing {
  std::string text;
  std::vector<std::string> marks;  // MarkLines calls after the clearing one
};

const Listing listings[] = {
    {above + "function Foo(a)\nbegin\nend;\n", {"MarkLines(10, 11, 1)"}},
    {above + "function Foo(a)\n    STRING s;\nbegin\nend;\n", {"MarkLines(10, 11, 1)"}},
    {above + "int foo() {\n}\n", {"MarkLines(10, 10, 1)"}},
    {above + "int foo()\n{\n}\n", {"MarkLines(10, 10, 1)"}},
    {above + "function Foo(a,\n  b,\n  c) {\n}\n", {"MarkLines(10, 11, 1)"}},
    {above + "function Foo(a,\n  b,\n  c)\nbegin\nend;\n", {"MarkLines(10, 13, 1)"}},
    {above + "function Foo(a)\n\n\n  begin\n", {"MarkLines(10, 13, 1)"}},
    {above + "if (x) then\n", {"MarkLines(10, 10, 1)"}},
    // A header with nothing after it is one line, also without a line end.
    {above + "function Foo()", {"MarkLines(10, 10, 1)"}},
    {above + "function Foo()\n\n", {"MarkLines(10, 10, 1)"}},
    // Declarations are passed over, definitions around them are not.
    {"prototype Foo(NUMBER);\nfunction Foo(n)\nbegin\nend;\n", {"MarkLines(2, 3, 1)"}},
    {"function A()\nbegin\nend;\nFoo(1);\nfunction B(x)\nbegin\nend;\n",
     {"MarkLines(1, 2, 1)", "MarkLines(5, 6, 1)"}},
    // The follower may be the next header: that header is then passed over.
    {"a()\nb()\nc()", {"MarkLines(1, 2, 1)", "MarkLines(3, 3, 1)"}},
    {"_f(\n)\n;\n9g() x\n", {"MarkLines(4, 4, 1)"}},
};

TEST(EditRoutines, MarksEachDefinitionHeader) {
  for (const Listing& l : listings) {
    SCOPED_TRACE(l.text);
    start(l.text, 3);
    cw_log_enable(1);
    _wyn_routines();
    std::vector<std::string> want = {"MarkLines(0, 0, 0)"};
    want.insert(want.end(), l.marks.begin(), l.marks.end());
    EXPECT_EQ(logged("MarkLines("), want);
    EXPECT_EQ(logged("MarkCommit(").size(), l.marks.size());
    EXPECT_EQ(cw_mark_count(), l.marks.size());
    EXPECT_EQ(cw_cursor(), 0);
    ASSERT_NE(cw_last_message(), nullptr);
    EXPECT_STREQ(cw_last_message(), "");
    expect_settled();
  }
}

TEST(EditRoutines, NoDefinitionKeepsMarksAndCursor) {
  const char* texts[] = {
      "prototype Foo(NUMBER);\nprototype Bar(STRING, NUMBER);\n",
      "  function Foo()\n  begin\n  end;\n",  // indented headers are not seen
      "Foo(1);\n  Bar(2);\n",
      "x = 1;\ny = 2;\n",
      "f(\n",  // no ')' anywhere
      "",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    start(text, 2);
    MarkLines(1, 1, CW_MARK_SET);  // a mark from an earlier listing
    cw_log_enable(1);
    _wyn_routines();
    EXPECT_TRUE(logged("MarkLines(").empty());
    EXPECT_TRUE(logged("MarkCommit(").empty());
    EXPECT_TRUE(logged("RoutineViewShow(").empty());
    EXPECT_TRUE(logged("DropPosition(").empty());
    EXPECT_EQ(cw_mark_count(), 1u);
    EXPECT_EQ(cw_cursor(), strlen(text) < 2 ? 0 : 2);
    ASSERT_NE(cw_last_message(), nullptr);
    EXPECT_STREQ(cw_last_message(), "No routines found.");
    expect_settled();
  }
}

// The display is held for the whole walk and released before the message.
TEST(EditRoutines, CallsTheHostInOrder) {
  const char* ends[][2] = {
      {"function F()\nbegin\n", "ShowMessage(\"\")"},
      {"F();\n", "ShowMessage(\"No routines found.\")"},
  };
  for (auto& e : ends) {
    start(e[0], 0);
    cw_log_enable(1);
    _wyn_routines();
    size_t n = cw_log_count();
    ASSERT_GE(n, 6u);
    EXPECT_STREQ(cw_log_at(0), "DisplayHold()");
    EXPECT_STREQ(cw_log_at(1), "PushPosition()");
    EXPECT_STREQ(cw_log_at(2), "RoutineViewReset()");
    EXPECT_STREQ(cw_log_at(3), "CursorToTop()");
    EXPECT_STREQ(cw_log_at(n - 2), "DisplayRelease()");
    EXPECT_EQ(std::string(cw_log_at(n - 1)), e[1]);
    expect_settled();
  }
}

TEST(EditRoutines, DefinitionPathEndsAtTheTop) {
  start("x;\nfunction F()\nbegin\n", 5);
  cw_log_enable(1);
  _wyn_routines();
  std::vector<std::string> tail;
  for (size_t i = cw_log_count() - 5; i < cw_log_count(); i++) tail.push_back(cw_log_at(i));
  std::vector<std::string> want = {"RoutineViewShow()", "DropPosition(1)", "CursorToTop()",
                                   "DisplayRelease()", "ShowMessage(\"\")"};
  EXPECT_EQ(tail, want);
  EXPECT_EQ(cw_cursor(), 0);
  expect_settled();
}

TEST(EditRoutines, VeryLongHeaderLine) {
  std::string text = "function F(" + std::string(200000, 'a') + ")\nbegin\n";
  start(text, 0);
  _wyn_routines();
  ASSERT_EQ(cw_mark_count(), 1u);
  EXPECT_EQ(cw_mark_at(0).first, 1);
  EXPECT_EQ(cw_mark_at(0).last, 2);
  expect_settled();
}

}  // namespace
