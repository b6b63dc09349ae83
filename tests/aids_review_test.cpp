// The editing aids and the keyword entry point, call by call with every
// argument: patterns and keys byte for byte, flags, limits, and which exit
// restores the saved cursor and which drops it. Scan-position reads belong
// to the comment probe and are left out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cwedit.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "support/edit.h"

namespace {

using namespace edit_test;

// As the log writes them: tab, line feed and backslash escaped.
const std::string kLinePattern = R"x(RegexSearch("^[ \t]*[a-zA-Z_]+\\c([ \t(]|$)", 16, 0))x";
const std::string kWordStart = R"x(RegexSearch("(^[ \t]*)\\c[a-zA-Z_]", 16, 0))x";
const std::string kHeader = R"x(RegexSearch("^[a-zA-Z0-9_].*\\((.|\n)*\\)", 18, 0))x";
const std::string kFollower =
    R"x(RegexSearch("^[a-zA-Z0-9_].*\\((.|\n)*\\)[ \t\n]*\\c[^ \t\n]", 18, 0))x";
const std::string kBlockWords =
    R"x("\xffif\xffwhile\xffelse\xfffor\xffcase\xffelseif\xffswitch\xffbegin\xffprogram\xff")x";

struct Trace {
  const char* what;
  const char* text;
  cw_long cursor;
  cw_long (*call)(void);
  std::vector<std::string> want;
};

cw_long routines() {
  _wyn_routines();
  return 0;
}

const Trace traces[] = {
    {"expands",
     "if\tx",
     0,
     _wyn_expand,
     {"PushPosition()", "GetTextAtCursor(65535)", R"(StrTrim("if", " \t"))", "StrFree(P)",
      R"(HashFind(T4, "if", 2))", "StrFree(P)", "DropPosition(1)", "ExpandPrepare()",
      R"(ExpandTemplate("if ( & ) then\n\t\n@endif;"))"}},
    {"names no template",
     "iffy x",
     0,
     _wyn_expand,
     {"PushPosition()", "GetTextAtCursor(65535)", R"(StrTrim("iffy", " \t"))", "StrFree(P)",
      R"(HashFind(T4, "iffy", 4))", "StrFree(P)", "PopPosition()"}},
    {"indents",
     "  while (x)",
     11,
     _wyn_indent,
     {"PushPosition()", "CursorLine()", kLinePattern, "CursorLine()", "CursorColumn()", kWordStart,
      "CursorColumn()", "GetTextAtCursor(5)", R"(StrTrim("while", " \t"))", "StrFree(P)",
      R"(StrDup("\xff"))", R"(StrAppend("while", "\xff"))", R"(StrAppend("\xff", "while\xff"))",
      "StrFree(P)", R"(StrSearch("\xffwhile\xff", )" + kBlockWords + ", 3, 0)", "StrFree(P)",
      "PopPosition()", "InsertNewLine()", "InsertChar(9)"}},
    {"first word not a block word",
     "end (x)",
     7,
     _wyn_indent,
     {"PushPosition()", "CursorLine()", kLinePattern, "CursorLine()", "CursorColumn()", kWordStart,
      "CursorColumn()", "GetTextAtCursor(3)", R"(StrTrim("end", " \t"))", "StrFree(P)",
      R"(StrDup("\xff"))", R"(StrAppend("end", "\xff"))", R"(StrAppend("\xff", "end\xff"))",
      "StrFree(P)", R"(StrSearch("\xffend\xff", )" + kBlockWords + ", 3, 0)", "StrFree(P)",
      "PopPosition()"}},
    {"match on an earlier line",
     "if (x)\n= 1",
     10,
     _wyn_indent,
     {"PushPosition()", "CursorLine()", kLinePattern, "CursorLine()", "PopPosition()"}},
    // A definition with '{' on its own line, a declaration, a definition
    // whose follower is two lines down.
    {"routines found",
     "f()\n{\n}\nF();\ng(a)\n\nbegin\n",
     3,
     routines,
     {"DisplayHold()",
      "PushPosition()",
      "RoutineViewReset()",
      "CursorToTop()",
      kHeader,
      "CursorLine()",
      kFollower,
      "CharAtCursor()",
      "MarkLines(0, 0, 0)",
      "CursorLine()",
      "MarkLines(1, 1, 1)",
      "MarkCommit()",
      "CursorDown(1)",
      kHeader,
      "CursorLine()",
      kFollower,
      "CharAtCursor()",
      "CursorDown(1)",
      kHeader,
      "CursorLine()",
      kFollower,
      "CharAtCursor()",
      "CursorLine()",
      "MarkLines(5, 7, 1)",
      "MarkCommit()",
      "CursorDown(1)",
      kHeader,
      "RoutineViewShow()",
      "DropPosition(1)",
      "CursorToTop()",
      "DisplayRelease()",
      R"(ShowMessage(""))"}},
    {"no routines",
     "F();\nx;\n",
     6,
     routines,
     {"DisplayHold()", "PushPosition()", "RoutineViewReset()", "CursorToTop()", kHeader,
      "CursorLine()", kFollower, "CharAtCursor()", "CursorDown(1)", kHeader, "PopPosition()",
      "DisplayRelease()", R"(ShowMessage("No routines found."))"}},
};

TEST(AidsReview, EachAidCallsTheHostExactly) {
  for (const Trace& t : traces) {
    SCOPED_TRACE(t.what);
    start(t.text, t.cursor);
    cw_log_enable(1);
    t.call();
    EXPECT_EQ(host_calls(), t.want);
    expect_settled();
  }
}

// A new word is inserted with its own copy as value; the same word added
// again keeps the copy it has and makes no second one.
TEST(AidsReview, AddedKeywordCallsTheHostExactly) {
  start("", 0);
  char word[] = "Fresh";
  cw_log_enable(1);
  _wyn_add_keyword(word, 2);
  std::vector<std::string> want = {R"(HashFind(T3, "Fresh", 5))", R"(HashInsert(T3, "Fresh", 5))",
                                   R"(StrDup("Fresh"))"};
  EXPECT_EQ(host_calls(), want);
  cw_log_clear();
  _wyn_add_keyword(word, 2);
  want = {R"(HashFind(T3, "Fresh", 5))"};
  EXPECT_EQ(host_calls(), want);
  EXPECT_EQ(cw_live_since_baseline(), 1u);
}

}  // namespace
