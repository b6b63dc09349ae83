// The script checker on scripts written for each rule, on every example
// and generated script (which must raise no false alarm), and on examples
// with one closing word or comment closer taken out, where it must point
// at the block or comment left open.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "support/files.h"
#include "support/session_fixture.h"
#include "support/wyn_text.h"

namespace {

class DiagnosticsTest : public support::PluginTest {
 protected:
  std::vector<wyn::Diagnostic> check(const std::string& text) {
    wyn::Document doc(text);
    std::vector<wyn::Diagnostic> found;
    std::string error;
    EXPECT_TRUE(wyn::check_document(doc, plugin.words(1), &found, &error)) << error;
    return found;
  }
};

// "LINE:COL severity: message", line and column from 1 as the tool prints.
std::vector<std::string> shown(const std::vector<wyn::Diagnostic>& found) {
  std::vector<std::string> out;
  for (const wyn::Diagnostic& d : found)
    out.push_back(std::to_string(d.line) + ":" + std::to_string(d.col + 1) +
                  (d.severity == wyn::Diagnostic::ERROR ? " error: " : " warning: ") + d.message);
  return out;
}

TEST_F(DiagnosticsTest, EachRuleOnScriptsWrittenForIt) {
  const struct {
    const char* what;
    const char* text;
    std::vector<std::string> want;
  } cases[] = {
      {"balanced blocks of every kind",
       "program\n  repeat\n    for i = 1 to 3\n      x = 1;\n    endfor;\n  until (a);\n"
       "endprogram\nfunction F()\nbegin\n  switch (a)\n  case 1:\n    while (b)\n"
       "      if (c) then\n        d = 1;\n      elseif (e) then\n      else\n      endif;\n"
       "    endwhile;\n  endswitch;\nend;\n",
       {}},
      {"a one-statement if has no endif",
       "function F()\nbegin\n  if (x) goto done;\n  if (y)\n    return 1;\ndone:\nend;\n",
       {}},
      {"then on a later line, past a comment",
       "if (a &&\n    b) /* x; */ then\n  c = 1;\nendif;\n",
       {}},
      {"an if never closed",
       "function F()\nbegin\n  if (a) then\n    b = 1;\nend;\n",
       {"5:1 error: `end` at line 5 closes `if ... then` opened at line 3: insert `endif` "
        "before it"}},
      {"the wrong closer",
       "if (a) then\n  while (b)\n  endif;\n",
       {"3:3 error: `endif` at line 3 closes `while` opened at line 2: insert `endwhile` "
        "before it"}},
      {"the indentation tells which of two ifs was left open",
       "if (a) then\n  if (b) then\n    c = 1;\nendif;\n",
       {"2:3 error: `if ... then` opened at line 2 is not closed: `endif` is missing before "
        "line 4"}},
      {"an opener left at the end",
       "x = 1;\nrepeat\n  y = 2;\n",
       {"2:1 error: `repeat` opened at line 2 is never closed: `until` is missing"}},
      {"a closer with nothing open",
       "x = 1;\nendwhile;\n",
       {"2:1 error: `endwhile` at line 2 closes no open `while`"}},
      {"else outside any if",
       "x = 1;\nelse\n",
       {"2:1 error: `else` at line 2 is outside any `if ... then`"}},
      {"end without begin is no block word", "x = 1;\nend;\n", {}},
      {"block words in comments, strings and longer words",
       "// if (a) then\nx = \"while\"; /* endif */\nendif_flag = 1; my_for = 2;\n",
       {}},
      {"other letter cases leave the blocks unchecked", "IF (a) THEN\n  b = 1;\nendif;\n", {}},
      {"alternative preprocessor branches leave the blocks unchecked",
       "#ifdef OLD\nif (a) then\n#else\nif (b) then\n#endif\n  c = 1;\nendif;\n",
       {}},
      {"a conditional without alternatives is checked",
       "#ifdef OLD\nwhile (a)\n#endif\n",
       {"2:1 error: `while` opened at line 2 is never closed: `endwhile` is missing"}},
      {"a macro holding a block word leaves the blocks unchecked",
       "#define LOOP while (1)\nLOOP\nendwhile;\n",
       {}},
      {"a comment never closed hides the closers after it",
       "while (a)\n  x = 1; /* note\nendwhile;\n",
       {"2:10 error: `/*` opens a comment that is never closed"}},
      {"a comment closed by \"/*/\" and one closed last thing", "/*/ x = 1; /* a */", {}},
      {"an opener inside a comment",
       "/* one\nx = 1;\n/* two */\n",
       {"3:1 warning: `/*` inside the comment opened at line 1: is that comment closed?"}},
      {"a string not closed on its line",
       "x = \"abc\ny = 'it\\'s';\nz = \"a\\\\\" + \"b\\\"\n",
       {"1:5 error: string not closed on its line", "3:13 error: string not closed on its line"}},
      {"an apostrophe on a preprocessor line", "#error don't build this\nx = 1;\n", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(shown(check(c.text)), c.want) << c.what;
}

// The rules about routines, with the cases where they must keep quiet.
TEST_F(DiagnosticsTest, RoutinesDefinedTwiceAndGotosWithoutLabels) {
  const struct {
    const char* what;
    const char* text;
    std::vector<std::string> want;
  } cases[] = {
      {"a routine defined twice",
       "function F(a)\nbegin\nend;\n\nfunction F(b)\nbegin\nend;\n",
       {"5:10 error: `F` is defined twice: at line 1 and at line 5"}},
      {"indented and CR LF, three times",
       "  function G()\r\n  begin\r\n  end;\r\nfunction G()\r\nbegin\r\nend;\r\n"
       "function G()\r\nbegin\r\nend;\r\n",
       {"4:10 error: `G` is defined twice: at line 1 and at line 4",
        "7:10 error: `G` is defined twice: at line 1 and at line 7"}},
      {"a prototype and its definition", "prototype F(NUMBER);\nfunction F(a)\nbegin\nend;\n", {}},
      {"names differing in letter case",
       "function F()\nbegin\nend;\nfunction f()\nbegin\nend;\n",
       {}},
      {"a second definition in a comment",
       "function F()\nbegin\nend;\n/*\nfunction F()\nbegin\nend;\n*/\n",
       {}},
      {"alternative builds",
       "#ifdef OLD\nfunction F(a)\nbegin\nend;\n#else\nfunction F(a, b)\nbegin\nend;\n#endif\n",
       {}},
      {"one build and another under two conditionals",
       "#ifdef OLD\nfunction F()\nbegin\nend;\n#endif\n#ifndef OLD\nfunction F()\nbegin\n"
       "end;\n#endif\n",
       {}},
      {"old code kept under #if 0",
       "#if 0\nfunction F()\nbegin\nend;\n#endif\nfunction F()\nbegin\nend;\n",
       {}},
      {"both inside one include guard",
       "#ifndef A_H\n#define A_H\nfunction F()\nbegin\nend;\nfunction F()\nbegin\nend;\n#endif\n",
       {"6:10 error: `F` is defined twice: at line 3 and at line 6"}},
      {"a goto with its label",
       "function F()\nbegin\n    if (a) goto done;\n    b = 1;\n  done:\n    return 0;\nend;\n",
       {}},
      {"a goto with no label",
       "function F()\nbegin\n    if (a) goto done;\n    b = 1;\nend;\n",
       {"3:17 error: `goto done` at line 3: no label `done:` in its routine"}},
      {"the label in another routine",
       "function F()\nbegin\n  goto done;\nend;\nfunction G()\nbegin\ndone:\nend;\n",
       {"3:8 error: `goto done` at line 3: no label `done:` in its routine"}},
      {"outside the routines",
       "program\n  goto next;\nendprogram\nfunction F()\nbegin\nnext:\nend;\n",
       {"2:8 error: `goto next` at line 2: no label `next:` outside the routines"}},
      {"only a case of that name",
       "function F()\nbegin\n  switch (a)\n  case done:\n    goto done;\n  endswitch;\nend;\n",
       {"5:10 error: `goto done` at line 5: no label `done:` in its routine"}},
      {"goto and label in comments and strings, label in another letter case",
       "function F()\nbegin\n  // goto x;\n  s = \"goto y;\";\n  goto Done;\nDONE:\nend;\n",
       {}},
      {"several names, one label missing, names of other lengths and cases",
       "function F()\nbegin\n  goto Beta;\n  goto alpha;\n  goto al;\nAL:\nALPHA:\n  bet = "
       "1;\nend;\n",
       {"3:8 error: `goto Beta` at line 3: no label `Beta:` in its routine"}},
      {"the name is #defined", "#define done other\nfunction F()\nbegin\n  goto done;\nend;\n", {}},
      {"a macro may make labels",
       "#define LABEL(x) x:\nfunction F()\nbegin\n  goto done;\nend;\n",
       {}},
      {"a macro pastes words",
       "#define L(x) x##_end\nfunction F()\nbegin\n  goto done;\nend;\n",
       {}},
      {"a macro's text holds a colon in quotes only",
       "#define DRIVE \"C:\"\nfunction F()\nbegin\n  goto done;\nend;\n",
       {"4:8 error: `goto done` at line 4: no label `done:` in its routine"}},
      {"the label may come from a macro call",
       "function F()\nbegin\n  goto done;\n  LABEL(done)\nend;\n",
       {}},
      {"the goto under alternatives",
       "function F()\nbegin\n#ifdef A\n  goto done;\n#else\n  goto other;\n#endif\nend;\n",
       {}},
      {"a routine with no end at its header's indentation",
       "  function F()\n  begin\n  goto done;\nend;\nfunction G()\nbegin\ndone:\nend;\n",
       {}},
      {"an #include in the body",
       "function F()\nbegin\n  goto done;\n#include \"tail.h\"\nend;\n",
       {}},
      {"not a plain goto",
       "function F()\nbegin\n  goto /* x */ done;\n  goto done + 1;\nend;\n",
       {}},
  };
  for (const auto& c : cases) EXPECT_EQ(shown(check(c.text)), c.want) << c.what;
}

TEST_F(DiagnosticsTest, FixesInsertTheClosingWordIndentedAsItsOpener) {
  const struct {
    const char* text;
    const char* fixed;
  } cases[] = {
      {"begin\n  if (a) then\n    b = 1;\nend;\n",
       "begin\n  if (a) then\n    b = 1;\n  endif;\nend;\n"},
      {"  while (a)\n    b = 1;", "  while (a)\n    b = 1;\n  endwhile;\n"},
      {"repeat\n  b = 1;\n", "repeat\n  b = 1;\nuntil ();\n"},
      {"if (a) then\r\n  b = 1;", "if (a) then\r\n  b = 1;\r\nendif;\r\n"},
      {"begin\r\n  while (a)\r\nend;\r\n", "begin\r\n  while (a)\r\n  endwhile;\r\nend;\r\n"},
  };
  for (const auto& c : cases) {
    std::vector<wyn::Diagnostic> found = check(c.text);
    ASSERT_EQ(found.size(), 1u) << c.text;
    ASSERT_TRUE(found[0].has_fix);
    std::string text = c.text;
    text.insert(found[0].fix_at, found[0].fix_text);
    EXPECT_EQ(text, c.fixed);
    EXPECT_TRUE(check(text).empty()) << text;
  }
}

std::vector<std::string> examples() {
  std::vector<std::string> out;
  for (const std::string& path : support::files_in(WYN_SOURCE_DIR "/examples"))
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".wyn") == 0) out.push_back(path);
  return out;
}

TEST_F(DiagnosticsTest, NoFalseAlarmOnExamplesOrGeneratedScripts) {
  std::vector<std::string> paths = examples();
  ASSERT_GE(paths.size(), 3u);
  for (const std::string& path : paths)
    EXPECT_EQ(shown(check(support::read_file(path))), std::vector<std::string>()) << path;
  // The generator writes block words at random, so only its comments and
  // strings are sure to be whole; and the checker must take any bytes.
  for (uint64_t seed = 1; seed <= 20; seed++) {
    wyn_text::options line_ends;
    line_ends.crlf = true;
    for (const wyn::Diagnostic& d : check(wyn_text::generate(seed, 4000)))
      EXPECT_TRUE(d.message.find("`/*`") == std::string::npos &&
                  d.message.find("string") == std::string::npos)
          << "seed " << seed << ": " << d.message;
    // With CR LF line ends; and none of its routines is defined twice.
    for (const wyn::Diagnostic& d : check(wyn_text::generate(seed, 4000, line_ends)))
      EXPECT_TRUE(d.message.find("`/*`") == std::string::npos &&
                  d.message.find("string") == std::string::npos &&
                  d.message.find("defined twice") == std::string::npos &&
                  d.message.find("goto") == std::string::npos)
          << "seed " << seed << ": " << d.message;
    check(wyn_text::generate_tricky(seed, 300));
  }
  // Scripts written as their authors write them, every block closed and
  // every goto with its label: nothing at all, with either line end.
  for (uint64_t seed = 1; seed <= 6; seed++)
    for (bool crlf : {false, true}) {
      wyn_text::options o;
      o.crlf = crlf;
      EXPECT_EQ(shown(check(wyn_text::generate_real(seed, 600, o))), std::vector<std::string>())
          << "seed " << seed << (crlf ? " CR LF" : " LF");
    }
}

// Each example with one closing word or comment closer taken out: some
// diagnostic must be at, or name, the line of what was left open.
TEST_F(DiagnosticsTest, ATakenOutCloserIsPointedAt) {
  const struct {
    const char* closer;  // taken out of the first line that holds it
    const char* opener;  // the nearest before it, whose line must be named
  } cases[] = {{"endif;", "then"}, {"end;", "begin"}, {"*/", "/*"}};
  size_t mutations = 0;
  for (const std::string& path : examples()) {
    const std::string text = support::read_file(path);
    for (const auto& c : cases) {
      size_t at = text.find(std::string("\n") + c.closer);
      if (c.closer[0] != '*') {
        // A closer indented as blocks are: the first line that is it alone.
        at = std::string::npos;
        for (size_t p = text.find(c.closer); p != std::string::npos;
             p = text.find(c.closer, p + 1)) {
          size_t bol = text.rfind('\n', p) + 1;
          if (text.find_first_not_of(" \t", bol) == p && (text[p + strlen(c.closer)] == '\n')) {
            at = p;
            break;
          }
        }
      } else {
        at = text.find(c.closer);
      }
      if (at == std::string::npos) continue;
      size_t open = text.rfind(c.opener, at);
      ASSERT_NE(open, std::string::npos);
      long open_line = 1 + (long)std::count(text.begin(), text.begin() + (long)open, '\n');
      std::string broken = text;
      broken.erase(at, strlen(c.closer));
      std::vector<wyn::Diagnostic> found = check(broken);
      bool named = false;
      for (const wyn::Diagnostic& d : found)
        named = named || d.line == open_line ||
                d.message.find("line " + std::to_string(open_line)) != std::string::npos;
      EXPECT_TRUE(named) << path << " without its first " << c.closer << ": nothing names line "
                         << open_line;
      mutations++;
    }
  }
  EXPECT_GE(mutations, 6u);
}

}  // namespace
