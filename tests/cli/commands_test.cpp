// The commands at work: what a user sees on stdout, the exit codes, and
// the files written.
#include "tool_run.h"

#include <sys/stat.h>

namespace {

// The dark theme's colours, the default.
const char ESC_KEYWORD[] = "\x1b[1;38;5;111m";
const char ESC_COMMENT[] = "\x1b[38;5;114m";
const char ESC_NUMBER[] = "\x1b[38;5;209m";
const char ESC_STRING[] = "\x1b[38;5;222m";
const char ESC_FUNCTION[] = "\x1b[38;5;80m";
const char ESC_CONSTANT[] = "\x1b[38;5;213m";
const char RESET[] = "\x1b[0m";

std::string painted(const char* esc, const std::string& text) {
  return esc + text + RESET;
}

TEST_F(ToolTest, HelpAndVersion) {
  Ran help = wyn({"--help"});
  EXPECT_EQ(help.code, 0);
  for (const char* part : {"SYNOPSIS", "KEYS SCRIPT", "CONFIG FILE", "EXIT STATUS"})
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  Ran version = wyn({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, std::string("wyn ") + WYN_VERSION + "\n");
}

TEST_F(ToolTest, ColourPlainIsTheFileAsItIs) {
  std::string text = read_file(example("setup.wyn"));
  Ran r = wyn({"colour", "--color=never", example("setup.wyn")});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, text);
  // Not a terminal: auto means plain. --stats speaks on stderr only.
  Ran stats = wyn({"colour", "--stats", example("setup.wyn")});
  EXPECT_EQ(stats.out, text);
  EXPECT_NE(stats.err.find("plug-in colouring"), std::string::npos);
}

TEST_F(ToolTest, ColourAlwaysPaintsEachCategory) {
  std::string f = file("a.wyn",
                       "if (n > 10) then // done\n"
                       "\tMessageBox(\"a<b\", SEVERE);\n"
                       "endif;\n");
  Ran r = wyn({"colour", "--color=always", f});
  EXPECT_EQ(r.code, 0);
  for (std::string want :
       {painted(ESC_KEYWORD, "if"), painted(ESC_NUMBER, "10"), painted(ESC_COMMENT, "// done"),
        painted(ESC_FUNCTION, "MessageBox"), painted(ESC_STRING, "\"a<b\""),
        painted(ESC_CONSTANT, "SEVERE"), painted(ESC_KEYWORD, "endif")})
    EXPECT_NE(r.out.find(want), std::string::npos) << want;
  // Every line closes what it opened.
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    size_t last = line.rfind('\x1b');
    if (last != std::string::npos) {
      EXPECT_EQ(line.substr(last, 4), RESET) << line;
    }
  }
  // stdin gives the same.
  EXPECT_EQ(wyn({"colour", "--color=always", "-"}, read_file(f)).out, r.out);
}

TEST_F(ToolTest, ColourSeveralFilesHaveHeaders) {
  std::string a = file("a.wyn", "begin\n"), b = file("b.wyn", "end;\n");
  Ran r = wyn({"colour", "--color=never", a, b});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "==> " + a + " <==\nbegin\n\n==> " + b + " <==\nend;\n");
}

TEST_F(ToolTest, RoutinesListsDefinitionsOnly) {
  std::string f = file("r.wyn",
                       "prototype Bar(NUMBER);\n"  // a declaration: not listed
                       "function Foo(a)\n"
                       "begin\n"
                       "end;\n"
                       "int foo() {\n"
                       "}\n"
                       "function Zed(a)\n"
                       "    STRING s;\n"
                       "begin\n"
                       "end;\n");
  Ran r = wyn({"routines", f});
  EXPECT_EQ(r.code, 0);
  // The marked lines, then the whole routine.
  EXPECT_EQ(r.out,
            "    2-3         2-4     function Foo(a)\n"
            "    5-5         5-6     int foo() {\n"
            "    7-8         7-10    function Zed(a)\n");

  std::string tags = dir + "/tags";
  Ran t = wyn({"routines", "--ctags=" + tags, f});
  EXPECT_EQ(t.code, 0);
  EXPECT_EQ(t.out, "");
  std::string text = read_file(tags);
  EXPECT_EQ(text.substr(0, 17), "!_TAG_FILE_FORMAT");
  EXPECT_NE(text.find("Foo\t" + f + "\t/^function Foo(a)$/;\"\tf\tline:2\tend:4\n" + "Zed\t" + f +
                      "\t/^function Zed(a)$/;\"\tf\tline:7\tend:10\n" + "foo\t" + f +
                      "\t/^int foo() {$/;\"\tf\tline:5\tend:6\n"),
            std::string::npos)
      << text;
}

