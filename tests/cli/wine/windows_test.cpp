// wyn.exe under Wine: what only Windows has (devices by name, drive-letter
// paths, byte-exact CR LF through the binary standard streams), and every
// example giving the same results as the Linux tool.
#include <sys/stat.h>

#include "tool_run.h"

namespace {

class WindowsTest : public ToolTest {
 protected:
  // The scratch folder as Windows names it: Wine shows / as drive Z:.
  std::string windows_dir() {
    std::string d = "Z:" + dir;
    for (char& c : d)
      if (c == '/') c = '\\';
    return d;
  }
};

Ran linux_wyn(const std::vector<std::string>& args, const std::string& input = "") {
  return run_program(WYN_LINUX_TOOL_PATH, args, input);
}

TEST_F(WindowsTest, ExamplesGiveWhatTheLinuxToolGives) {
  // COMMAND ARGS...; $E is the example.
  const std::vector<std::vector<std::string>> commands = {
      {"colour", "--html", "-", "$E"}, {"routines", "$E"},        {"routines", "--marks", "$E"},
      {"expand", "$E", "16:5"},        {"indent", "$E", "16:39"},
  };
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(WYN_SOURCE_DIR) + "/examples")) {
    if (entry.path().extension() != ".wyn") continue;
    for (const auto& command : commands) {
      std::vector<std::string> args = filled(command, {{"$E", entry.path().string()}});
      SCOPED_TRACE(entry.path().filename().string() + ": " + command[0]);
      Ran win = wyn(args), lin = linux_wyn(args);
      EXPECT_EQ(win.code, lin.code);
      EXPECT_EQ(win.out, lin.out);
      EXPECT_EQ(win.err.empty(), lin.err.empty()) << win.err;
    }
  }
}

TEST_F(WindowsTest, CrLfKeptByteExact) {
  const std::string script = "function F(a)\r\nbegin\r\n    while\r\nend;\r\n";
  std::string path = file("crlf.wyn", script);
  struct Case {
    std::vector<std::string> args;
    bool from_stdin;
  };
  const Case cases[] = {
      {{"colour", "--color=never"}, true}, {{"colour", "--color=never", "$F"}, false},
      {{"expand", "$F", "3:10"}, false},   {{"indent", "$F", "2:6"}, false},
      {{"routines", "$F"}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = filled(c.args, {{"$F", path}});
    SCOPED_TRACE(args[0]);
    Ran win = wyn(args, c.from_stdin ? script : ""),
        lin = linux_wyn(args, c.from_stdin ? script : "");
    EXPECT_EQ(win.code, lin.code);
    EXPECT_EQ(win.out, lin.out);
  }
  // Written back in place, the file keeps its CR LF too.
  ASSERT_EQ(wyn({"expand", "--in-place", path, "3:10"}).code, 0);
  std::string back = read_file(path);
  EXPECT_EQ(count_of(back, "\r\n"), count_of(back, "\n"));
  EXPECT_NE(back, script);
}

// --in-place on a file with a second name writes into the file itself, so
// that both names keep one text, and leaves nothing beside it; a read-only
// file is refused and left as it was.
TEST_F(WindowsTest, InPlaceWritesIntoALinkedFileAndRefusesAReadOnlyOne) {
  const std::string script = "function F(a)\nbegin\n    while\nend;\n";
  std::string want = linux_wyn({"expand", file("want.wyn", script), "3:10"}).out;
  ASSERT_NE(want, script);
  const struct {
    const char* what;
    bool second_name;
    bool read_only;
    int code;
    const char* message;  // part of stderr
  } cases[] = {
      {"one name", false, false, 0, ""},
      {"a second name", true, false, 0, ""},
      {"read-only", false, true, 2, "read-only file (read-only attribute); nothing written"},
      {"read-only, a second name", true, true, 2, "read-only file (read-only attribute)"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string sub = dir + "/" + std::to_string(++n);
    std::filesystem::create_directory(sub);
    std::string f = sub + "/f.wyn", other = sub + "/other.wyn";
    write_file(f, script);
    if (c.second_name) std::filesystem::create_hard_link(f, other);
    if (c.read_only) {
      ASSERT_EQ(chmod(f.c_str(), 0444), 0);
    }
    Ran r = wyn({"expand", "--in-place", f, "3:10"});
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(read_file(f), c.code == 0 ? want : script);
    if (c.second_name) {
      EXPECT_EQ(read_file(other), read_file(f));
    }
    size_t files = 0;
    for (auto it = std::filesystem::directory_iterator(sub);
         it != std::filesystem::directory_iterator(); ++it)
      files++;
    EXPECT_EQ(files, c.second_name ? 2u : 1u);
  }
}

TEST_F(WindowsTest, WindowsNamesForOutputs) {
  std::string script = example("uninstall.wyn");
  std::string page = linux_wyn({"colour", "--html", "-", script}).out;
  ASSERT_FALSE(page.empty());
  struct Case {
    const char* out;    // as given to wyn.exe; $W: the scratch folder as Windows names it
    const char* lands;  // the file it lands in, below the scratch folder; "" for a device
  };
  const Case cases[] = {
      {"NUL", ""},
      {"nul", ""},
      {"$W\\drive.html", "drive.html"},
      {"\\\\?\\$W\\long.html", "long.html"},
      {"$W/mixed.html", "mixed.html"},
  };
  // A name beyond ASCII goes through UTF-16 both ways.
  ASSERT_EQ(wyn({"colour", "--html", dir + "/p\xc3\xa1gina.html", script}).code, 0);
  EXPECT_EQ(read_file(dir + "/p\xc3\xa1gina.html"), page);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    std::string out = filled({c.out}, {{"$W", windows_dir()}})[0];
    Ran r = wyn({"colour", "--html", out, script});
    EXPECT_EQ(r.code, 0) << r.err;
    if (*c.lands) {
      EXPECT_EQ(read_file(dir + "/" + c.lands), page);
    }
  }
  // A regular file is replaced whole, and nothing else is left beside it.
  std::string old = file("page.html", "old page\r\n");
  ASSERT_EQ(wyn({"colour", "--html", windows_dir() + "\\page.html", script}).code, 0);
  EXPECT_EQ(read_file(old), page);
  size_t files = 0;
  for (auto it = std::filesystem::directory_iterator(dir);
       it != std::filesystem::directory_iterator(); ++it)
    files++;
  EXPECT_EQ(files, 2u + 3u);  // page.html, página.html and the three pages above
}

TEST_F(WindowsTest, DriveLetterAndLongPathsAsInputs) {
  std::string path = file("in.wyn", "function F()\nend;\n");
  // The project's .wyn.cfg is found beside a script named the Windows way.
  file(".wyn.cfg", "keyword MYWORD 1\n");
  file("cfg.wyn", "MYWORD\n");
  Ran page = wyn({"colour", "--html", "-", windows_dir() + "\\cfg.wyn"});
  EXPECT_NE(page.out.find("wyn-keyword\">MYWORD"), std::string::npos) << page.err;
  file("caf\xc3\xa9.wyn", "function F()\nend;\n");
  for (std::string name : {windows_dir() + "\\in.wyn", "\\\\?\\" + windows_dir() + "\\in.wyn",
                           dir + "/caf\xc3\xa9.wyn"}) {
    SCOPED_TRACE(name);
    Ran r = wyn({"routines", name});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("function F()"), std::string::npos);
  }
}

}  // namespace
