// Running the built wyn tool as a user does: a spawned process, real files
// in a scratch folder, its exit code and what it printed.
#ifndef WYN_TOOL_RUN_H
#define WYN_TOOL_RUN_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

// The tool under test is wyn.exe under Wine (scripts/test-wine-tool.sh):
// what only POSIX systems have (modes, owners, ACLs, extended attributes,
// device nodes and FIFOs, /dev and /proc names, signals, resource limits,
// the C locale's charset, links Wine does not follow) is left out there.
#ifdef WYN_TOOL_UNDER_WINE
const bool under_wine = true;
#define SKIP_UNDER_WINE(why) GTEST_SKIP() << "not on Windows: " << why
#else
const bool under_wine = false;
#define SKIP_UNDER_WINE(why) (void)0
#endif

struct Ran {
  int code = -1;  // exit code; 128 + signal when killed
  std::string out, err;
};

// Runs program with args, feeding input on stdin, and collects both
// outputs. The environment is the test's own, less NO_COLOR and COLORFGBG.
inline Ran run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::string& input = "") {
  int in[2], out[2], err[2];
  Ran r;
  if (pipe(in) || pipe(out) || pipe(err)) return r;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    unsetenv("NO_COLOR");
    unsetenv("COLORFGBG");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  size_t written = 0;
  if (input.empty()) close(in[1]);
  struct pollfd fds[3] = {
      {out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {input.empty() ? -1 : in[1], POLLOUT, 0}};
  int open_reads = 2;
  char buf[65536];
  while (open_reads > 0 || fds[2].fd >= 0) {
    if (poll(fds, 3, -1) < 0) break;
    for (int k = 0; k < 2; k++) {
      if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP))) continue;
      ssize_t n = read(fds[k].fd, buf, sizeof buf);
      if (n > 0) {
        (k == 0 ? r.out : r.err).append(buf, (size_t)n);
      } else {
        close(fds[k].fd);
        fds[k].fd = -1;
        open_reads--;
      }
    }
    if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = write(fds[2].fd, input.data() + written, input.size() - written);
      if (n > 0) written += (size_t)n;
      if (n <= 0 || written == input.size()) {
        close(fds[2].fd);
        fds[2].fd = -1;
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

inline Ran wyn(const std::vector<std::string>& args, const std::string& input = "") {
  return run_program(WYN_TOOL_PATH, args, input);
}

// One run of the tool and what it must give: the exit code, all of stdout,
// and a part of stderr (null: stderr empty).
struct RunCase {
  std::vector<std::string> args;
  int code;
  std::string out;
  const char* err;
};

inline void expect_run(const RunCase& c) {
  std::string what;
  for (const std::string& a : c.args) what += a + " ";
  Ran r = wyn(c.args);
  EXPECT_EQ(r.code, c.code) << what << "\n" << r.err;
  EXPECT_EQ(r.out, c.out) << what;
  if (c.err != nullptr)
    EXPECT_NE(r.err.find(c.err), std::string::npos) << what << ": " << r.err;
  else
    EXPECT_EQ(r.err, "") << what;
}

inline std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

inline size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
  return n;
}

// args with each placeholder of a case table ("$F" and the like) replaced
// by its path, wherever in an argument it stands.
inline std::vector<std::string> filled(
    const std::vector<std::string>& args,
    const std::vector<std::pair<std::string, std::string>>& paths) {
  std::vector<std::string> out;
  for (std::string a : args) {
    for (const auto& [key, value] : paths)
      if (size_t at = a.find(key); at != std::string::npos) a.replace(at, key.size(), value);
    out.push_back(a);
  }
  return out;
}

// A fresh scratch folder per test, removed afterwards.
class ToolTest : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override {
    char name[] = "/tmp/wyn-tool-test-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  // Writes text to a file in the scratch folder; answers its path.
  std::string file(const std::string& name, const std::string& text) {
    std::string path = dir + "/" + name;
    write_file(path, text);
    return path;
  }
  std::string example(const char* name) {
    return std::string(WYN_SOURCE_DIR) + "/examples/" + name;
  }
};

#endif
