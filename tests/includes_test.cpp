// #include lines as scripts written on Windows have them: found only in
// code, resolved in any letter case and with backslashes, beside the
// script first and then in the include folders in order; missing files
// and cycles warned about, never followed round.
#ifndef _WIN32  // the scratch folders are made with POSIX calls

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "includes.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;

class Includes : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "wyn-includes-XXXXXX").string();
    ASSERT_NE(mkdtemp(&t[0]), nullptr);
    dir = t + "/";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  void write(const std::string& name, const std::string& text) {
    fs::create_directories(fs::path(dir + name).parent_path());
    std::ofstream(dir + name, std::ios::binary) << text;
  }
  // Reads a file as all code: what these cases are about is the files,
  // not the colours.
  wyn::IncludeReader plain = [](const std::string& path, std::string* text,
                                std::vector<signed char>* cats) {
    *text = support::read_file(path);
    cats->clear();
    return fs::is_regular_file(path);
  };
  std::string dir;
};

TEST(FindIncludes, OnlyDirectivesInCode) {
  const signed char C = wyn::CAT_COMMENT, S = wyn::CAT_STRING, N = wyn::CAT_NONE;
  struct Case {
    const char* what;
    std::string text;
    std::vector<signed char> cats;  // the first bytes'; the rest are code
    std::vector<std::string> want;
  } cases[] = {
      {"quoted and angled, CR LF, indented, blanks after #",
       "#include \"a.h\"\r\n  #include <B.H>\r\n\t#  include \"c\\\\d.wyn\"\r\n",
       {},
       {"a.h", "B.H", "c\\\\d.wyn"}},
      {"behind a byte-order mark", "\xEF\xBB\xBF#include \"bom.h\"\n", {}, {"bom.h"}},
      {"commented out", "#include \"x.h\"\n", {C}, {}},
      {"in a string", "#include \"x.h\"\n", {S}, {}},
      {"a later byte's colour does not matter", "#include \"x.h\"\n", {N, C}, {"x.h"}},
      {"not the directive",
       "#includes \"x.h\"\n#define A \"x.h\"\nx = 1; #include \"y.h\"\n",
       {},
       {}},
      {"empty or unclosed names",
       "#include \"\"\n#include \"open\n#include <open\n#include\n",
       {},
       {}},
      {"unclosed on its line, closed on the next", "#include \"a\n\"\n", {}, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> got;
    for (const wyn::IncludeLine& inc : wyn::find_includes(c.text, c.cats)) {
      got.push_back(inc.name);
      EXPECT_EQ(c.text.substr(inc.from, inc.to - inc.from), inc.name) << c.what;
      EXPECT_EQ(c.text[inc.at], '#') << c.what;
    }
    EXPECT_EQ(got, c.want) << c.what;
  }
}

TEST_F(Includes, ResolvesBesideTheScriptThenInTheFoldersInOrder) {
  write("proj/setup.h", "");
  write("proj/Sub/Dialogs.H", "");
  write("proj/sub2/x.h", "");  // a file beside the wanted one differs in case only
  write("proj/sub2/X.h", "");
  write("inc1/common.h", "1");
  write("inc2/common.h", "2");
  write("inc2/only2.h", "");
  fs::create_directories(dir + "inc1/dir.h");
  std::string proj = dir + "proj/";
  // A folder that is not there is looked in as any other.
  std::vector<std::string> dirs = {dir + "inc1", dir + "inc2/", dir + "absent"};
  struct Case {
    std::string name;
    std::string want;  // "" not found
  } cases[] = {
      {"setup.h", proj + "setup.h"},
      {"SETUP.H", proj + "setup.h"},
      {"sub\\dialogs.h", proj + "Sub/Dialogs.H"},
      {"SUB\\\\DIALOGS.H", proj + "Sub/Dialogs.H"},
      {"./sub/../setup.h", proj + "Sub/../setup.h"},
      {"sub2/X.h", proj + "sub2/X.h"},  // the exact name wins
      {"SUB2/x.H", proj + "sub2/X.h"},  // else the first in byte order
      {"common.h", dir + "inc1/common.h"},
      {"ONLY2.H", dir + "inc2/only2.h"},
      {"dir.h", ""},
      {"missing.h", ""},
      {"", ""},
      {"\\", ""},
      {"C:\\Program Files\\x.h", ""},
      {dir + "inc2/only2.h", dir + "inc2/only2.h"},
  };
  // Folders listed afresh, or once for every name as a run over many
  // scripts lists them: the same files found.
  wyn::FolderListings listings;
  for (const Case& c : cases) {
    EXPECT_EQ(wyn::resolve_include(c.name, proj, dirs), c.want) << c.name;
    EXPECT_EQ(wyn::resolve_include(c.name, proj, dirs, &listings), c.want) << c.name;
  }
  // The script's folder given without its final '/'.
  EXPECT_EQ(wyn::resolve_include("SETUP.H", dir + "proj", {}), proj + "setup.h");
  EXPECT_EQ(wyn::resolve_include("SETUP.H", dir + "proj", {}, &listings), proj + "setup.h");
}

TEST_F(Includes, WarnsOfMissingFilesAndCyclesAtTheirLines) {
  write("a.wyn", "#include \"b.h\"\n#include \"NONE.H\"\n");
  write("b.h", "#include \"sub\\c.h\"\n");
  write("sub/c.h", "#include \"../A.WYN\"\n");
  write("self.wyn", "\n#include \"SELF.WYN\"\n");
  write("loop.wyn", "#include \"l1.h\"\n");  // a cycle it does not sit on
  write("l1.h", "#include \"l2.h\"\n");
  write("l2.h", "#include \"L1.h\"\n");
  write("fine.wyn", "#include \"d1.h\"\n#include \"d1.h\"\n#include \"d2.h\"\n");
  write("d1.h", "#include \"d2.h\"\n");  // reached twice: no cycle
  write("d2.h", "");
  // A chain longer than is followed.
  for (int i = 0; i < wyn::kIncludeDepth + 8; i++)
    write("deep" + std::to_string(i) + ".h", "#include \"deep" + std::to_string(i + 1) + ".h\"\n");
  write("deep.wyn", "#include \"deep0.h\"\n");
  struct Case {
    const char* file;
    std::vector<std::string> want;  // "line:col message"
  } cases[] = {
      {"a.wyn",
       {"1:10 include cycle: " + dir + "a.wyn -> " + dir + "b.h -> " + dir + "sub/c.h -> " + dir +
            "sub/../a.wyn",
        "2:10 include file 'NONE.H' not found (searched " + dir + ", /inc)"}},
      {"self.wyn", {"2:10 include cycle: " + dir + "self.wyn -> " + dir + "self.wyn"}},
      {"loop.wyn", {"1:10 include cycle: " + dir + "l1.h -> " + dir + "l2.h -> " + dir + "l1.h"}},
      {"fine.wyn", {}},
      {"deep.wyn", {}},
  };
  wyn::FolderListings listings;
  for (wyn::FolderListings* kept : {(wyn::FolderListings*)nullptr, &listings})
    for (const Case& c : cases) {
      std::string path = dir + c.file, text = support::read_file(path);
      std::vector<std::string> got;
      for (const wyn::Diagnostic& d : wyn::check_includes(path, text, {}, {"/inc"}, plain, kept)) {
        EXPECT_EQ(d.severity, wyn::Diagnostic::WARNING) << c.file;
        got.push_back(std::to_string(d.line) + ":" + std::to_string(d.col) + " " + d.message);
      }
      EXPECT_EQ(got, c.want) << c.file << (kept != nullptr ? " (listings kept)" : "");
    }
}

TEST_F(Includes, FilesIncludedNearestFirstEachOnce) {
  write("main.wyn", "#include \"a.h\"\n#include \"b.h\"\n");
  write("a.h", "#include \"c.h\"\n#include \"B.H\"\n");
  write("b.h", "#include \"main.wyn\"\n");
  write("c.h", "");
  std::string text = support::read_file(dir + "main.wyn");
  std::vector<std::string> got =
      wyn::included_files(dir + "main.wyn", wyn::find_includes(text, {}), {}, plain);
  EXPECT_EQ(got, (std::vector<std::string>{dir + "a.h", dir + "b.h", dir + "c.h"}));
}

// Following the includes again reads only what changed on disk, and
// says what a fresh read would.
TEST_F(Includes, CachedReaderReadsOnlyFilesChangedSince) {
  write("main.wyn", "#include \"a.h\"\n");
  write("a.h", "#include \"b.h\"\n");
  write("b.h", "");
  std::vector<std::string> reads;
  wyn::IncludeReader counting = [&](const std::string& path, std::string* text,
                                    std::vector<signed char>* cats) {
    reads.push_back(path.substr(dir.size()));
    return plain(path, text, cats);
  };
  wyn::IncludeCache cache;
  wyn::IncludeReader cached = cache.reader(counting);
  struct Step {
    const char* what;
    std::function<void()> change;
    std::vector<std::string> reads;
    size_t warnings;
  };
  const Step steps[] = {
      {"first time", [] {}, {"a.h", "b.h"}, 0},
      {"nothing changed", [] {}, {}, 0},
      {"b.h grew into a cycle",
       [&] { write("b.h", "#include \"MAIN.WYN\"\n"); },
       {"b.h", "main.wyn"},
       2},  // one at each script's include line
      {"unchanged again", [] {}, {}, 2},
      {"b.h gone", [&] { fs::remove(dir + "b.h"); }, {}, 1},  // now not found
      {"forgotten", [&] { cache.clear(); }, {"a.h"}, 1},
  };
  std::string text = support::read_file(dir + "main.wyn");
  for (const Step& step : steps) {
    step.change();
    reads.clear();
    size_t warnings = wyn::check_includes(dir + "main.wyn", text, {}, {}, cached).size() +
                      wyn::check_includes(dir + "a.h", "#include \"b.h\"\n", {}, {}, cached).size();
    EXPECT_EQ(reads, step.reads) << step.what;
    EXPECT_EQ(warnings, step.warnings) << step.what;
  }
}

TEST(ConfigIncludeDirs, RelativeToTheConfigurationsFolder) {
  struct Case {
    const char* text;
    std::vector<std::string> want;
  } cases[] = {
      {"include-dir inc\ninclude-dir \"/abs/x\"\nkeyword A 1\ninclude-dir ../up\n",
       {"/p/q/inc", "/abs/x", "/p/q/../up"}},
      {"include-dir\ninclude-dir a b\n", {}},  // malformed entries: applying says so
      {"include-dir \"open\n", {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wyn::config_include_dirs(c.text, "/p/q/.wyn.cfg"), c.want) << c.text;
}

}  // namespace

#endif
