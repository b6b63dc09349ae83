// The tool short of memory: run in a child under an address-space limit,
// each command either does all it was asked or says which file it could
// not hold, exits 2 and leaves every file as it was, with no temporary
// file behind and no signal.
#include <sys/resource.h>

#include "tool_run.h"

namespace {

const char unit[] = "function Foo(a)\nbegin\n    while\nend;\n";

class MemoryTest : public ToolTest {
 protected:
  // Runs the tool with its address space limited to mib MiB; stderr is
  // collected, stdout goes to a file in the scratch folder.
  Ran run_limited(const std::vector<std::string>& args, rlim_t mib) {
    std::string out = dir + "/stdout.txt", err = dir + "/stderr.txt";
    pid_t pid = fork();
    if (pid == 0) {
      int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int in = open("/dev/null", O_RDONLY);
      dup2(in, 0);
      dup2(o, 1);
      dup2(e, 2);
      struct rlimit lim = {mib << 20, mib << 20};
      setrlimit(RLIMIT_AS, &lim);
      struct rlimit no_core = {0, 0};
      setrlimit(RLIMIT_CORE, &no_core);
      std::vector<char*> argv{const_cast<char*>(WYN_TOOL_PATH)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(WYN_TOOL_PATH, argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Ran r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
  }

  // Hidden temporary files left in the scratch folder.
  size_t leftovers() {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
      n += e.path().filename().string().find(".wyn-") != std::string::npos;
    return n;
  }
};

// What a command that succeeded must have done: its output, given the
// script (as read and as written back), stdout and the page.
using Check = bool (*)(const std::string& before, const std::string& after, const std::string& out,
                       const std::string& page);

bool typed_x(const std::string& before, const std::string& after, const std::string&,
             const std::string&) {
  return after == "x" + before;
}
bool expanded(const std::string& before, const std::string& after, const std::string&,
              const std::string&) {
  return after == "function Foo(a)\nbegin\n    while (  )\n    \t\n    endwhile;\nend;\n" +
                      before.substr(sizeof unit - 1);
}
bool paged(const std::string& before, const std::string& after, const std::string&,
           const std::string& page) {
  return after == before && page.find("</html>") != std::string::npos &&
         count_of(page, "Foo") == count_of(before, "Foo");
}
bool shown_both(const std::string& before, const std::string& after, const std::string& out,
                const std::string&) {
  return after == before && out.size() > before.size() &&
         out.compare(out.size() - before.size(), before.size(), before) == 0;
}
bool listed_both(const std::string& before, const std::string& after, const std::string& out,
                 const std::string&) {
  return after == before && count_of(out, "\n") == count_of(before, "Foo") + 400;
}

struct ShortCase {
  const char* what;
  std::vector<std::string> args;  // $F: the script, $G: a second one, $O: an output page
  Check done;
};

// From a little more memory than the script up to enough for the whole
// run: at every step a command either does all it was asked, or says it
// could not hold the script, exits 2 and leaves every file as it was. At
// some step memory runs out part way, after the script was read.
TEST_F(MemoryTest, ShortOfMemoryNothingIsLostOrLeftBehind) {
  SKIP_UNDER_WINE("an address-space limit on the Wine loader");
  std::string text, small;
  while (text.size() < (8u << 20)) text += unit;
  for (int i = 0; i < 400; i++) small += unit;
  const ShortCase cases[] = {
      {"edit in place", {"edit", "--in-place", "-e", "type \"x\"", "$F"}, typed_x},
      {"expand in place", {"expand", "--in-place", "$F", "3:10"}, expanded},
      {"colour a page", {"colour", "--html", "$O", "$F"}, paged},
      {"colour several", {"colour", "--color=never", "$G", "$F"}, shown_both},
      {"routines of several", {"routines", "$G", "$F"}, listed_both},
  };
  const rlim_t limits[] = {12, 16, 20, 24, 28, 32, 256};  // MiB
  for (const ShortCase& c : cases) {
    bool short_part_way = false, done = false;
    for (rlim_t mib : limits) {
      std::string f = file("big.wyn", text), g = file("small.wyn", small), o = dir + "/out.html";
      std::filesystem::remove(o);
      std::string what = std::string(c.what) + " in " + std::to_string(mib) + " MiB";
      Ran r = run_limited(filled(c.args, {{"$F", f}, {"$G", g}, {"$O", o}}), mib);
      ASSERT_TRUE(r.code == 0 || r.code == 2) << what << ": " << r.code << " " << r.err;
      EXPECT_EQ(leftovers(), 0u) << what;
      EXPECT_EQ(read_file(g), small) << what;
      if (r.code == 0) {
        EXPECT_TRUE(c.done(text, read_file(f), r.out, read_file(o))) << what;
        done = true;
        continue;
      }
      EXPECT_EQ(read_file(f), text) << what;
      EXPECT_FALSE(std::filesystem::exists(o)) << what;
      short_part_way |= r.err.find("big.wyn: Cannot allocate memory") != std::string::npos;
    }
    EXPECT_TRUE(short_part_way) << c.what << ": memory never ran out part way";
    EXPECT_TRUE(done) << c.what << ": never enough memory";
  }
}

}  // namespace