TEST_F(ToolTest, RoutinesNoneFoundIsExitOne) {
  std::string f = file("d.wyn", "prototype Foo(NUMBER);\n  function Bar()\n");
  Ran r = wyn({"routines", "--ctags=" + dir + "/tags", f});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "No routines found.\n");
  EXPECT_FALSE(std::filesystem::exists(dir + "/tags"));
}

struct ActionCase {
  const char* command;
  const char* text;
  const char* position;
  int code;
  const char* result;  // the printed buffer when code is 0
};

TEST_F(ToolTest, ExpandAndIndentAtAPosition) {
  const ActionCase cases[] = {
      // The cursor on the word, just after it, or inside it: the word's start.
      {"expand", "if\n", "1:1", 0, "if (  ) then\n\t\nendif;\n"},
      {"expand", "if\n", "1:3", 0, "if (  ) then\n\t\nendif;\n"},
      {"expand", "x;\n  while\n", "2:5", 0, "x;\n  while (  )\n  \t\n  endwhile;\n"},
      {"expand", "AskYesNo\n", "1:9", 0, "AskYesNo (szQuestion, nDefault);\n"},
      {"expand", "AskYesNo(\n", "1:1", 1, ""},  // '(' is part of the word
      {"expand", "// if\n", "1:4", 1, ""},      // inside a comment
      {"expand", "begin\n", "1:1", 1, ""},      // no such template
      {"indent", "while (x)\n", "1:10", 0, "while (x)\n\t\n"},
      {"indent", "  if (a) then\n", "1:14", 0, "  if (a) then\n  \t\n"},
      {"indent", "x = 1;\n", "1:7", 1, ""},
  };
  for (const ActionCase& c : cases) {
    std::string f = file("x.wyn", c.text);
    Ran r = wyn({c.command, f, c.position});
    std::string what = std::string(c.command) + " " + c.position + " in " + c.text;
    EXPECT_EQ(r.code, c.code) << what << r.err;
    EXPECT_EQ(r.out, c.result) << what;
    EXPECT_EQ(read_file(f), c.text) << what;
  }
}

