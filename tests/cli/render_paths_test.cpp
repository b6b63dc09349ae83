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

// A line longer than a piece (8 KiB) goes to the rendering side in several.
// Each case's snippet is set across a cut, at every byte of it in turn,
// one line each: the page and the terminal must read exactly as when the
// same line, 4 KiB of padding shorter, is not cut there at all.
TEST_F(ToolTest, LinesCutIntoPiecesReadAsWholeLines) {
  const size_t piece = 8192, shorter = 4096;
  struct {
    const char* what;
    std::string before, pad, snippet;
    const char* encoding;
  } cases[] = {
      {"UTF-8 characters", "// ", "x", "\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80", nullptr},
      {"a C1 control", "// ", "x", "\xc2\x85\xc2\x9b", nullptr},
      {"tabs after wide characters", "//\t", "\xc3\xa9", "\t\xc3\xa9\t", nullptr},
      {"inside a string", "s = \"", "x", "xx\"; n = 12;", nullptr},
      {"escaped characters", "// ", "x", "<&>\"", nullptr},
      {"CR LF, a lone CR", "// ", "x", "\r\n\r/*\r\n", nullptr},
      {"not UTF-8: Windows-1252", "// \x80 ", "x", "\xe9\xe9", nullptr},
      {"GBK, a trail byte that reads as ASCII", "// ", "x", "\xd6\xd0\x81\x40", "GBK"},
      {"ISO-2022-JP shift sequences", "// ", "x", "\x1b$BF|K\\\x1b(B<", "ISO-2022-JP"},
  };
  const std::vector<std::vector<std::string>> views = {
      {"--html", "-", "-n"},
      {"--color=always", "-n", "--tab-width=4"},
      {"--color=never", "--tab-width=4"},
  };
  for (const auto& c : cases) {
    // Windows decodes stateless code pages only.
    if (under_wine && c.encoding != nullptr && !strcmp(c.encoding, "ISO-2022-JP")) continue;
    // One line per cut point, and the same lines with less padding.
    std::string cut, whole, block;
    for (size_t k = 0; k < shorter / c.pad.size(); k++) block += c.pad;
    for (size_t at = 0; at <= c.snippet.size(); at++) {
      size_t room = piece - c.before.size() - at;
      std::string fill(room % c.pad.size(), 'y');  // so the cut falls at `at`
      std::string pad;
      for (size_t k = 0; k < room / c.pad.size(); k++) pad += c.pad;
      std::string rest = fill + c.snippet + " n = 1;\n";
      cut += c.before + pad + rest;
      whole += c.before + pad.substr(block.size()) + rest;
    }
    for (const auto& view : views) {
      std::string what = std::string(c.what) + " " + ::testing::PrintToString(view);
      std::vector<std::string> args = {"--no-config", "colour", file("s.wyn", cut)};
      args.insert(args.end(), view.begin(), view.end());
      if (c.encoding != nullptr) args.push_back(std::string("--encoding=") + c.encoding);
      Ran r = wyn(args);
      file("s.wyn", whole);  // the same name: a page's title shows it
      Ran w = wyn(args);
      ASSERT_EQ(r.code, 0) << what << ": " << r.err;
      ASSERT_EQ(w.code, 0) << what << ": " << w.err;
      // Each cut line's padding is one run: take the extra block out.
      std::string shown = r.out;
      size_t runs = 0;
      for (size_t at = shown.find(block); at != std::string::npos; at = shown.find(block, at)) {
        shown.erase(at, block.size());
        runs++;
        at = shown.find('\n', at);  // on to the next line
      }
      EXPECT_EQ(runs, c.snippet.size() + 1) << what;
      EXPECT_TRUE(shown == w.out) << what << ":\n"
                                  << shown.substr(0, 2000) << "\n----\n"
                                  << w.out.substr(0, 2000);
    }
  }
}

