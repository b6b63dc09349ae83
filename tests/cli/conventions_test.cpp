// What users of other highlighters and tag programs expect of the tool:
// terminal views, themes readable on their background, encodings, the
// vocabulary lists, routine extents and tags that real tag readers take,
// and the project's .wyn.cfg.
#include "tool_run.h"

#include <math.h>

#include <regex>

namespace {

// Runs wyn from folder cwd with extra environment settings ("NAME=VALUE").
Ran wyn_in(const std::string& cwd, const std::vector<std::string>& env,
           const std::vector<std::string>& args) {
  std::vector<std::string> all = {"-C", cwd};
  all.insert(all.end(), env.begin(), env.end());
  all.push_back(WYN_TOOL_PATH);
  all.insert(all.end(), args.begin(), args.end());
  return run_program("/usr/bin/env", all);
}

// Colours file f with extra args under extra environment settings: exit 0
// and part somewhere in what is printed.
void expect_colour_shows(const std::string& cwd, const std::string& f,
                         const std::vector<std::string>& env, const std::vector<std::string>& args,
                         const std::string& part, const std::string& what) {
  std::vector<std::string> all = {"colour", f};
  all.insert(all.end(), args.begin(), args.end());
  Ran r = wyn_in(cwd, env, all);
  EXPECT_EQ(r.code, 0) << what << ": " << r.err;
  EXPECT_NE(r.out.find(part), std::string::npos) << what << ": " << r.out;
}

// {====== contrast, as WCAG defines it
double channel(int v) {
  double c = v / 255.0;
  return c <= 0.04045 ? c / 12.92 : pow((c + 0.055) / 1.055, 2.4);
}

double luminance(int r, int g, int b) {
  return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b);
}

double contrast(unsigned a, unsigned b) {
  double la = luminance(a >> 16, (a >> 8) & 0xFF, a & 0xFF);
  double lb = luminance(b >> 16, (b >> 8) & 0xFF, b & 0xFF);
  return la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
}

// An xterm 256-colour index as the RGB every terminal gives it.
unsigned xterm_rgb(int i) {
  static const int level[] = {0, 95, 135, 175, 215, 255};
  if (i >= 232) {
    unsigned v = (unsigned)(8 + 10 * (i - 232));
    return v << 16 | v << 8 | v;
  }
  i -= 16;
  return (unsigned)level[i / 36] << 16 | (unsigned)level[i / 6 % 6] << 8 | (unsigned)level[i % 6];
}
// }======

const char sample[] =
    "/* totals */\n"
    "if (nSize >= 0x10 && szName != \"<none>\") then\n"
    "\tMessageBox(\"a & b\", WARNING);   // tell\n"
    "endif;\n";

TEST_F(ToolTest, TerminalViews) {
  std::string f = file("v.wyn", "if (a) then\n\tb = 1;\nendif;\n");
  struct {
    std::vector<std::string> args;
    const char* out;
  } cases[] = {
      {{"-n"}, "     1  if (a) then\n     2  \tb = 1;\n     3  endif;\n"},
      {{"--line-numbers", "--tab-width=4"}, "     1  if (a) then\n     2      b = 1;\n"},
      {{"--tab-width=3"}, "if (a) then\n   b = 1;\n"},
      {{"--legend"},
       "comment  constant or system variable  reserved word  built-in function  string  "
       "number  operator\nif (a)"},
      {{"--color=always", "--theme=light"}, "\x1b[1;38;5;19mif\x1b[0m"},
      {{"--color=always", "--theme=dark"}, "\x1b[1;38;5;111mif\x1b[0m"},
      {{"--color=always", "-n"}, "\x1b[38;5;247m     1  \x1b[0m\x1b[1;38;5;111mif"},
  };
  for (const auto& c : cases) expect_colour_shows(dir, f, {}, c.args, c.out, c.args[0]);
  // The shown result of an edit takes the same views; plain, it is the file.
  EXPECT_EQ(wyn({"indent", "-n", f, "1:12"}).out.substr(0, 22), "     1  if (a) then\n  ");
  EXPECT_EQ(wyn({"edit", f, "-e", "home"}).out, read_file(f));
  // A light background said by COLORFGBG picks the light theme.
  EXPECT_NE(wyn_in(dir, {"COLORFGBG=0;15"}, {"colour", "--color=always", f})
                .out.find("\x1b[1;38;5;19mif"),
            std::string::npos);
}

