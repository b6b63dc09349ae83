// The re-indenter on scripts written for each rule, and on every example
// and generated script: only leading whitespace ever changes, and a second
// run changes nothing more.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format.h"
#include "support/files.h"
#include "support/session_fixture.h"
#include "support/wyn_text.h"

namespace {

class FormatTest : public support::PluginTest {};

wyn::FormatResult run(const std::string& text, const wyn::IndentUnit& unit, long first = 1,
                      long last = -1) {
  wyn::Document doc(text);
  wyn::FormatResult result;
  std::string error;
  EXPECT_TRUE(wyn::format_document(doc, unit, first, last, &result, &error)) << error;
  return result;
}

std::string formatted(const std::string& text, const wyn::IndentUnit& unit = wyn::IndentUnit(),
                      long first = 1, long last = -1) {
  return wyn::apply_indents(text, run(text, unit, first, last).changes);
}

wyn::IndentUnit spaces(int n) {
  wyn::IndentUnit u;
  u.tabs = false;
  u.size = n;
  return u;
}

// Every byte but the blanks and tabs at a line's start is kept, in order.
std::string without_leading_whitespace(const std::string& text) {
  std::string out;
  bool at_start = true;
  for (char c : text) {
    if (at_start && (c == ' ' || c == '\t')) continue;
    at_start = c == '\n';
    out += c;
  }
  return out;
}

TEST_F(FormatTest, ReindentsByBlockNesting) {
  const struct {
    const char* what;
    const char* text;
    const char* want;
    wyn::IndentUnit unit;
  } cases[] = {
      {"every block kind, four spaces",
       "program\nrepeat\nfor i = 1 to 3\nx = 1;\nendfor;\nuntil (a);\nendprogram\n"
       "function F()\nNUMBER n;\nbegin\nswitch (a)\ncase 1:\nwhile (b)\nif (c) then\nd = 1;\n"
       "elseif (e) then\nelse\nf();\nendif;\nendwhile;\ndefault:\ng();\nendswitch;\nend;\n",
       "program\n    repeat\n        for i = 1 to 3\n            x = 1;\n        endfor;\n"
       "    until (a);\nendprogram\nfunction F()\n    NUMBER n;\nbegin\n    switch (a)\n"
       "        case 1:\n            while (b)\n                if (c) then\n"
       "                    d = 1;\n                elseif (e) then\n                else\n"
       "                    f();\n                endif;\n            endwhile;\n"
       "        default:\n            g();\n    endswitch;\nend;\n",
       spaces(4)},
      {"tabs, CR LF, a one-statement if and a label kept",
       "function F()\r\nbegin\r\n        if (x) goto done;\r\n  if (y) then\r\n"
       "      z = 1;\r\n   endif;\r\ndone:\r\nend;\r\n",
       "function F()\r\nbegin\r\n\tif (x) goto done;\r\n\tif (y) then\r\n\t\tz = 1;\r\n"
       "\tendif;\r\ndone:\r\nend;\r\n",
       wyn::IndentUnit()},
      {"an indented routine header goes to the first column",
       "    function F()\n    begin\n    x = 1;\n    end;\n",
       "function F()\nbegin\n  x = 1;\nend;\n", spaces(2)},
      {"continuation lines and a then on a later line keep their place",
       "begin\nif (a &&\n         b) then\nFoo(1,\n       2);\nx = 1 +\n  2;\nendif;\nend;\n",
       "begin\n  if (a &&\n         b) then\n    Foo(1,\n       2);\n    x = 1 +\n  2;\n  endif;\n"
       "end;\n",
       spaces(2)},
      {"comments: spanning ones and first-column ones stay, indented ones follow the code",
       "begin\n/* old code\n     if (a) then\n  */\n      // note\n// banner\nx = 1;  /* a\n b */\n"
       "end;\n",
       "begin\n/* old code\n     if (a) then\n  */\n  // note\n// banner\n  x = 1;  /* a\n b */\n"
       "end;\n",
       spaces(2)},
      {"preprocessor lines and a macro's body stay",
       "#ifdef A\n  #define X(a) \\\n      a\nbegin\n    #endif\nx = 1;\nend;\n",
       "#ifdef A\n  #define X(a) \\\n      a\nbegin\n    #endif\n\tx = 1;\nend;\n",
       wyn::IndentUnit()},
      {"tabs of four columns mixed with spaces",
       "begin\nif (a) then\nif (b) then\nc = 1;\nendif;\nendif;\nend;\n",
       "begin\n  if (a) then\n\tif (b) then\n\t  c = 1;\n\tendif;\n  endif;\nend;\n",
       wyn::IndentUnit{true, 2, 4}},
      {"block words in another letter case: unsure, left alone",
       "begin\nIF (a) THEN\nb = 1;\nENDIF;\nend;\n", "begin\nIF (a) THEN\nb = 1;\nENDIF;\nend;\n",
       wyn::IndentUnit()},
  };
  for (const auto& c : cases) {
    std::string once = formatted(c.text, c.unit);
    EXPECT_EQ(once, c.want) << c.what;
    EXPECT_EQ(formatted(once, c.unit), once) << c.what << ": twice differs from once";
  }
}

TEST_F(FormatTest, UnbalancedScriptIsLeftAloneWithTheDiagnostic) {
  wyn::FormatResult r = run("begin\nif (a) then\nb = 1;\nend;\n", spaces(4));
  EXPECT_TRUE(r.changes.empty());
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_NE(r.problems[0].message.find("endif"), std::string::npos) << r.problems[0].message;
}

TEST_F(FormatTest, RangeTouchesOnlyItsLines) {
  std::string text = "begin\nx = 1;\ny = 2;\nz = 3;\nend;\n";
  EXPECT_EQ(formatted(text, spaces(2), 3, 3), "begin\nx = 1;\n  y = 2;\nz = 3;\nend;\n");
}

TEST_F(FormatTest, OnlyLeadingWhitespaceChangesAndTwiceIsOnce) {
  std::vector<std::string> texts;
  for (const std::string& path : support::files_in(WYN_SOURCE_DIR "/examples"))
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".wyn") == 0)
      texts.push_back(support::read_file(path));
  ASSERT_GE(texts.size(), 3u);
  wyn_text::options crlf;
  crlf.crlf = true;
  for (uint64_t seed = 1; seed <= 12; seed++) {
    texts.push_back(wyn_text::generate(seed, 4000, seed % 2 ? crlf : wyn_text::options()));
    texts.push_back(wyn_text::generate_tricky(seed, 300));
  }
  // Comments in legacy code pages: bytes that are no UTF-8.
  texts.push_back(
      "// \xd6\xd0\xce\xc4 \xb0\xb2\xd7\xb0\r\nfunction F()\r\nbegin\r\n/* caf\xe9 \x93q\x94\r\n"
      "   more */\r\nif (a) then\r\nb = \"\xe9\";\r\nendif;\r\nend;\r\n");
  for (const wyn::IndentUnit& unit : {wyn::IndentUnit(), spaces(4), spaces(2)}) {
    for (size_t i = 0; i < texts.size(); i++) {
      std::string once = formatted(texts[i], unit);
      EXPECT_EQ(without_leading_whitespace(once), without_leading_whitespace(texts[i])) << i;
      EXPECT_EQ(formatted(once, unit), once) << i;
    }
  }
}

TEST(IndentUnit, ParsesAndRendersAndConvertsThePluginsTab) {
  wyn::IndentUnit u;
  EXPECT_TRUE(wyn::parse_indent_unit("tab", &u));
  EXPECT_TRUE(u.tabs);
  EXPECT_TRUE(wyn::parse_indent_unit("4", &u));
  EXPECT_FALSE(u.tabs);
  EXPECT_EQ(u.render(8), "        ");
  for (const char* bad : {"", "0", "17", "-1", "4x", "tabs", "100"})
    EXPECT_FALSE(wyn::parse_indent_unit(bad, &u)) << bad;
  EXPECT_EQ(wyn::plugin_indent_in_unit("  ", "  \t", spaces(2)), "    ");
  EXPECT_EQ(wyn::plugin_indent_in_unit("\t", "\t\t", wyn::IndentUnit()), "\t\t");
  EXPECT_EQ(wyn::plugin_indent_in_unit("  ", "  ", spaces(4)), "  ");  // no tab added
  EXPECT_EQ(wyn::plugin_indent_in_unit("  ", "  \t", wyn::IndentUnit()), "  \t");
}

}  // namespace
