// The uses of a name on scripts as people write them: locals that shadow
// globals, parameters, labels of the same name in two routines, words in
// comments and strings and in code commented out, CR LF, letter case,
// declarations, assignments against comparisons.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "outline.h"
#include "references.h"
#include "session.h"
#include "support/session_fixture.h"
#include "support/wyn_text.h"

namespace {

class ReferencesTest : public support::PluginTest {
 protected:
  // The uses of the symbol at the '@' in text (the '@' taken out), one
  // "LINE:COL" a use (line from 1, byte column from 0), "d" after a
  // declaration and "w" after an assignment's target; "none" when there is
  // no symbol there.
  // doc coloured whole, and its outline's routines in bytes.
  std::vector<wyn::RoutinePlace> places(wyn::Document& doc) {
    EXPECT_TRUE(doc.colour_whole());
    std::vector<wyn::LineSpan> marks;
    std::string message;
    EXPECT_TRUE(doc.routines(&marks, &message, nullptr));
    std::vector<wyn::RoutinePlace> out;
    for (const wyn::Routine& r : wyn::routine_outline(doc, marks, plugin.words(1))) {
      wyn::RoutinePlace p;
      p.start = (size_t)doc.line_start(r.marked.first);
      p.name_start = p.start + r.name_at;
      p.name_end = p.name_start + r.name.size();
      p.end = (size_t)(doc.line_start(r.extent.last) + doc.line_length(r.extent.last));
      p.declaration = r.declaration;
      out.push_back(p);
    }
    return out;
  }

