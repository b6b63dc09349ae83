// What the tool's writes land on and what survives them: every kind of
// output target, write errors, an output that is also an input, what
// --in-place keeps of a file, signals and a file changed meanwhile, bounded
// reads, and pages that are valid UTF-8. Everything happens inside the
// test's own scratch folder; device nodes are ones the test makes there.
#include <grp.h>
#include <iconv.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/fanotify.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

#include <functional>
#include <thread>

#include "tool_run.h"

namespace {

// 3:10 expands "while"; 1:1 expands nothing.
const char script[] = "function Foo(a)\nbegin\n    while\nend;\n";
const char expanded[] = "function Foo(a)\nbegin\n    while (  )\n    \t\n    endwhile;\nend;\n";
const uid_t OTHER = 12345;  // a user and group that owns nothing on the machine

bool root() {
  return geteuid() == 0;
}

// How to start the tool beyond what wyn() does.
struct Launch {
  int in = -1;                       // stdin; an empty file of the scratch folder when -1
  int out = -1;                      // stdout; collected in a file when -1
  uid_t user = 0;                    // run as this user and group when nonzero
  rlim_t memory = 0;                 // address-space limit in bytes when nonzero
  rlim_t file_size = RLIM_INFINITY;  // the largest file it may write (ulimit -f)
  bool ignore_sigpipe = false;
  bool ignore_sigxfsz = false;  // a write past file_size fails rather than kills
  size_t failing_write = 0;     // a write of exactly this many bytes fails (EIO) when nonzero
};

// Makes every write or pwrite of exactly size bytes fail with EIO in this
// process (a little-endian machine: the count's low half is compared).
bool fail_writes_of(size_t size) {
  struct sock_filter code[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_write, 1, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_pwrite64, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[2])),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, (uint32_t)size, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  struct sock_fprog program = {(unsigned short)(sizeof code / sizeof code[0]), code};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

class OutputTest : public ToolTest {
 protected:
  std::string io;  // where stdout and stderr are collected

  void SetUp() override {
    ToolTest::SetUp();
    io = dir + "/io";
    std::filesystem::create_directory(io);
    signal(SIGPIPE, SIG_IGN);
  }