// Every colour of both themes, legend and line numbers included, reads at
// 4.5:1 at least on the background its theme is for.
TEST_F(ToolTest, ThemesAreReadableOnTheirBackground) {
  std::string f = file("s.wyn", sample);
  const struct {
    const char* theme;
    unsigned background;
  } themes[] = {{"dark", 0x000000}, {"light", 0xffffff}};
  for (const auto& t : themes) {
    Ran r =
        wyn({"colour", "--color=always", "--legend", "-n", std::string("--theme=") + t.theme, f});
    ASSERT_EQ(r.code, 0) << r.err;
    std::regex sgr("\x1b\\[(?:1;)?38;5;([0-9]+)m");
    size_t seen = 0;
    for (std::sregex_iterator m(r.out.begin(), r.out.end(), sgr), end; m != end; ++m, seen++) {
      int index = std::stoi((*m)[1]);
      EXPECT_GE(contrast(xterm_rgb(index), t.background), 4.5) << t.theme << " " << index;
    }
    EXPECT_GE(seen, 8u) << t.theme;  // seven categories and the line numbers
  }
}

// The plug-in works on the file's bytes; only what is shown is decoded, and
// a terminal gets its locale's charset. Control characters reach a
// terminal only as ^X. Plain text for a pipe is the file's bytes unless
// --encoding asks for UTF-8.
TEST_F(ToolTest, DisplayEncodings) {
  const std::string always = "--color=always";
  struct {
    const char* what;
    const char* bytes;
    std::vector<std::string> env, args;
    const char* out;
  } cases[] = {
      {"Windows-1252 when not UTF-8",
       "s = \"caf\xe9 \x80\";\n",
       {"LC_ALL=C.UTF-8"},
       {always},
       "\x1b[38;5;222m\"caf\xc3\xa9 \xe2\x82\xac\"\x1b[0m"},
      {"UTF-8 as it is",
       "s = \"caf\xc3\xa9\";\n",
       {"LC_ALL=C.UTF-8"},
       {always},
       "\x1b[38;5;222m\"caf\xc3\xa9\"\x1b[0m"},
      {"GBK named",
       "s = \"\xd6\xd0\";\n",
       {"LC_ALL=C.UTF-8"},
       {always, "--encoding=GBK"},
       "\x1b[38;5;222m\"\xe4\xb8\xad\"\x1b[0m"},
      {"ASCII locale",
       "s = \"caf\xc3\xa9\";\n",
       {"LC_ALL=C"},
       {always},
       "\x1b[38;5;222m\"caf?\"\x1b[0m"},
      {"escape shown", "// \x1b[2J\n", {}, {always}, "// ^[[2J"},
      {"C1 control shown",
       "// \x9b"
       "2J \xa9\n",
       {"LC_ALL=C.UTF-8"},
       {always, "--encoding=latin1"},
       "// M-^[2J \xc2\xa9"},
      {"a pipe gets the bytes", "// caf\xc3\xa9 \x1b\n", {"LC_ALL=C"}, {}, "// caf\xc3\xa9 \x1b\n"},
      {"a pipe gets the bytes, any", "// caf\xe9\n", {"LC_ALL=C.UTF-8"}, {}, "// caf\xe9\n"},
      {"decoded when asked",
       "// caf\xe9\n",
       {"LC_ALL=C"},
       {"--encoding=latin1"},
       "// caf\xc3\xa9\n"},
  };
  for (const auto& c : cases) {
    // A Windows console is given UTF-8 whatever the locale says.
    if (under_wine && !strcmp(c.what, "ASCII locale")) continue;
    expect_colour_shows(dir, file("e.wyn", c.bytes), c.env, c.args, c.out, c.what);
  }
}

