// wyn check -R in worker processes: whatever the number of processes, the
// same lines in the same order, the same messages and the same exit code
// as one process gives.
#include "../support/wyn_text.h"
#include "tool_run.h"

namespace {

TEST_F(ToolTest, CheckInWorkersSaysWhatOneProcessSays) {
  // A tree of generated scripts, some with dozens of problems and some
  // clean, with an unreadable file and a folder whose .wyn.cfg is bad
  // (that ends the run where it is reached) beside it.
  const std::string tree = dir + "/tree", broken = dir + "/broken";
  for (int i = 0; i < 48; i++) {
    std::string folder = tree + "/part" + std::to_string(i / 10);
    std::filesystem::create_directories(folder);
    wyn_text::options o;
    o.crlf = i % 2 == 1;
    std::string text = i % 3 == 0 ? wyn_text::generate_real((uint64_t)i, 120, o)
                                  : wyn_text::generate((uint64_t)i, 4000, o);
    write_file(folder + "/s" + std::to_string(100 + i) + ".wyn", text);
  }
  write_file(tree + "/part2/binary.wyn", std::string("if\0", 3));
  std::filesystem::create_directories(broken + "/a");
  std::filesystem::create_directories(broken + "/b");
  std::filesystem::create_directories(broken + "/c");
  write_file(dir + "/.git", "");  // the project's top: no .wyn.cfg above
  for (int i = 0; i < 20; i++)
    for (const char* sub : {"/a/", "/b/", "/c/"})
      write_file(broken + sub + std::to_string(10 + i) + ".wyn", "while (b)\n");
  write_file(broken + "/b/.wyn.cfg", "bogus line\n");

  const std::vector<std::vector<std::string>> runs = {
      {"check", "-R", tree},         {"check", "-R", "--format=json", tree},
      {"check", "-R", broken},       {"check", "-R", "--format=json", broken},
      {"check", "-R", tree, broken},
  };
  for (const std::vector<std::string>& args : runs) {
    std::vector<std::string> one = args;
    one.insert(one.begin() + 1, "-j1");
    Ran alone = wyn(one);
    ASSERT_EQ(alone.code, 2) << alone.err;
    ASSERT_NE(alone.out, "");
    for (const char* jobs : std::vector<const char*>{"-j2", "-j3", "--jobs=7", nullptr}) {
      std::vector<std::string> many = args;
      if (jobs != nullptr) many.insert(many.begin() + 1, jobs);
      Ran r = wyn(many);
      std::string what = args[2] + " " + (jobs != nullptr ? jobs : "default");
      EXPECT_EQ(r.code, alone.code) << what;
      EXPECT_EQ(r.out, alone.out) << what;
      EXPECT_EQ(r.err, alone.err) << what;
    }
  }
}

TEST_F(ToolTest, CheckJobsTakesANumberOfProcesses) {
  std::string clean = file("ok.wyn", "if (a) then\nendif;\n");
  const RunCase cases[] = {
      {{"check", "-j", "0", clean}, 2, "", "--jobs takes a number from 1 to 64, not 0"},
      {{"check", "--jobs=65", clean}, 2, "", "--jobs takes a number from 1 to 64, not 65"},
      {{"check", "--jobs=x", clean}, 2, "", "--jobs takes a number from 1 to 64, not x"},
      {{"routines", "-j", "2", clean}, 2, "", "-j"},
      // More processes than files, and standard input, are fine.
      {{"check", "-j", "8", clean, clean}, 0, "", nullptr},
  };
  for (const RunCase& c : cases) expect_run(c);
  Ran piped = wyn({"check", "-j2", "-", "-"}, "while (a)\n");
  EXPECT_EQ(piped.code, 1);
  EXPECT_EQ(piped.out,
            "stdin:1:1: error: `while` opened at line 1 is never closed: `endwhile` is missing\n");
}

}  // namespace