  std::string uses(std::string text) {
    size_t at = text.find('@');
    EXPECT_NE(at, std::string::npos);
    text.erase(at, 1);
    wyn::Document doc(text);
    std::vector<wyn::RoutinePlace> routines = places(doc);
    std::vector<signed char> cats = doc.categories();
    wyn::NameMap map(text, cats, routines);
    wyn::NameSymbol symbol;
    if (!map.symbol_at(at, &symbol)) return "none";
    std::string out;
    for (const wyn::NameUse& u : map.uses(symbol)) {
      long line = doc.line_of((long)u.start);
      if (!out.empty()) out += " ";
      out += std::to_string(line) + ":" + std::to_string((long)u.start - doc.line_start(line));
      if (u.declaration) out += "d";
      if (u.write) out += "w";
    }
    return out;
  }
};

TEST_F(ReferencesTest, Scopes) {
  const char* const shadowing =
      "STRING szMsg;\n"
      "function A()\n"
      "begin\n"
      "    szMsg = \"a\";\n"
      "end;\n"
      "function B()\n"
      "    STRING szMsg;\n"
      "begin\n"
      "    szMsg = \"b\";\n"
      "end;\n"
      "program\n"
      "    MessageBox(szMsg, 0);\n"
      "endprogram\n";
  struct Case {
    const char* what;
    std::string text;
    const char* want;
  } cases[] = {
      {"a global, not the local of the same name",
       std::string(shadowing).replace(std::string(shadowing).find("szMsg = \"a"), 0, "@"),
       "1:7d 4:4w 12:15"},
      {"the local, not the global",
       std::string(shadowing).replace(std::string(shadowing).find("szMsg = \"b"), 0, "@"),
       "7:11d 9:4w"},
      {"parameters are their routine's own",
       "function A(svDir, nX)\nbegin\n    CopyFile(svDir, @svDir);\nend;\n"
       "function B(svDir)\nbegin\n    svDir = \"\";\nend;\n",
       "1:11d 3:13 3:20"},
      {"a list of locals, with an array",
       "function A()\n    NUMBER nA, nB;\n    STRING szArr[10], szB;\nbegin\n"
       "    szB = szArr;\n    nB = @szB;\nend;\nfunction C()\nbegin\n    szB = 1;\nend;\n",
       "3:22d 5:4w 6:9"},
      {"a routine: prototype, definition, calls; not a call in another's comment",
       "prototype CheckAll(STRING);\n\nprogram\n    if (CheckAll(\"x\") < 0) then abort; endif;\n"
       "endprogram\n\n// CheckAll() is called once\nfunction @CheckAll(svX)\nbegin\n"
       "    return CheckAll(svX);\nend;\n",
       "1:10d 4:8 8:9d 10:11"},
      {"a routine's name is global even where a parameter shares it",
       "function Size(Size)\nbegin\n    return Size;\nend;\nprogram\n    @Size(1);\nendprogram\n",
       "1:9d 6:4"},
      {"an indented routine, tabs and spaces, keeps its locals",
       "NUMBER nI;\n    function Loop()\n\tNUMBER nI;\n    begin\n\tfor nI = 1 to 3\n"
       "\tendfor;\n    end;\nprogram\n    @nI = 0;\nendprogram\n",
       "1:7d 9:4w"},
      {"#define names a global",
       "#define MAX_RETRIES 3\nfunction A()\nbegin\n    n = @MAX_RETRIES;\nend;\n", "1:8d 4:8"},
  };
  for (const Case& c : cases) EXPECT_EQ(uses(c.text), c.want) << c.what;
}

TEST_F(ReferencesTest, Labels) {
  struct Case {
    const char* what;
    const char* text;
    const char* want;
  } cases[] = {
      {"a label is its routine's own",
       "function A()\nbegin\n    if (x) goto @done;\ndone:\nend;\n"
       "function B()\nbegin\n    goto done;\ndone:\n    return 0;\nend;\n",
       "3:16 4:0d"},
      {"the definition finds the gotos, with and without then",
       "function A()\nbegin\n    if (x) goto fail;\n    if (y) then\n        goto fail;\n"
       "    endif;\n@fail:\n    return -1;\nend;\n",
       "3:16 5:13 7:0d"},
      {"a label outside routines is apart from a variable of its name",
       "NUMBER retry;\nprogram\nretry:\n    retry = retry + 1;\n    if (retry < 3) goto @retry;\n"
       "endprogram\n",
       "3:0d 5:24"},
      {"a case is no label",
       "#define MODE_A 1\nfunction A(n)\nbegin\n    switch (n)\n    case MODE_A:\n"
       "        n = @MODE_A;\n    endswitch;\nend;\n",
       "1:8d 5:9 6:12"},
  };
  for (const Case& c : cases) EXPECT_EQ(uses(c.text), c.want) << c.what;
}

TEST_F(ReferencesTest, WhatIsAUse) {
  struct Case {
    const char* what;
    const char* text;
    const char* want;
  } cases[] = {
      {"words in comments and strings are not uses",
       "NUMBER nA; // nA counts\nprogram\n    @nA = 1; /* nA\n nA */\n"
       "    MessageBox(\"nA\", 0);\nendprogram\n",
       "1:7d 3:4w"},
      {"old code commented out, routines and all",
       "NUMBER nA;\n/*\nfunction Old()\n    NUMBER nA;\nbegin\n    nA = 2;\nend;\n*/\n"
       "program\n    nA = @nA + 1;\nendprogram\n",
       "1:7d 10:4w 10:9"},
      {"CR LF line ends",
       "function A()\r\n    NUMBER nA;\r\nbegin\r\n    nA = 1;\r\n    if (@nA = 2) then\r\n"
       "        nA=3;\r\n    endif;\r\nend;\r\n",
       "2:11d 4:4w 5:8 6:8w"},
      {"letter case makes another name",
       "NUMBER nResult, NRESULT;\nprogram\n    @nResult = NRESULT;\n    NResult = 0;\nendprogram\n",
       "1:7d 3:4w"},
      {"a comparison and a call's argument are reads",
       "NUMBER nA;\nprogram\n    if (nA = 1) then nA = 2; endif;\n    while (nA == 3)\n"
       "    endwhile;\n    for @nA = 1 to 10\n    endfor;\n    Foo(nA);\nendprogram\n",
       "1:7d 3:8 3:21w 4:11 6:8w 8:8"},
      {"the name just before the cursor", "NUMBER nA;\nprogram\n    Foo(nA@);\nendprogram\n",
       "1:7d 3:8"},
      {"a built-in function", "program\n    Message@Box(\"a\", 0);\nendprogram\n", "none"},
      {"a reserved word", "progr@am\nendprogram\n", "none"},
      {"a constant", "program\n    n = TARGET@DIR;\nendprogram\n", "none"},
      {"in a comment", "// sz@Name\n", "none"},
      {"a number", "program\n    n = 1@0;\nendprogram\n", "none"},
      {"a prototype's parameter stands for nothing", "prototype Foo(STRING sz@X);\nSTRING szX;\n",
       "none"},
  };
  for (const Case& c : cases) EXPECT_EQ(uses(c.text), c.want) << c.what;
}

// On generated scripts, at every byte: a use found from a name is a use of
// that name, and asked about, names the same symbol; the name asked about
// is among its own uses.
TEST_F(ReferencesTest, UsesAgreeWithTheSymbolAtThem) {
  wyn_text::options crlf;
  crlf.crlf = true;
  const std::string texts[] = {wyn_text::generate(7, 6000), wyn_text::generate(8, 6000, crlf),
                               wyn_text::generate_tricky(9, 3000)};
  for (const std::string& text : texts) {
    wyn::Document doc(text);
    std::vector<wyn::RoutinePlace> routines = places(doc);
    std::vector<signed char> cats = doc.categories();
    wyn::NameMap map(text, cats, routines);
    size_t checked = 0;
    for (size_t pos = 0; pos <= text.size(); pos++) {
      wyn::NameSymbol s, again;
      size_t a = 0, b = 0;
      if (!map.symbol_at(pos, &s, &a, &b)) continue;
      ASSERT_TRUE(a <= pos && pos <= b) << pos;
      std::vector<wyn::NameUse> found = map.uses(s);
      bool self = false;
      for (size_t i = 0; i < found.size(); i++) {
        const wyn::NameUse& u = found[i];
        ASSERT_EQ(text.substr(u.start, u.end - u.start), s.name);
        ASSERT_TRUE(i == 0 || found[i - 1].end <= u.start);
        ASSERT_TRUE(map.symbol_at(u.start, &again));
        ASSERT_TRUE(again.name == s.name && again.label == s.label && again.routine == s.routine)
            << "at " << u.start << " from " << pos;
        self = self || u.start == a;
      }
      ASSERT_TRUE(self) << pos;
      checked++;
    }
    EXPECT_GT(checked, 100u);
  }
}

TEST(Identifier, Forms) {
  struct Case {
    const char* word;
    bool want;
  } cases[] = {{"szName", true}, {"_x1", true},  {"a", true},    {"", false},
               {"1abc", false},  {"a-b", false}, {"a b", false}, {"#define", false},
               {"名前", false},  {"x;", false},  {"ABC_9", true}};
  for (const Case& c : cases) EXPECT_EQ(wyn::is_identifier(c.word), c.want) << c.word;
}

}  // namespace