TEST_F(ToolTest, InfoListsTheVocabulary) {
  std::string cfg = file("w.cfg", "keyword MYWORD function\ntemplate myt \"a\\n\\tb&\"\n");
  struct {
    std::vector<std::string> args;
    std::vector<std::string> has, lacks;
  } cases[] = {
      {{"--keywords=keyword"}, {"if", "endif", "STRING"}, {"MessageBox", "WARNING"}},
      {{"--keywords=1"}, {"if"}, {"MessageBox"}},
      {{"--keywords=function"}, {"MessageBox"}, {"if"}},
      {{"--keywords=constant"}, {"WARNING"}, {"if"}},
      {{"--keywords"}, {"if", "MessageBox", "WARNING"}, {}},
      {{"--keywords=2", "--config", cfg}, {"MYWORD"}, {}},
      {{"--templates", "--config", cfg}, {"myt\ta\\n\\tb&"}, {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"info"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Ran r = wyn(args);
    EXPECT_EQ(r.code, 0) << c.args[0] << ": " << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    auto has = [&](const std::string& w) {
      return std::find(lines.begin(), lines.end(), w) != lines.end();
    };
    for (const std::string& w : c.has) EXPECT_TRUE(has(w)) << c.args[0] << ": " << w;
    for (const std::string& w : c.lacks) EXPECT_FALSE(has(w)) << c.args[0] << ": " << w;
    EXPECT_FALSE(lines.empty());
  }
}

// {====== routines
TEST_F(ToolTest, RoutineExtents) {
  struct {
    const char* what;
    const char* text;
    const char* out;  // stdout
    int code;
  } cases[] = {
      {"to its end;", "function A(a)\nbegin\n    if (a) then\n    endif;\nend;\n",
       "    1-2         1-5     function A(a)\n", 0},
      {"blanks before ';', endif passed over", "function A()\nbegin\nendif;\nend ;\nx;\n",
       "    1-2         1-4     function A()\n", 0},
      {"no end: to the line before the next", "function A()\nbegin\n\nfunction B()\nbegin\nend;\n",
       "    1-2         1-3     function A()\n    4-5         4-6     function B()\n", 0},
      {"no end at all: to the last line", "function A()\nbegin\nx;\n\n",
       "    1-2         1-4     function A()\n", 0},
      {"indented end is no end of a header in column 1", "function A()\nbegin\n  end;\nx;\n",
       "    1-2         1-4     function A()\n", 0},
      {"reserved words are statements",
       "if (a) then\nendif;\nwhile(b)\nendwhile;\nfunction C()\nbegin\nend;\n",
       "    5-6         5-7     function C()\n", 0},
      {"only statements", "if (a) then\nendif;\n", "", 1},
  };
  for (const auto& c : cases) {
    Ran r = wyn({"routines", file("r.wyn", c.text)});
    EXPECT_EQ(r.code, c.code) << c.what << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.what;
    if (c.code == 1) {
      EXPECT_EQ(r.err, "No routines found.\n") << c.what;
    }
  }
  // --marks shows what the plug-in marked, statements included.
  Ran m = wyn({"routines", "--marks", file("m.wyn", "if (a) then\nendif;\n")});
  EXPECT_EQ(m.code, 0);
  EXPECT_EQ(m.out, "    1-1     if (a) then\n");
}

TEST_F(ToolTest, RoutinesOfManyFiles) {
  std::filesystem::create_directories(dir + "/p/sub");
  std::filesystem::create_directories(dir + "/p/.hidden");
  write_file(dir + "/p/b.wyn", "function B()\nbegin\nend;\n");
  write_file(dir + "/p/sub/a.wyn", "function A()\nbegin\nend;\n");
  write_file(dir + "/p/.hidden/h.wyn", "function H()\nbegin\nend;\n");
  write_file(dir + "/p/none.wyn", "x = 1;\n");
  write_file(dir + "/p/note.txt", "function T()\n");
  Ran r = wyn_in(dir, {}, {"routines", "-R", "p"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "p/b.wyn:    1-2         1-3     function B()\n"
            "p/sub/a.wyn:    1-2         1-3     function A()\n");
  EXPECT_EQ(r.err, "wyn: p/none.wyn: No routines found.\n");
  std::filesystem::create_directories(dir + "/empty/sub");
  Ran none = wyn_in(dir, {}, {"routines", "-R", "empty"});
  EXPECT_EQ(none.code, 1);
  EXPECT_EQ(none.err, "wyn: no .wyn scripts below empty\n");
  // One bad file: the others are listed, the run fails at the end.
  Ran bad = wyn_in(dir, {}, {"routines", "p/b.wyn", "p/missing.wyn"});
  EXPECT_EQ(bad.code, 2);
  EXPECT_NE(bad.out.find("function B()"), std::string::npos);
}

// A walk goes 64 folders deep; what lies further down is named, not
// passed over without a word, and the run fails at the end.
TEST_F(ToolTest, RoutinesSayWhatLiesTooDeep) {
  std::string folder = "p";
  for (int depth = 1; depth <= 66; depth++) {
    folder += "/d";
    std::filesystem::create_directories(dir + "/" + folder);
    write_file(dir + "/" + folder + "/s.wyn", "function F()\nbegin\nend;\n");
  }
  Ran r = wyn_in(dir, {}, {"routines", "-R", "p"});
  EXPECT_EQ(r.code, 2) << r.err;
  EXPECT_EQ(count_of(r.out, "function F()"), 64u);
  std::string first_unsearched = "p";
  for (int depth = 1; depth <= 65; depth++) first_unsearched += "/d";
  EXPECT_EQ(r.err, "wyn: " + first_unsearched + ": not searched: more than 64 folders deep\n");
}

// Each script is done with before the next is read: 64 MiB of scripts are
// listed, and their tags written, in much less memory than that.
TEST_F(ToolTest, RoutinesOfManyFilesHoldOneText) {
  SKIP_UNDER_WINE("an address-space limit on the Wine loader");
  std::string body;
  while (body.size() < (2u << 20)) body += "x = 1;\n";
  std::filesystem::create_directories(dir + "/p");
  std::string first = file("p/s0.wyn", "function F()\nbegin\n" + body + "end;\n");
  for (int i = 1; i < 32; i++)  // links: the same text under 32 names
    std::filesystem::create_hard_link(first, dir + "/p/s" + std::to_string(i) + ".wyn");
  for (std::string tags : {"", "--ctags="}) {
    std::vector<std::string> args = {
        "-c", "ulimit -v 40960 && exec \"$0\" \"$@\"", WYN_TOOL_PATH, "routines", "-R", dir + "/p"};
    if (!tags.empty()) args.push_back(tags += dir + "/p.tags");
    Ran r = run_program("/bin/sh", args);
    EXPECT_EQ(r.code, 0) << tags << ": " << r.err;
    EXPECT_EQ(count_of(r.out, "function F()"), tags.empty() ? 32u : 0u) << tags;
  }
  EXPECT_EQ(count_of(read_file(dir + "/p.tags"), "\nF\t"), 32u);
}

// Tags in the extended format: a search pattern for the header, kind f,
// line: and end:. Names stay relative, to the tags file's folder.
TEST_F(ToolTest, TagsForTagReaders) {
  std::filesystem::create_directories(dir + "/src");
  std::filesystem::create_directories(dir + "/out");
  write_file(dir + "/src/a.wyn",
             "// a/b \\ c\n"
             "function Alpha(a)  // a/b\\c\n"
             "begin\n"
             "end;\n"
             "if (x) then\n"
             "endif;\n"
             "function Beta()\n"
             "begin\n"
             "end;\n");
  Ran r = wyn_in(dir, {}, {"routines", "--ctags=-", "src/a.wyn"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("!_TAG_FILE_FORMAT\t2\t"), std::string::npos);
  EXPECT_NE(r.out.find("\nAlpha\tsrc/a.wyn\t/^function Alpha(a)  \\/\\/ a\\/b\\\\c$/;\"\tf\tline:2"
                       "\tend:4\nBeta\tsrc/a.wyn\t/^function Beta()$/;\"\tf\tline:7\tend:9\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("\nif\t"), std::string::npos);

  // A tags file elsewhere names the script from its own folder.
  ASSERT_EQ(wyn_in(dir, {}, {"routines", "--ctags=out/tags", "src/a.wyn"}).code, 0);
  EXPECT_NE(read_file(dir + "/out/tags").find("Beta\t../src/a.wyn\t"), std::string::npos);

  ASSERT_EQ(wyn_in(dir, {}, {"routines", "--ctags", "-R", "src"}).code, 0);
  Ran found = run_program("/usr/bin/env", {"-C", dir, "readtags", "-t", "tags", "-e", "Beta"});
  ASSERT_EQ(found.code, 0) << "readtags is missing: run scripts/install-tool-test-deps.sh";
  EXPECT_EQ(found.out, "Beta\tsrc/a.wyn\t/^function Beta()$/;\"\tkind:f\tend:9\n");

  // An editor jumps to the header by the pattern.
  std::string vi = access("/usr/bin/nvim", X_OK) == 0 ? "nvim" : "vim";
  Ran jumped = run_program(
      "/usr/bin/env",
      {"-C", dir, vi, "-es", "-u", "NONE", "-i", "NONE", "-c", "set tags=tags", "-c", "tag Alpha",
       "-c", "call writefile([expand('%') . ':' . line('.')], 'where')", "-c", "qa!"});
  EXPECT_EQ(read_file(dir + "/where"), "src/a.wyn:2\n") << vi << ": " << jumped.err;
}
// }======

// The nearest .wyn.cfg applies, no higher than a folder with .git, before
// any --config; --no-config leaves it out. The template zz says which
// configuration the plug-in took last.
TEST_F(ToolTest, ProjectConfiguration) {
  for (const char* folder : {"/p/a/b", "/p/.git", "/q/r"})
    std::filesystem::create_directories(dir + folder);
  write_file(dir + "/.wyn.cfg", "template zz \"above the repository&\"\n");
  write_file(dir + "/p/.wyn.cfg", "template zz \"project&\"\n");
  write_file(dir + "/p/a/.wyn.cfg", "template zz \"folder&\"\n");
  write_file(dir + "/q/.wyn.cfg", "template zz \"q&\"\n");
  write_file(dir + "/opt.cfg", "template zz \"option&\"\n");
  for (const char* f : {"/p/a/b/x.wyn", "/p/y.wyn", "/q/r/z.wyn"}) write_file(dir + f, "zz\n");
  struct {
    const char* cwd;
    std::vector<std::string> args;
    const char* out;
  } cases[] = {
      {"", {"expand", "p/a/b/x.wyn", "1:3"}, "folder\n"},
      {"", {"expand", "p/y.wyn", "1:3"}, "project\n"},
      {"/p/a/b", {"expand", "../../y.wyn", "1:3"}, "project\n"},
      {"", {"expand", "q/r/z.wyn", "1:3"}, "q\n"},
      {"", {"expand", "--config", "opt.cfg", "p/y.wyn", "1:3"}, "option\n"},
  };
  for (const auto& c : cases) {
    Ran r = wyn_in(dir + c.cwd, {}, c.args);
    EXPECT_EQ(r.out, c.out) << c.args[1] << ": " << r.err;
  }
  // Standard input is a file of the current folder.
  Ran in = run_program("/usr/bin/env", {"-C", dir + "/p/a", WYN_TOOL_PATH, "expand", "-", "1:3"},
                       "zz\n");
  EXPECT_EQ(in.out, "folder\n") << in.err;
  EXPECT_EQ(wyn_in(dir, {}, {"expand", "--no-config", "p/y.wyn", "1:3"}).code, 1);
  // Each file of one run is coloured with its own project's words.
  write_file(dir + "/p/.wyn.cfg", "keyword ZWORD keyword\n");
  write_file(dir + "/p/w.wyn", "ZWORD\n");
  write_file(dir + "/q/r/w.wyn", "ZWORD\n");
  Ran both = wyn_in(dir, {}, {"colour", "--color=always", "p/w.wyn", "q/r/w.wyn"});
  EXPECT_EQ(count_of(both.out, "\x1b[1;38;5;111mZWORD"), 1u) << both.out;
}

// The shipped optional word list is a valid configuration that adds words.
TEST_F(ToolTest, ExtraWordsConfiguration) {
  std::string f = file("x.wyn", "prototype cdecl BOOL F(BYVAL WSTRING);\n");
  Ran without = wyn({"colour", "--color=always", f});
  Ran with = wyn({"colour", "--color=always", "--config", example("extra-words.cfg"), f});
  EXPECT_EQ(with.code, 0) << with.err;
  for (const char* word : {"cdecl", "BYVAL", "WSTRING"}) {
    std::string painted = std::string("\x1b[1;38;5;111m") + word;
    EXPECT_EQ(without.out.find(painted), std::string::npos) << word;
    EXPECT_NE(with.out.find(painted), std::string::npos) << word;
  }
}

}  // namespace
