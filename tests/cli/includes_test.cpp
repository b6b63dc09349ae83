// wyn check and #include: where included files are looked for (beside the
// script, --include-dir, the .wyn.cfg's include-dir), warnings for the ones
// found nowhere or that come back round, which never fail the run; and -R
// taking scripts named in any letter case.
#include "tool_run.h"

namespace {

TEST_F(ToolTest, CheckLooksForIncludesWhereToldAndOnlyWarns) {
  std::filesystem::create_directories(dir + "/proj/inc");
  std::filesystem::create_directories(dir + "/lib");
  std::string setup = file("proj/setup.wyn",
                           "#include \"COMMON.H\"\r\n/* #include \"old.h\" */\r\nfunction "
                           "main()\r\nbegin\r\nend;\r\n");
  file("lib/common.h", "prototype Shared(NUMBER);\r\n");
  std::string cycle = file("proj/cycle.wyn", "#include \"inc\\\\Back.h\"\r\n");
  file("proj/inc/back.h", "#include \"../CYCLE.WYN\"\r\n");
  const std::string missing =
      setup + ":1:11: warning: include file 'COMMON.H' not found (searched " + dir + "/proj/)\n";
  const struct {
    std::vector<std::string> args;
    std::string cfg;  // the project's .wyn.cfg; "" none
    std::string out;
  } cases[] = {
      {{"check", setup}, "", missing},
      {{"check", "--include-dir=" + dir + "/lib", setup}, "", ""},
      {{"check", "--include-dir", dir + "/none", "--include-dir=" + dir + "/lib", setup}, "", ""},
      {{"check", setup}, "include-dir ../lib\n", ""},
      {{"check", "--no-config", setup}, "include-dir ../lib\n", missing},
      {{"check", cycle},
       "",
       cycle + ":1:11: warning: include cycle: " + cycle + " -> " + dir + "/proj/inc/back.h -> " +
           dir + "/proj/inc/../cycle.wyn\n"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(dir + "/proj/.wyn.cfg");
    if (!c.cfg.empty()) file("proj/.wyn.cfg", c.cfg);
    Ran r = wyn(c.args);
    std::string what = c.args[1] + " cfg=" + c.cfg;
    EXPECT_EQ(r.code, 0) << what << "\n" << r.err;
    EXPECT_EQ(r.out, c.out) << what;
    EXPECT_EQ(r.err, "") << what;
  }
  // A .wyn.cfg entry without its folder is the file's mistake, said as any.
  file("proj/.wyn.cfg", "include-dir\n");
  Ran bad = wyn({"check", setup});
  EXPECT_EQ(bad.code, 2);
  EXPECT_NE(bad.err.find(".wyn.cfg:1: include-dir needs a FOLDER"), std::string::npos) << bad.err;
  EXPECT_EQ(wyn({"check", "--include-dir"}).code, 2);
}

TEST_F(ToolTest, RecurseTakesScriptsNamedInAnyLetterCase) {
  std::filesystem::create_directories(dir + "/tree/Sub");
  file("tree/SETUP.WYN", "/* never closed\n");
  file("tree/Sub/Other.Wyn", "/* never closed\n");
  file("tree/notes.wynx", "/* never closed\n");
  file("tree/readme.txt", "/* never closed\n");
  Ran r = wyn({"check", "-R", dir + "/tree"});
  EXPECT_EQ(r.code, 1) << r.err;
  const char* msg = ":1:1: error: `/*` opens a comment that is never closed\n";
  EXPECT_EQ(r.out, dir + "/tree/SETUP.WYN" + msg + dir + "/tree/Sub/Other.Wyn" + msg);
}

}  // namespace