// Where lines are short a page is many times its script (each line break
// brings an anchor of some forty bytes), so its buffer grows again and
// again, made at once (edit) or a piece at a time (colour): every byte of
// it must be one that was written, none left over from growing.
TEST_F(ToolTest, PagesManyTimesTheirScriptReadWhole) {
  const struct {
    const char* what;
    const char* line_break;
    size_t lines;
  } scripts[] = {
      {"LF", "\n", 1},
      {"LF", "\n", 300000},
      {"CR LF", "\r\n", 200000},
  };
  const std::vector<std::vector<std::string>> commands = {
      {"colour", "--html-fragment", "--html", "-", "$F"},
      {"edit", "-e", "goto 1:1", "--html-fragment", "--html", "-", "$F"},
  };
  for (const auto& s : scripts) {
    std::string text, want = "<pre class=\"wyn\">";
    for (size_t i = 1; i <= s.lines; i++) {
      text += s.line_break;
      std::string n = std::to_string(i);
      want += "<a class=\"ln\" id=\"L" + n + "\" href=\"#L" + n + "\">" + n + "</a>\n";
    }
    want += "</pre>\n";
    std::string f = file("s.wyn", text);
    for (const auto& c : commands) {
      std::string what = std::string(s.what) + " x" + std::to_string(s.lines) + ", " + c[0];
      std::vector<std::string> args = {"--no-config"};
      for (const std::string& a : filled(c, {{"$F", f}})) args.push_back(a);
      Ran r = wyn(args);
      EXPECT_EQ(r.code, 0) << what << ": " << r.err;
      EXPECT_TRUE(r.out == want) << what << ": " << r.out.size() << " bytes, " << want.size()
                                 << " wanted";
    }
  }
}

// What rendering holds at once does not grow with a line's length: 8 MiB
// in one line is shown within the same address-space limit as in many
// lines, a little more than the text and its colours.
TEST_F(ToolTest, OneLongLineRendersInBoundedMemory) {
  SKIP_UNDER_WINE("an address-space limit on the Wine loader");
  const size_t size = 8u << 20;
  std::string statement = "n = \"a<b\" + 12; /* c */ ", one, many;
  while (one.size() < size) {
    one += statement;
    many += statement;
    many.back() = '\n';
  }
  one.back() = '\n';
  const struct {
    const char* what;
    std::vector<std::string> args;  // $F: the script
    const char* ends;               // how the output must end
  } cases[] = {
      {"page", {"colour", "--html", "-", "$F"}, "</html>\n"},
      {"terminal", {"colour", "--color=always", "-n", "$F"}, "/* c */\x1b[0m\n"},
      {"edit's result", {"edit", "-e", "goto 1:1", "--color=always", "$F"}, "/* c */\x1b[0m\n"},
  };
  for (const std::string* text : {&many, &one}) {
    std::string f = file("s.wyn", *text);
    for (const auto& c : cases) {
      std::string what = std::string(c.what) + (text == &one ? ", one line" : ", many lines");
      std::vector<std::string> args = {"-c", "ulimit -v 65536 && exec \"$0\" \"$@\"", WYN_TOOL_PATH,
                                       "--no-config"};
      for (const std::string& a : filled(c.args, {{"$F", f}})) args.push_back(a);
      Ran r = run_program("/bin/sh", args);
      EXPECT_EQ(r.code, 0) << what << ": " << r.err;
      size_t n = strlen(c.ends);
      EXPECT_TRUE(r.out.size() > size && r.out.compare(r.out.size() - n, n, c.ends) == 0) << what;
    }
  }
}

// Of several files, only the one being shown is held: 32 MiB of scripts
// are shown within a limit well below that.
TEST_F(ToolTest, ManyFilesColourHoldingOneText) {
  SKIP_UNDER_WINE("an address-space limit on the Wine loader");
  std::string body;
  while (body.size() < (1u << 20)) body += "x = \"<a>\";\n";
  std::string first = file("s0.wyn", "function F()\nbegin\n" + body + "end;\n");
  std::vector<std::string> args = {"-c",          "ulimit -v 32768 && exec \"$0\" \"$@\"",
                                   WYN_TOOL_PATH, "--no-config",
                                   "colour",      "--color=never",
                                   first};
  for (int i = 1; i < 32; i++) {  // links: the same text under 32 names
    args.push_back(dir + "/s" + std::to_string(i) + ".wyn");
    std::filesystem::create_hard_link(first, args.back());
  }
  Ran r = run_program("/bin/sh", args);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(count_of(r.out, "function F()"), 32u);
}
