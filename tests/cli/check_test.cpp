// wyn check: the lines as compilers print them, the JSON array, and the
// exit codes for clean scripts, scripts with errors and unreadable files.
#include "tool_run.h"

namespace {

TEST_F(ToolTest, CheckPrintsProblemsAsCompilersDoAndExitsByThem) {
  std::string bad = file("bad.wyn", "begin\n\tif (a) then\n\t\tb = 1;\nend;\nx = \"open\n");
  std::string clean = file("ok.wyn", "if (a) then\nendif;\n");
  std::filesystem::create_directories(dir + "/tree/deep");
  file("tree/deep/c.wyn", "/* never closed\n");
  file("tree/skip.txt", "endif;\n");
  const std::string bad_lines =
      bad + ":4:1: error: `end` at line 4 closes `if ... then` opened at line 2: insert `endif` " +
      "before it\n" + bad + ":5:5: error: string not closed on its line\n";
  const RunCase cases[] = {
      {{"check", clean}, 0, "", nullptr},
      {{"check", bad, clean}, 1, bad_lines, nullptr},
      {{"check", "-R", dir + "/tree"},
       1,
       dir + "/tree/deep/c.wyn:1:1: error: `/*` opens a comment that is never closed\n",
       nullptr},
      // A file that cannot be read is told, the others still checked.
      {{"check", dir + "/none.wyn", bad}, 2, bad_lines, "none.wyn: No such file"},
      {{"check", "--format=yaml", bad}, 2, "", "--format takes text or json, not yaml"},
  };
  for (const RunCase& c : cases) expect_run(c);
  // Standard input when there is no FILE.
  Ran piped = wyn({"check"}, "while (a)\n");
  EXPECT_EQ(piped.code, 1);
  EXPECT_EQ(piped.out,
            "stdin:1:1: error: `while` opened at line 1 is never closed: `endwhile` is missing\n");
}

TEST_F(ToolTest, CheckWritesOneJsonArrayEscapingWhatNeedsIt) {
  // A name with a quote, a backslash and a byte that is no UTF-8, where
  // the system takes one.
  const char* base = under_wine ? "r.wyn" : "q\"\\\xff.wyn";
  std::string odd = file(base, "repeat\n\tx = 1;\n");
  Ran r = wyn({"check", "--format=json", odd});
  EXPECT_EQ(r.code, 1) << r.err;
  std::string name = dir + (under_wine ? "/r.wyn" : "/q\\\"\\\\\\ufffd.wyn");
  EXPECT_EQ(r.out, "[\n{\"file\":\"" + name +
                       "\",\"line\":1,\"column\":1,\"endLine\":1,\"endColumn\":7,"
                       "\"severity\":\"error\",\"message\":\"`repeat` opened at line 1 is never "
                       "closed: `until` is missing\",\"fix\":{\"line\":3,\"column\":1,"
                       "\"insert\":\"until ();\\n\"}}\n]\n");
  // A clean script (its include found beside it) is an empty array.
  Ran clean = wyn({"check", "--format=json", example("uninstall.wyn")});
  EXPECT_EQ(clean.code, 0);
  EXPECT_EQ(clean.out, "[]\n");
}

}  // namespace
