// wyn format: its exit codes, --check, --in-place and the indent unit from
// --indent or an .editorconfig; wyn indent in that unit; wyn expand --cursor.
#include <sys/stat.h>

#include "tool_run.h"

namespace {

const char* const kRaw = "function F()\r\nbegin\r\nif (a) then\r\nb = 1;\r\nendif;\r\nend;\r\n";
const char* const kTabbed =
    "function F()\r\nbegin\r\n\tif (a) then\r\n\t\tb = 1;\r\n\tendif;\r\nend;\r\n";
const char* const kFour =
    "function F()\r\nbegin\r\n    if (a) then\r\n        b = 1;\r\n    endif;\r\nend;\r\n";
const char* const kUnbalanced = "begin\nif (a) then\nend;\n";

TEST_F(ToolTest, FormatPrintsChecksAndExitsByWhatItFound) {
  std::string raw = file("raw.wyn", kRaw);
  std::string done = file("done.wyn", kTabbed);
  std::string bad = file("bad.wyn", kUnbalanced);
  const RunCase cases[] = {
      {{"format", raw}, 0, kTabbed, nullptr},
      {{"format", "--indent=4", raw}, 0, kFour, nullptr},
      {{"format", "--indent", "tab", done}, 0, kTabbed, nullptr},
      {{"format", "--check", raw, done}, 1, raw + "\n", nullptr},
      {{"format", "--check", done}, 0, "", nullptr},
      // Unbalanced: told as check tells it, printed as it is.
      {{"format", bad}, 1, kUnbalanced, "bad.wyn:3:1: error: `end` at line 3 closes"},
      {{"format", "--check", bad}, 1, "", "blocks do not balance"},
      {{"format", dir + "/none.wyn", done}, 2, kTabbed, "none.wyn: No such file"},
      {{"format", "--indent=0", raw}, 2, "", "--indent takes tab or a number"},
      {{"format", "--check", "--in-place", raw}, 2, "", "not both"},
      {{"colour", "--indent=4", raw}, 2, "", "--indent goes with indent or format"},
  };
  for (const RunCase& c : cases) expect_run(c);
  EXPECT_EQ(read_file(raw), kRaw);  // nothing written without --in-place
}

TEST_F(ToolTest, FormatInPlaceWritesOnlyWhatChanges) {
  std::string raw = file("raw.wyn", kRaw);
  std::string bad = file("bad.wyn", kUnbalanced);
  ASSERT_EQ(chmod(raw.c_str(), 0640), 0);
  Ran r = wyn({"format", "--in-place", "--indent=4", raw, bad});
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(read_file(raw), kFour);
  EXPECT_EQ(read_file(bad), kUnbalanced);
  struct stat st;
  ASSERT_EQ(stat(raw.c_str(), &st), 0);
  if (!under_wine) {
    EXPECT_EQ(st.st_mode & 07777, 0640u);
  }
  struct stat before;
  ASSERT_EQ(stat(raw.c_str(), &before), 0);
  EXPECT_EQ(wyn({"format", "--in-place", "--indent=4", raw}).code, 0);
  ASSERT_EQ(stat(raw.c_str(), &st), 0);
  EXPECT_EQ(st.st_ino, before.st_ino);  // unchanged: not rewritten
}

// The unit: --indent wins over an .editorconfig, which wins over the tab.
TEST_F(ToolTest, IndentUnitComesFromEditorconfigOrTheOption) {
  SKIP_UNDER_WINE("the Windows form reads no .editorconfig");
  std::filesystem::create_directories(dir + "/proj/sub");
  file("proj/.editorconfig",
       "root = true\n[*.wyn]\nindent_style = space\nindent_size = 4\n[*.WYN]\n"
       "indent_style = tab\n");
  std::string f = file("proj/sub/a.wyn", kRaw);
  std::string upper = file("proj/sub/B.WYN", kRaw);
  std::string line = file("proj/sub/l.wyn", "  if (a) then\n");
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"format", f}, kFour},
      {{"format", "--indent=tab", f}, kTabbed},
      {{"format", upper}, kTabbed},
      {{"indent", line, "1:14"}, "  if (a) then\n      \n"},
      {{"indent", "--indent=2", line, "1:14"}, "  if (a) then\n    \n"},
      {{"indent", "--indent=tab", line, "1:14"}, "  if (a) then\n  \t\n"},
  };
  for (const auto& c : cases) {
    Ran r = wyn(c.args);
    EXPECT_EQ(r.code, 0) << c.args[1] << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[1];
  }
}

TEST_F(ToolTest, ExpandTellsWhereTheTemplatesCursorMarkIs) {
  const struct {
    const char* text;
    const char* at;
    const char* cursor;
  } cases[] = {
      {"if\n", "1:1", "1:6\n"},
      {"x;\n  while\n", "2:8", "2:11\n"},
      {"begin\n\tcase\n", "2:5", "2:7\n"},
  };
  for (const auto& c : cases) {
    std::string f = file("x.wyn", c.text);
    Ran r = wyn({"expand", "--cursor", f, c.at});
    EXPECT_EQ(r.code, 0) << c.text << r.err;
    EXPECT_EQ(r.err, c.cursor) << c.text;
  }
}

}  // namespace