  pid_t start(const std::vector<std::string>& args, const Launch& how = {}) {
    std::string in_path = io + "/stdin", out_path = io + "/stdout", err_path = io + "/stderr";
    write_file(in_path, "");
    pid_t pid = fork();
    if (pid != 0) return pid;
    int in = how.in >= 0 ? how.in : open(in_path.c_str(), O_RDONLY);
    int out = how.out >= 0 ? how.out : open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (how.memory) {
      struct rlimit lim = {how.memory, how.memory};
      setrlimit(RLIMIT_AS, &lim);
    }
    struct rlimit fsize = {how.file_size, how.file_size}, no_core = {0, 0};
    setrlimit(RLIMIT_FSIZE, &fsize);
    setrlimit(RLIMIT_CORE, &no_core);  // signals that dump core leave nothing behind
    signal(SIGXFSZ, how.ignore_sigxfsz ? SIG_IGN : SIG_DFL);
    if (how.user && (setgroups(0, nullptr) || setgid(how.user) || setuid(how.user))) _exit(126);
    signal(SIGPIPE, how.ignore_sigpipe ? SIG_IGN : SIG_DFL);
    if (how.failing_write && !fail_writes_of(how.failing_write)) _exit(125);
    unsetenv("NO_COLOR");
    std::vector<char*> argv{const_cast<char*>(WYN_TOOL_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(WYN_TOOL_PATH, argv.data());
    _exit(127);
  }

  Ran finish(pid_t pid) {
    Ran r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = read_file(io + "/stdout");
    r.err = read_file(io + "/stderr");
    return r;
  }

  Ran run(const std::vector<std::string>& args, const Launch& how = {}) {
    return finish(start(args, how));
  }

  // Hidden temporary files the tool left in folder.
  std::vector<std::string> leftovers(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
      std::string name = e.path().filename();
      if (name[0] == '.' && name.find(".wyn-") != std::string::npos) found.push_back(name);
    }
    return found;
  }

  std::string path(const std::string& name) { return dir + "/" + name; }

  // A script of 2 MiB or a little more in the scratch folder: its path.
  std::string big_script() {
    std::string text;
    while (text.size() < (2u << 20)) text += script;
    return file("big.wyn", text);
  }

  // The scratch folder opened to another user.
  void share_with_others() { ASSERT_EQ(chmod(dir.c_str(), 0755), 0); }
};

std::string type_of(const std::string& p) {
  struct stat st;
  if (lstat(p.c_str(), &st) != 0) return "missing";
  if (S_ISLNK(st.st_mode)) return "link";
  if (S_ISREG(st.st_mode)) return "file";
  if (S_ISFIFO(st.st_mode)) return "fifo";
  if (S_ISCHR(st.st_mode)) return "chardev";
  return "other";
}

struct stat stat_of(const std::string& p) {
  struct stat st = {};
  stat(p.c_str(), &st);
  return st;
}

// {====== where outputs land
enum Target { REGULAR, MISSING, LINK, DANGLING, FIFO, DEVICE, STDOUT };

struct TargetCase {
  Target target;
  const char* kind_after;  // what the output's own path is afterwards
};

// Every output is written through to what is not a regular file, follows
// links (making a missing target) and keeps the link.
TEST_F(OutputTest, OutputsWriteThroughAndFollowLinks) {
  SKIP_UNDER_WINE("device nodes, FIFOs, /dev and /proc names, symbolic links");
  std::string f = file("f.wyn", script);
  const TargetCase cases[] = {
      {REGULAR, "file"}, {MISSING, "file"},   {LINK, "link"},   {DANGLING, "link"},
      {FIFO, "fifo"},    {DEVICE, "chardev"}, {STDOUT, "link"},
  };
  std::string page = wyn({"colour", "--color=never", "--html", "-", f}).out;
  ASSERT_NE(page.find("</html>"), std::string::npos);
  for (const char* command : {"colour", "routines"}) {
    for (const TargetCase& c : cases) {
      std::string what = std::string(command) + " to target " + std::to_string(c.target);
      std::filesystem::remove_all(path("t"));
      std::filesystem::remove_all(path("real"));
      std::filesystem::create_directory(path("real"));
      std::string out = path("t"), lands = out;  // lands: where the text should be found
      int reader = -1, stdout_pipe[2] = {-1, -1};
      switch (c.target) {
        case REGULAR:
          write_file(out, "old");
          break;
        case MISSING:
          break;
        case LINK:
          write_file(lands = path("real/page"), "old");
          std::filesystem::create_symlink("real/page", out);
          break;
        case DANGLING:
          lands = path("real/page");
          std::filesystem::create_symlink("real/page", out);
          break;
        case FIFO:
          ASSERT_EQ(mkfifo(out.c_str(), 0644), 0);
          reader = open(out.c_str(), O_RDONLY | O_NONBLOCK);
          break;
        case DEVICE:  // the null device, made here
          if (!root()) continue;
          ASSERT_EQ(mknod(out.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0) << what;
          lands = "";
          break;
        case STDOUT:  // a pipe, as when the output is read by another program
          std::filesystem::create_symlink("/proc/self/fd/1", out);
          ASSERT_EQ(pipe(stdout_pipe), 0);
          reader = stdout_pipe[0];
          lands = "";
          break;
      }
      Launch how;
      how.out = stdout_pipe[1];
      Ran r = !strcmp(command, "colour") ? run({"colour", "--color=never", "--html", out, f}, how)
                                         : run({"routines", "--ctags=" + out, f}, how);
      if (stdout_pipe[1] >= 0) close(stdout_pipe[1]);
      EXPECT_EQ(r.code, 0) << what << ": " << r.err;
      EXPECT_EQ(type_of(out), c.kind_after) << what;
      std::string got;
      if (reader >= 0) {
        char buf[65536];
        ssize_t n = read(reader, buf, sizeof buf);
        got.assign(buf, n > 0 ? (size_t)n : 0);
        close(reader);
      } else if (!lands.empty()) {
        got = read_file(lands);
      }
      if (!lands.empty() || reader >= 0) {
        if (!strcmp(command, "colour"))
          EXPECT_EQ(got, page) << what;
        else
          EXPECT_NE(got.find("Foo\t"), std::string::npos) << what << ": " << got;
      }
      EXPECT_EQ(leftovers(dir), std::vector<std::string>()) << what;
    }
  }
  EXPECT_EQ(read_file(f), script);
}

// --in-place follows a link to its file, and will not write back to what
// is not a regular file (here: the tool's own stdin, a pipe).
TEST_F(OutputTest, InPlaceFollowsLinksAndRefusesOtherFiles) {
  SKIP_UNDER_WINE("symbolic links, FIFOs");
  std::string f = file("f.wyn", script);
  std::filesystem::create_symlink("f.wyn", path("link.wyn"));
  Ran r = run({"expand", "--in-place", path("link.wyn"), "3:10"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(type_of(path("link.wyn")), "link");
  EXPECT_EQ(read_file(f), expanded);

  std::filesystem::create_symlink("/proc/self/fd/0", path("in.wyn"));
  Ran piped = wyn({"expand", "--in-place", path("in.wyn"), "3:10"}, script);
  EXPECT_EQ(piped.code, 2);
  EXPECT_NE(piped.err.find("not a regular file"), std::string::npos) << piped.err;
  EXPECT_EQ(type_of(path("in.wyn")), "link");
}
// }======

// {====== write errors
// Every command's output, checked to the end: a full device or file
// system is a failure naming the output, exit 2.
TEST_F(OutputTest, WriteErrorsAreExitTwo) {
  SKIP_UNDER_WINE("a full device and a mounted tmpfs");
  if (!root()) GTEST_SKIP() << "needs root to make a full device and mount a small tmpfs";
  std::string f = file("f.wyn", script);
  std::string big = big_script();
  std::string full = path("full");
  ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
  const std::vector<std::string> commands[] = {
      {"colour", "--color=never", f},
      {"colour", "--color=always", big},
      {"routines", f},
      {"info"},
      {"--help"},
      {"--version"},
      {"expand", f, "3:10"},
      {"edit", f, "-e", "home"},
  };
  for (const auto& args : commands) {
    int out = open(full.c_str(), O_WRONLY);
    Ran r = run(args, {-1, out});
    close(out);
    EXPECT_EQ(r.code, 2) << args[0];
    EXPECT_EQ(r.err, "wyn: stdout: No space left on device\n") << args[0];
  }
  Ran page = run({"colour", "--html", full, f});
  EXPECT_EQ(page.code, 2);
  EXPECT_EQ(page.err, "wyn: " + full + ": No space left on device\n");

  // A 1 MiB file system: neither stdout nor a page fits.
  std::string small = path("small");
  std::filesystem::create_directory(small);
  ASSERT_EQ(mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m"), 0);
  write_file(small + "/page.html", "old page");
  int out = open((small + "/stdout").c_str(), O_WRONLY | O_CREAT, 0644);
  Ran to_stdout = run({"colour", "--color=never", big}, {-1, out});
  close(out);
  Ran to_page = run({"colour", "--html", small + "/page.html", big});
  std::string kept = read_file(small + "/page.html");
  std::vector<std::string> left = leftovers(small);
  umount(small.c_str());
  EXPECT_EQ(to_stdout.code, 2);
  EXPECT_EQ(to_stdout.err, "wyn: stdout: No space left on device\n");
  EXPECT_EQ(to_page.code, 2);
  EXPECT_NE(to_page.err.find("page.html: No space left on device"), std::string::npos)
      << to_page.err;
  EXPECT_EQ(kept, "old page");
  EXPECT_EQ(left, std::vector<std::string>());
}

// A reader that went away: with SIGPIPE ignored the tool stops quietly,
// but not with success.
TEST_F(OutputTest, ClosedPipeEndsQuietly) {
  std::string f = file("f.wyn", script);
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  close(p[0]);
  Launch how;
  how.out = p[1];
  how.ignore_sigpipe = true;
  Ran r = run({"colour", "--color=never", f}, how);
  close(p[1]);
  EXPECT_NE(r.code, 0);
  EXPECT_EQ(r.err, "");
}
// }======

// {====== an output that is an input
struct SameCase {
  const char* what;
  std::vector<std::string> args;  // $F, $G: scripts; $D: the scratch folder
};

TEST_F(OutputTest, AnOutputThatIsAnInputIsRefused) {
  std::string f = file("f.wyn", script), g = file("g.wyn", "begin\nend;\n");
  std::filesystem::create_symlink("f.wyn", path("link.html"));
  std::filesystem::create_hard_link(f, path("hard.html"));
  const SameCase cases[] = {
      {"first script taken as OUT", {"colour", "--html", "$F", "$G"}},
      {"page over its own script", {"colour", "--html", "$F", "$F"}},
      {"tags over the script", {"routines", "--ctags=$F", "$F"}},
      {"a link to the script", {"colour", "--html", "$D/link.html", "$F"}},
      {"a hard link of the script", {"colour", "--html", "$D/hard.html", "$G", "$F"}},
      {"page over the edited file", {"edit", "--in-place", "--html", "$F", "$F", "-e", "home"}},
      {"an existing script that is no input", {"routines", "--ctags=$G", "$F"}},
  };
  for (const SameCase& c : cases) {
    Ran r = run(filled(c.args, {{"$F", f}, {"$G", g}, {"$D", dir}}));
    EXPECT_EQ(r.code, 2) << c.what;
    EXPECT_EQ(r.out, "") << c.what;
    EXPECT_EQ(count_of(r.err, "\n"), 1u) << c.what << ": " << r.err;
    EXPECT_EQ(read_file(f), script) << c.what;
    EXPECT_EQ(read_file(g), "begin\nend;\n") << c.what;
  }
  // The same through stdin (Wine tells no file index for a standard input
  // it was handed as a Unix descriptor).
  if (under_wine) return;
  int in = open(f.c_str(), O_RDONLY);
  Ran r = run({"colour", "--html", path("hard.html"), "-"}, {in});
  close(in);
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(read_file(f), script);
}

// stdout opened on an input by the shell, read and write (1<>) or
// appending (>>), is refused as a named output is: nothing written.
TEST_F(OutputTest, StdoutOnAnInputIsRefused) {
  SKIP_UNDER_WINE("descriptors handed over as Unix ones tell no file index under Wine");
  std::string f = file("f.wyn", script), g = file("g.wyn", "begin\nend;\n");
  std::filesystem::create_hard_link(f, path("hard.wyn"));
  const SameCase cases[] = {
      {"a page", {"colour", "--html", "-", "$F"}},
      {"coloured text", {"colour", "--color=never", "$F"}},
      {"several scripts", {"colour", "--color=never", "$G", "$F"}},
      {"tags", {"routines", "--ctags=-", "$F"}},
      {"a list of routines", {"routines", "$F"}},
      {"an expanded script", {"expand", "$F", "3:10"}},
      {"an edited script", {"edit", "$F", "-e", "home"}},
      {"an edited script as a page", {"edit", "--html", "-", "$F", "-e", "home"}},
      {"a page through /dev/stdout", {"colour", "--html", "/dev/stdout", "$F"}},
      {"stdin", {"colour", "--color=never", "-"}},
  };
  for (const SameCase& c : cases) {
    for (int flags : {O_RDWR, O_WRONLY | O_APPEND}) {
      std::string what = std::string(c.what) + (flags == O_RDWR ? " (1<>)" : " (>>)");
      write_file(f, script);
      int out = open(path("hard.wyn").c_str(), flags);
      int in = open(f.c_str(), O_RDONLY);
      Launch how;
      how.in = in;
      how.out = out;
      Ran r = run(filled(c.args, {{"$F", f}, {"$G", g}}), how);
      close(out);
      close(in);
      EXPECT_EQ(r.code, 2) << what;
      std::string named = c.args.back() == "-" ? "stdin" : f;
      if (c.args.size() > 2 && c.args[2] == "/dev/stdout")
        EXPECT_EQ(r.err, "wyn: /dev/stdout: is also an input; nothing written\n") << what;
      else
        EXPECT_EQ(r.err, "wyn: " + named + ": input file is output file\n") << what;
      EXPECT_TRUE(read_file(f) == script) << what << ": the script was written to";
    }
  }
  // Another file, and the same command with the file as an --in-place
  // target, are fine.
  int out = open(g.c_str(), O_WRONLY | O_APPEND);
  Launch how;
  how.out = out;
  Ran other = run({"colour", "--color=never", f}, how);
  close(out);
  EXPECT_EQ(other.code, 0) << other.err;
  out = open(f.c_str(), O_WRONLY | O_APPEND);
  how.out = out;
  Ran in_place = run({"expand", "--in-place", f, "3:10"}, how);
  close(out);
  EXPECT_EQ(in_place.code, 0) << in_place.err;
  EXPECT_EQ(read_file(f), expanded);
}
// }======

// {====== what --in-place keeps
struct KeepCase {
  const char* what;
  bool needs_root;
  uid_t user;                                       // run as this user when nonzero
  std::function<void(const std::string&)> prepare;  // given the file
  std::vector<std::string> args;                    // $F: the file
  int code;
  const char* message;                                                // part of stderr
  std::function<void(const std::string&, const struct stat&)> check;  // given the stat before
};

std::string command_output(const std::string& program, const std::vector<std::string>& args) {
  Ran r = run_program(program, args);
  return r.code == 0 ? r.out : "failed: " + r.err;
}

// A case where program set (its arguments, then the file) marks the file and
// what dump (likewise) lists of it must read the same afterwards; *before
// holds that listing between the two.
KeepCase listing_kept(const char* what, const std::vector<std::string>& set,
                      const std::vector<std::string>& dump, std::string* before) {
  auto with_file = [](std::vector<std::string> args, const std::string& p) {
    args.push_back(p);
    return args;
  };
  auto listing = [=](const std::string& p) {
    return command_output(dump[0], with_file({dump.begin() + 1, dump.end()}, p));
  };
  return {what,
          false,
          0,
          [=](const std::string& p) {
            ASSERT_EQ(run_program(set[0], with_file({set.begin() + 1, set.end()}, p)).code, 0)
                << set[0] << " is missing: run scripts/install-tool-test-deps.sh";
            *before = listing(p);
          },
          {"expand", "--in-place", "$F", "3:10"},
          0,
          "",
          [=](const std::string& p, const struct stat&) { EXPECT_EQ(listing(p), *before); }};
}

TEST_F(OutputTest, InPlaceKeepsTheFilesIdentity) {
  SKIP_UNDER_WINE("POSIX owners, modes, ACLs and extended attributes");
  const std::vector<std::string> expand = {"expand", "--in-place", "$F", "3:10"};
  auto same_owner_and_mode = [](const std::string& p, const struct stat& before) {
    struct stat now = stat_of(p);
    EXPECT_EQ(now.st_uid, before.st_uid);
    EXPECT_EQ(now.st_gid, before.st_gid);
    EXPECT_EQ(now.st_mode, before.st_mode);
  };
  auto untouched = [](const std::string& p, const struct stat& before) {
    struct stat now = stat_of(p);
    EXPECT_EQ(now.st_ino, before.st_ino);
    EXPECT_EQ(now.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(read_file(p), script);
  };
  std::string acl_before, attr_before;
  const KeepCase cases[] = {
      {"another user's 0640 file", true, 0,
       [](const std::string& p) {
         ASSERT_EQ(chown(p.c_str(), OTHER, OTHER), 0);
         ASSERT_EQ(chmod(p.c_str(), 0640), 0);
       },
       expand, 0, "", same_owner_and_mode},
      listing_kept("an ACL", {"/usr/bin/setfacl", "-m", "u:12345:rw"}, {"/usr/bin/getfacl", "-c"},
                   &acl_before),
      listing_kept("an extended attribute",
                   {"/usr/bin/setfattr", "-n", "user.origin", "-v", "kept"},
                   {"/usr/bin/getfattr", "-d"}, &attr_before),
      {"a second hard link", false, 0,
       [](const std::string& p) { std::filesystem::create_hard_link(p, p + ".other"); }, expand, 0,
       "",
       [](const std::string& p, const struct stat& before) {
         EXPECT_EQ(stat_of(p).st_ino, before.st_ino);
         EXPECT_EQ(read_file(p + ".other"), expanded);
       }},
      {"an unchanged result",
       false,
       0,
       [](const std::string&) {},
       {"edit", "--in-place", "$F", "-e", "home"},
       1,
       "nothing changed",
       untouched},
      {"a read-only file", false, 0,
       [](const std::string& p) { ASSERT_EQ(chmod(p.c_str(), 0444), 0); }, expand, 2, "read-only",
       untouched},
      {"a read-only folder", true, OTHER,
       [](const std::string& p) { ASSERT_EQ(chown(p.c_str(), OTHER, OTHER), 0); }, expand, 2,
       "folder", untouched},
      {"an owner that cannot be kept", true, OTHER,
       [](const std::string& p) {
         ASSERT_EQ(chmod(p.c_str(), 0666), 0);
         ASSERT_EQ(chmod(std::filesystem::path(p).parent_path().c_str(), 0777), 0);
       },
       expand, 0, "",
       [](const std::string& p, const struct stat& before) {
         struct stat now = stat_of(p);
         EXPECT_EQ(now.st_ino, before.st_ino);
         EXPECT_EQ(now.st_uid, 0u);
       }},
  };
  share_with_others();
  for (const KeepCase& c : cases) {
    if (c.needs_root && !root()) {
      fprintf(stderr, "skipped without root: %s\n", c.what);
      continue;
    }
    std::string sub = path("k");
    std::filesystem::remove_all(sub);
    std::filesystem::create_directory(sub);
    std::string f = file("k/f.wyn", script);
    c.prepare(f);
    if (HasFatalFailure()) return;
    struct stat before = stat_of(f);
    Launch how;
    how.user = c.user;
    Ran r = run(filled(c.args, {{"$F", f}}), how);
    EXPECT_EQ(r.code, c.code) << c.what << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
    if (c.code == 0) {
      EXPECT_EQ(read_file(f), expanded) << c.what;
    }
    c.check(f, before);
    EXPECT_EQ(leftovers(sub), std::vector<std::string>()) << c.what;
  }
}
// }======

// {====== an in-place write that cannot finish
struct StopCase {
  const char* what;
  bool other_owner;  // another user's file, written by that user; else a second link
  bool full_disk;    // on a full file system; else under ulimit -f
  bool grows;        // ulimit -f: the limit lets the new text in; else it stops at the old size
  bool write_fails;  // the write of the new text itself fails, after the room is taken
  bool ignore_sigxfsz;
  int code;
  const char* message;  // part of stderr
};

// A file --in-place must write into (a second link, an owner a new file
// cannot take) is the old text or the whole new one, whatever stops the
// write: a file size limit, with or without its signal, or a full disk.
TEST_F(OutputTest, InPlaceWriteThatCannotFinishKeepsTheOldText) {
  SKIP_UNDER_WINE("resource limits, owners, a mounted tmpfs");
  // Exactly 16 KiB, so that the expanded text needs one block more.
  std::string old = script;
  old += "// ";
  old += std::string(16384 - old.size() - 1, 'x') + "\n";
  std::string grown = expanded + old.substr(strlen(script));
  ASSERT_GT(grown.size(), old.size());
  const StopCase cases[] = {
      {"a second link, a size limit", false, false, false, false, true, 2, "File too large"},
      {"a second link, a size limit that kills", false, false, false, false, false, 128 + SIGXFSZ,
       ""},
      {"a second link, room enough", false, false, true, false, true, 0, ""},
      {"another user's file, a size limit", true, false, false, false, true, 2, "File too large"},
      {"a second link, a full disk", false, true, false, false, false, 2,
       "No space left on device"},
      {"another user's file, a full disk", true, true, false, false, false, 2,
       "No space left on device"},
      {"a second link, a failing write", false, false, true, true, false, 2,
       "Input/output error; the old text is back in place"},
  };
  share_with_others();
  std::string small = path("small");
  std::filesystem::create_directory(small);
  bool mounted = root() && mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k,mode=0777") == 0;
  struct Unmount {
    std::string at;
    ~Unmount() {
      if (!at.empty()) umount(at.c_str());
    }
  } unmount{mounted ? small : ""};
  for (const StopCase& c : cases) {
    if ((c.other_owner && !root()) || (c.full_disk && !mounted)) {
      fprintf(stderr, "skipped without root and a tmpfs: %s\n", c.what);
      continue;
    }
    std::string sub = c.full_disk ? small : path("k");
    if (!c.full_disk) {
      std::filesystem::remove_all(sub);
      std::filesystem::create_directory(sub);
      ASSERT_EQ(chmod(sub.c_str(), 0777), 0);
    }
    for (const auto& e : std::filesystem::directory_iterator(sub)) std::filesystem::remove(e);
    std::string f = sub + "/f.wyn", other = sub + "/other.wyn";
    write_file(f, old);
    if (c.other_owner)
      ASSERT_EQ(chmod(f.c_str(), 0666), 0);
    else
      std::filesystem::create_hard_link(f, other);
    if (c.full_disk) {
      int fill = open((sub + "/fill").c_str(), O_WRONLY | O_CREAT, 0644);
      std::string block(4096, 'f');
      while (write(fill, block.data(), block.size()) > 0) {
      }
      close(fill);
    }
    Launch how;
    how.user = c.other_owner ? OTHER : 0;
    if (!c.full_disk) how.file_size = c.grows ? grown.size() : old.size();
    how.ignore_sigxfsz = c.ignore_sigxfsz;
    if (c.write_fails) how.failing_write = grown.size();
    Ran r = run({"expand", "--in-place", f, "3:10"}, how);
    EXPECT_EQ(r.code, c.code) << c.what << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
    std::string now = read_file(f);
    EXPECT_EQ(now, c.code == 0 ? grown : old) << c.what << ": " << now.size() << " bytes";
    if (!c.other_owner) {
      EXPECT_EQ(read_file(other), now) << c.what;
    }
    EXPECT_EQ(leftovers(sub), std::vector<std::string>()) << c.what;
  }
}
// }======

// {====== long names
// A name of bytes the file system allows, up to its limit, where the
// temporary name that starts with it would pass the limit (cut in the
// middle of a character, too).
TEST_F(OutputTest, LongNamesAreWritten) {
  const struct {
    const char* what;
    std::string stem;  // the names' start
    size_t size;       // the names' size
  } cases[] = {
      {"240 bytes", "", 240},
      {"255 bytes", "", 255},
      {"255 bytes, a two-byte character across the cut", std::string(242, 'a') + "\xc3\xa9", 255},
  };
  auto named = [&](const std::string& stem, size_t size, const std::string& suffix) {
    return path("n/") + stem + std::string(size - stem.size() - suffix.size(), 'x') + suffix;
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(path("n"));
    std::filesystem::create_directory(path("n"));
    std::string f = named(c.stem, c.size, ".wyn"), page = named(c.stem, c.size, ".html");
    std::string tags = named(c.stem, c.size, ".tags");
    write_file(f, script);
    write_file(tags, "old");  // replaced, where the page is new
    Ran in_place = run({"expand", "--in-place", f, "3:10"});
    EXPECT_EQ(in_place.code, 0) << c.what << ": " << in_place.err;
    EXPECT_EQ(read_file(f), expanded) << c.what;
    Ran to_page = run({"colour", "--html", page, f});
    EXPECT_EQ(to_page.code, 0) << c.what << ": " << to_page.err;
    EXPECT_NE(read_file(page).find("</html>"), std::string::npos) << c.what;
    Ran to_tags = run({"routines", "--ctags=" + tags, f});
    EXPECT_EQ(to_tags.code, 0) << c.what << ": " << to_tags.err;
    EXPECT_NE(read_file(tags).find("Foo\t"), std::string::npos) << c.what;
    EXPECT_EQ(leftovers(path("n")), std::vector<std::string>()) << c.what;
  }
}
// }======

// {====== signals and a file changed meanwhile
bool exited(pid_t pid) {
  siginfo_t info = {};
  return waitid(P_PID, (id_t)pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

// Starts the tool with launch() and, the moment it opens a temporary file
// in folder, holds it there (a permission event) while act(pid) runs. The
// folder is watched from before the start; act must not open files in it.
// Answers the tool's pid, or -1 when the folder cannot be watched.
pid_t hold_at_temp(const std::string& folder, const std::function<pid_t()>& launch,
                   const std::function<void(pid_t)>& act, bool* seen) {
  int fan = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY);
  if (fan < 0 || fanotify_mark(fan, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD, AT_FDCWD,
                               folder.c_str()) != 0)
    return -1;
  pid_t pid = launch();
  *seen = false;
  for (int idle = 0; idle < 400 && !exited(pid);) {
    struct pollfd p = {fan, POLLIN, 0};
    if (poll(&p, 1, 25) <= 0) {
      idle++;
      continue;
    }
    char buf[4096];
    ssize_t n = read(fan, buf, sizeof buf);
    for (auto* m = (struct fanotify_event_metadata*)buf; FAN_EVENT_OK(m, n);
         m = FAN_EVENT_NEXT(m, n)) {
      char link[64], name[4096] = "";
      snprintf(link, sizeof link, "/proc/self/fd/%d", m->fd);
      ssize_t k = readlink(link, name, sizeof name - 1);
      name[k > 0 ? k : 0] = 0;
      std::string base = std::filesystem::path(name).filename();
      if (!*seen && m->pid == pid && base[0] == '.' && base.find(".wyn-") != std::string::npos) {
        *seen = true;
        act(pid);
      }
      struct fanotify_response allow = {m->fd, FAN_ALLOW};
      if (write(fan, &allow, sizeof allow) < 0) break;
      close(m->fd);
    }
  }
  close(fan);
  return pid;
}

struct MeanwhileCase {
  std::string what;
  std::function<void(pid_t)> act;
  int code;
  const char* file_after;  // what the file holds afterwards
};

// A signal that ends the tool while the new text waits in its temporary
// file removes it, and the tool still dies of that signal; a file changed
// by someone else meanwhile is left as they wrote it.
TEST_F(OutputTest, SignalsAndChangesWhileWriting) {
  SKIP_UNDER_WINE("POSIX signals and fanotify");
  if (!root()) GTEST_SKIP() << "needs root to hold the tool at its temporary file (fanotify)";
  std::string f = path("w/f.wyn");
  const char changed[] = "begin\nend;\n";
  int keep = -1;  // f opened before the watch, for writing while the tool is held
  auto rewrite = [&](pid_t) {
    EXPECT_EQ(pwrite(keep, changed, strlen(changed), 0), (ssize_t)strlen(changed));
    EXPECT_EQ(ftruncate(keep, (off_t)strlen(changed)), 0);
  };
  auto replace = [&](pid_t) { rename((f + ".new").c_str(), f.c_str()); };
  std::vector<MeanwhileCase> cases = {
      {"rewritten", rewrite, 2, changed},
      {"replaced", replace, 2, changed},
  };
  // Every signal whose default action ends a process.
  const int deadly[] = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGXCPU,   SIGXFSZ,
                        SIGALRM, SIGUSR1, SIGUSR2,   SIGPIPE, SIGVTALRM, SIGPROF,
                        SIGPOLL, SIGSYS,  SIGTRAP,   SIGBUS,  SIGSEGV,   SIGILL,
                        SIGFPE,  SIGABRT, SIGSTKFLT, SIGPWR,  SIGRTMIN,  SIGRTMAX};
  for (int sig : deadly)
    cases.push_back({strsignal(sig), [sig](pid_t pid) { kill(pid, sig); }, 128 + sig, script});
  for (const MeanwhileCase& c : cases) {
    std::filesystem::remove_all(path("w"));
    std::filesystem::create_directory(path("w"));
    write_file(f, script);
    write_file(f + ".new", changed);
    keep = open(f.c_str(), O_WRONLY);
    bool seen = false;
    pid_t pid = hold_at_temp(
        path("w"),
        [&] {
          return start({"expand", "--in-place", f, "3:10"});
        },
        c.act, &seen);
    close(keep);
    ASSERT_GT(pid, 0) << "cannot watch the folder (fanotify)";
    EXPECT_TRUE(seen) << c.what;
    Ran r = finish(pid);
    std::filesystem::remove(f + ".new");
    EXPECT_EQ(r.code, c.code) << c.what << ": " << r.err;
    if (c.code == 2) {
      EXPECT_NE(r.err.find("changed while being edited"), std::string::npos) << r.err;
    }
    EXPECT_EQ(read_file(f), c.file_after) << c.what;
    EXPECT_EQ(leftovers(path("w")), std::vector<std::string>()) << c.what;
  }
}
// }======

// {====== bounded reads
// Feeds fd with lines of text until the reader goes away.
std::thread endless_writer(int fd) {
  return std::thread([fd] {
    std::string chunk;
    while (chunk.size() < 65536) chunk += "x = 1;\n";
    while (write(fd, chunk.data(), chunk.size()) > 0) {
    }
    close(fd);
  });
}

struct ReadCase {
  const char* what;
  std::vector<std::string> args;  // $F: a script, $S: a sparse 2 GiB file, $B: 2 MiB script
  bool endless_stdin;
  const char* message;  // part of stderr; exit 2 when not empty
};

// An endless or huge input stops at the size limit, in bounded memory,
// with a message saying what to do.
TEST_F(OutputTest, ReadsStopAtTheSizeLimit) {
  SKIP_UNDER_WINE("an address-space limit on the Wine loader");
  std::string f = file("f.wyn", script);
  std::string sparse = path("sparse.wyn");
  int fd = open(sparse.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(ftruncate(fd, (off_t)2 << 30), 0);
  close(fd);
  std::string big = big_script();
  const ReadCase cases[] = {
      {"endless stdin", {"colour", "-"}, true, "stdin: larger than"},
      {"endless keys", {"edit", "--max-size=8M", "$F", "--keys", "-"}, true, "larger than 8 MiB"},
      {"endless config", {"colour", "--max-size=8M", "--config", "-", "$F"}, true, "8 MiB"},
      {"known size", {"routines", "$S"}, false, "sparse.wyn: larger than"},
      {"a lower limit", {"colour", "--max-size=1M", "$B"}, false, "big.wyn: larger than 1 MiB"},
      {"a higher limit", {"colour", "--color=never", "--max-size=4M", "$B"}, false, ""},
      {"a bad limit", {"colour", "--max-size=lots", "$F"}, false, "--max-size"},
  };
  for (const ReadCase& c : cases) {
    Launch how;
    how.memory = (rlim_t)640 << 20;  // the default limit and a reserve, well below 1 GiB
    int p[2] = {-1, -1};
    std::thread writer;
    if (c.endless_stdin) {
      ASSERT_EQ(pipe(p), 0);
      how.in = p[0];
      writer = endless_writer(p[1]);
    }
    Ran r = run(filled(c.args, {{"$F", f}, {"$S", sparse}, {"$B", big}}), how);
    if (c.endless_stdin) {
      close(p[0]);
      writer.join();
    }
    EXPECT_EQ(r.code, *c.message ? 2 : 0) << c.what << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
  }
  EXPECT_NE(wyn({"--help"}).out.find("--max-size"), std::string::npos);
}
// }======

// {====== pages are valid UTF-8
bool valid_utf8(const std::string& text) {
  iconv_t cd = iconv_open("UTF-8", "UTF-8");
  std::string copy = text, out(text.size() * 2 + 8, 0);
  char *in = &copy[0], *to = &out[0];
  size_t in_left = copy.size(), out_left = out.size();
  bool ok = iconv(cd, &in, &in_left, &to, &out_left) != (size_t)-1;
  iconv_close(cd);
  return ok;
}

struct Utf8Case {
  const char* what;
  const char* bytes;  // inside a comment
  const char* shown;  // in the page: the bytes as UTF-8, else as Windows-1252
};

TEST_F(OutputTest, HtmlIsValidUtf8) {
  const Utf8Case cases[] = {
      {"two bytes", "\xc3\xa9", "\xc3\xa9"},
      {"four bytes", "\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
      {"lead F5", "\xf5\x80\x80", "\xc3\xb5\xe2\x82\xac\xe2\x82\xac"},
      {"lead FF", "\xff\xbf\xbf", "\xc3\xbf\xc2\xbf\xc2\xbf"},
      {"overlong two", "\xc0\xaf", "\xc3\x80\xc2\xaf"},
      {"overlong three", "\xe0\x80\xaf", "\xc3\xa0\xe2\x82\xac\xc2\xaf"},
      // 8F and 90 are no Windows-1252 character: U+FFFD.
      {"overlong four", "\xf0\x8f\xbf\xbf", "\xc3\xb0\xef\xbf\xbd\xc2\xbf\xc2\xbf"},
      {"surrogate", "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xe2\x82\xac"},
      {"above U+10FFFF", "\xf4\x90\x80\x80", "\xc3\xb4\xef\xbf\xbd\xe2\x82\xac\xe2\x82\xac"},
      {"cut short", "\xe2\x82", "\xc3\xa2\xe2\x80\x9a"},
  };
  for (const Utf8Case& c : cases) {
    std::string f = file("u.wyn", std::string("// <") + c.bytes + ">\n");
    Ran r = wyn({"colour", "--html", "-", f});
    EXPECT_EQ(r.code, 0) << c.what;
    EXPECT_TRUE(valid_utf8(r.out)) << c.what;
    EXPECT_NE(r.out.find(std::string("&lt;") + c.shown + "&gt;"), std::string::npos) << c.what;
  }
  // A file name is bytes too.
  std::string odd = file("caf\xe9 \xff.wyn", script);
  for (const std::string& page : {wyn({"colour", "--html", "-", odd}).out,
                                  wyn({"edit", "--html", "-", odd, "-e", "home"}).out})
    EXPECT_TRUE(valid_utf8(page)) << page.substr(0, 200);
}
// }======

}  // namespace
