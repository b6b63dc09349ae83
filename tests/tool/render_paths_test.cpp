// wyn colour streams: a long script is coloured in runs, cut into pieces of
// whole lines, rendered beside the colouring and written as it comes; ASCII
// text is rendered straight from its bytes. None of that may show in the
// output: it must read exactly as one whole-buffer colouring rendered at
// once, and as the decoding path renders the same text.
#include "tool_run.h"

namespace {

// Many lines of what makes rendering branch: every escaped character, CR LF
// and a lone CR, tabs, control characters, strings and comments, one of them
// left open across line ends.
std::string long_script() {
  const char* block =
      "/* totals <a & b> \"q\" */\r\n"
      "if (nSize >= 0x10 && szName != \"<none>\") then\n"
      "\tMessageBox(\"a & b\", WARNING);\t// tell\x01\x1b[2J\n"
      "  szKey = \"open\\\n"
      "    still\";  /* spans\n"
      " lines */ nCount = 12L;\r\r\n"
      "endif;\n";
  std::string text;
  for (int i = 0; i < 3000; i++) text += block;
  return text;
}

}  // namespace

TEST_F(ToolTest, StreamedColoursReadAsOneWholeRendering) {
  std::string f = file("long.wyn", long_script());
  const std::vector<std::vector<std::string>> views = {
      {"--html", "-"},
      {"--html", "-", "-n"},
      {"--color=always"},
      {"--color=always", "-n", "--tab-width=4", "--theme=light"},
      {"--color=never", "--encoding=UTF-8"},
  };
  for (const auto& view : views) {
    std::string what = ::testing::PrintToString(view);
    std::vector<std::string> colour = {"--no-config", "colour", f};
    colour.insert(colour.end(), view.begin(), view.end());
    Ran streamed = wyn(colour);
    ASSERT_EQ(streamed.code, 0) << what << ": " << streamed.err;
    ASSERT_GT(streamed.out.size(), 200000u) << what;

    // The decoding path: an encoding that keeps ASCII, but not one the
    // straight path knows.
    std::vector<std::string> decoded = colour;
    decoded.push_back("--encoding=ISO-8859-2");
    if (view.back() == "--encoding=UTF-8") decoded.erase(decoded.end() - 2);
    Ran d = wyn(decoded);
    EXPECT_EQ(d.code, 0) << what << ": " << d.err;
    EXPECT_TRUE(d.out == streamed.out) << what << ": the decoding path differs";

    // edit colours the whole buffer at once and renders it on one thread.
    std::vector<std::string> edit = {"--no-config", "edit", "-e", "goto 1:1", f};
    edit.insert(edit.end(), view.begin(), view.end());
    Ran whole = wyn(edit);
    EXPECT_EQ(whole.code, 0) << what << ": " << whole.err;
    EXPECT_TRUE(whole.out == streamed.out) << what << ": a whole-buffer rendering differs";
  }
}

// A line longer than any piece the text is read in, with a two-byte
// character at every cut: still UTF-8 throughout, never taken for
// Windows-1252 (which would show "é" as "Ã©").
TEST_F(ToolTest, LongLinesKeepTheirEncoding) {
  std::string line = "x";
  for (int i = 0; i < 300000; i++) line += "\xc3\xa9";
  std::string f = file("wide.wyn", "/* " + line + " */\n" + line + "\n");
  for (const char* command : {"colour", "edit"}) {
    std::vector<std::string> args = {"--no-config", command, f, "--color=always"};
    if (!strcmp(command, "edit")) args.insert(args.begin() + 2, {"-e", "goto 1:1"});
    Ran r = wyn(args);
    EXPECT_EQ(r.code, 0) << command << ": " << r.err;
    EXPECT_EQ(count_of(r.out, "\xc3\xa9"), 600000u) << command;
    EXPECT_EQ(r.out.find("\xc3\x83"), std::string::npos) << command;
  }
}