// --in-place goes through a rename: a new file in the old one's place, its
// permission bits kept, no temporary left behind.
TEST_F(ToolTest, InPlaceReplacesTheFileWhole) {
  std::string f = file("p.wyn", "program\n  if\nendprogram\n");
  ASSERT_EQ(chmod(f.c_str(), 0640), 0);
  struct stat before;
  ASSERT_EQ(stat(f.c_str(), &before), 0);
  Ran r = wyn({"expand", "--in-place", f, "2:3"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(read_file(f), "program\n  if (  ) then\n  \t\n  endif;\nendprogram\n");
  struct stat after;
  ASSERT_EQ(stat(f.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);
  if (!under_wine) {
    EXPECT_EQ(after.st_mode & 07777, 0640u);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                          std::filesystem::directory_iterator()),
            1);
  // Through a symbolic link: the link stays, its target gets the result.
  std::string link = dir + "/link.wyn";
  std::filesystem::create_symlink(f, link);
  EXPECT_EQ(wyn({"indent", "--in-place", link, "5:1"}).code, 1);
  EXPECT_EQ(wyn({"indent", "--in-place", link, "2:15"}).code, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(read_file(f), "program\n  if (  ) then\n  \t\n  \t\n  endif;\nendprogram\n");
}

// A replay's incremental re-colouring must end where colouring the final
// text from scratch ends: otherwise the tool handed the plug-in the wrong
// lines after some edit.
TEST_F(ToolTest, EditReplayMatchesWholeColouring) {
  const char* scripts[] = {
      "goto 1:8; newline; type \"if\"; expand; type \"nCount > 10\"; down; end; type \" // ok\"",
      "goto 2:1; type \"/* open\\n\"; goto 4:1; type \"*/\"",
      "goto 1:1; type \"x = \\\"str\"; type \"ing\\\";\"; newline; type \"while\"; expand",
      "goto 2:1; type \"Message\"; type \"Box\"; type \"(\\\"hi\\\", 0x1F);\\n\"; up 2; home",
  };
  for (const char* keys : scripts) {
    std::string f = file("e.wyn", "program\nendprogram\n");
    Ran edited = wyn({"edit", "--check", "--color=always", f, "-e", keys});
    EXPECT_EQ(edited.code, 0) << keys << edited.err;
    EXPECT_NE(edited.err.find("check: the colours match"), std::string::npos) << edited.err;
    Ran plain = wyn({"edit", "--color=never", f, "-e", keys});
    std::string result = file("result.wyn", plain.out);
    Ran whole = wyn({"colour", "--color=always", result});
    EXPECT_EQ(edited.out, whole.out) << keys;
  }
}

TEST_F(ToolTest, EditFromAKeysFileWithTrace) {
  std::string f = file("e.wyn", "program\nendprogram\n");
  std::string keys = file("keys.txt",
                          "# start a loop after the first line\n"
                          "goto 1:8\n"
                          "newline\n"
                          "type \"while\"\n"
                          "expand\n"
                          "type \"i < 3\"\n");
  Ran r = wyn({"edit", "--trace", f, "--keys", keys});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "program\n\twhile ( i < 3 )\n\t\t\n\tendwhile;\nendprogram\n");
  EXPECT_NE(r.err.find(keys + ":3: Enter: _wyn_language_colors_update(1, 3), redisplay lines 1-"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(keys + ":5: expand: _wyn_language_colors_update("), std::string::npos);
  EXPECT_EQ(count_of(r.err, ":4: type '"), 5u);
  // --in-place: the result goes back to the file, nothing on stdout.
  Ran in_place = wyn({"edit", "--in-place", f, "--keys", keys});
  EXPECT_EQ(in_place.code, 0);
  EXPECT_EQ(in_place.out, "");
  EXPECT_EQ(read_file(f), r.out);
  // --html -: the result as a page on stdout.
  Ran page = wyn({"edit", "--html", "-", f, "-e", "home"});
  EXPECT_EQ(page.code, 0);
  EXPECT_NE(page.out.find("<span class=\"wyn-keyword\">endwhile</span>"), std::string::npos);
}

TEST_F(ToolTest, ConfigAddsWordsAndTemplates) {
  std::string cfg = file("wyn.cfg",
                         "# project words\n"
                         "keyword nCount function\n"
                         "keyword MY_FLAG 0; hash-size 2 101\n"
                         "template hello \"hello (&name);\"\n"
                         "comment-char \";\"\n");
  std::string f = file("c.wyn", "nCount = MY_FLAG;\nhello\n");
  Ran c = wyn({"colour", "--config", cfg, "--color=always", f});
  EXPECT_EQ(c.code, 0) << c.err;
  EXPECT_NE(c.out.find(painted(ESC_FUNCTION, "nCount")), std::string::npos);
  EXPECT_NE(c.out.find(painted(ESC_CONSTANT, "MY_FLAG")), std::string::npos);
  Ran without = wyn({"colour", "--color=always", f});
  EXPECT_EQ(without.out.find(ESC_FUNCTION), std::string::npos);
  Ran e = wyn({"expand", "--config=" + cfg, f, "2:1"});
  EXPECT_EQ(e.code, 0) << e.err;
  EXPECT_EQ(e.out, "nCount = MY_FLAG;\nhello (name);\n");
}

struct UsualCase {
  const char* what;
  std::vector<std::string> args;  // $F: a script, $E: an empty one, $D: the scratch folder
  const char* input;              // on stdin
  int code;
  const char* out;  // part of stdout ("" for none at all, null: not checked)
  const char* err;  // part of stderr (the same)
};

// What users of other colourisers expect: stdin without a FILE, an empty
// script is a script, one bad file among several does not stop the rest,
// --colour spelt either way, and a stale replay is a failure.
TEST_F(ToolTest, BehavesAsUsersExpect) {
  std::string f = file("f.wyn", "begin\nend;\n"), e = file("e.wyn", "");
  std::string stale = file("s.wyn", "program\n  x = 1;\n  y = 2;\n  z = 3;\nendprogram\n");
  const UsualCase cases[] = {
      {"no FILE reads stdin", {"colour", "--color=never"}, "begin\n", 0, "begin\n", ""},
      {"an empty file", {"colour", "$E"}, "", 0, "", ""},
      {"an empty stdin", {"colour", "-"}, "", 0, "", ""},
      {"empty, no routines", {"routines", "$E"}, "", 1, nullptr, nullptr},
      {"--colour=always", {"colour", "--colour=always", "$F"}, "", 0, ESC_KEYWORD, ""},
      {"--colour before FILE", {"colour", "--colour", "$F"}, "", 0, ESC_KEYWORD, ""},
      {"--colour WHEN", {"colour", "--colour", "never", "$F"}, "", 0, "begin\nend;\n", ""},
      {"one bad among good",
       {"colour", "--color=never", "$F", "$D/missing.wyn", "$E", "$F"},
       "",
       2,
       "end;\n\n==> ",
       "missing.wyn: No such file"},
      {"a page without the bad one",
       {"colour", "--html", "-", "$D/missing.wyn", "$F"},
       "",
       2,
       "<span class=\"wyn-keyword\">begin</span>",
       "missing.wyn: No such file"},
      {"a stale replay",
       {"edit", "--check", "$D/s.wyn", "-e", "goto 2:1; type \"/* \"; goto 4:1; type \"*/\""},
       "",
       1,
       "*/  z = 3;",
       "2 line(s) differ"},
  };
  for (const UsualCase& c : cases) {
    Ran r = wyn(filled(c.args, {{"$F", f}, {"$E", e}, {"$D", dir}}), c.input);
    EXPECT_EQ(r.code, c.code) << c.what << ": " << r.err;
    for (const auto& [want, got] :
         {std::pair<const char*, const std::string&>{c.out, r.out}, {c.err, r.err}}) {
      if (want == nullptr) continue;
      if (*want == 0) {
        EXPECT_EQ(got, "") << c.what;
      } else {
        EXPECT_NE(got.find(want), std::string::npos) << c.what << ": " << got;
      }
    }
  }
  EXPECT_EQ(read_file(stale), "program\n  x = 1;\n  y = 2;\n  z = 3;\nendprogram\n");
}

// Every "wyn ..." line of the README's tool section runs as written, from
// a copy of the examples in the scratch folder.
TEST_F(ToolTest, ReadmeExamplesWork) {
  std::filesystem::copy(std::string(WYN_SOURCE_DIR) + "/examples", dir + "/examples");
  std::istringstream readme(read_file(std::string(WYN_SOURCE_DIR) + "/README.md"));
  size_t ran = 0;
  for (std::string line; std::getline(readme, line);) {
    if (line.compare(0, 8, "    wyn ") != 0) continue;
    std::string command = line.substr(8, line.find('#') - 8);
    Ran r = run_program("/bin/sh", {"-c", "cd '" + dir + "' && '" WYN_TOOL_PATH "' " + command});
    EXPECT_EQ(r.code, 0) << line << "\n" << r.err;
    ran++;
  }
  EXPECT_GE(ran, 5u);
}

TEST_F(ToolTest, InfoShowsTheRegisteredFunctions) {
  Ran r = wyn({"info"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("long _wyn_language_colors_update long long"), std::string::npos);
  EXPECT_NE(r.out.find("bound to extension: .wyn"), std::string::npos);
  // Colours as a page writes them: the editor's 0xff0000 is blue.
  EXPECT_NE(r.out.find("colour of keywords   #0000ff\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("colour of comments   #008000\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("0x"), std::string::npos) << r.out;
}

}  // namespace
