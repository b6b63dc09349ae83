// Configuration files a project may hold as links to anything (a cloned
// repository keeps symbolic links): a FIFO, a device or standard input is
// refused by name, never read or waited on, by the tool and the server.
#include "tool_run.h"

#include "../support/fifo_feeder.h"

#include <errno.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <memory>

namespace {

const char words[] = "keyword ZWORD keyword\n";

// A .wyn.cfg beside the script, or a --config, that is no regular file
// stops the command with the file named and why, exit 2, at once; the
// project's file can be left out with --no-config.
TEST_F(ToolTest, AConfigurationFileThatIsNoRegularFileIsRefusedWithoutWaiting) {
  SKIP_UNDER_WINE("FIFOs, device nodes and /dev/stdin");
  enum Kind { FIFO, LINK_TO_FIFO, LINK_TO_STDIN, DEVICE };
  struct {
    const char* what;
    Kind kind;
    bool named;  // --config rather than the project's .wyn.cfg
    const char* reason;
  } cases[] = {
      {"FIFO", FIFO, false, "is a FIFO"},
      {"link to a FIFO", LINK_TO_FIFO, false, "is a FIFO"},
      {"link to standard input", LINK_TO_STDIN, false, "is a FIFO"},
      {"device", DEVICE, false, "is a device"},
      {"FIFO named by --config", FIFO, true, "is a FIFO"},
      {"link to standard input named by --config", LINK_TO_STDIN, true, "is a FIFO"},
  };
  for (const auto& c : cases) {
    std::string folder = dir + "/" + std::to_string(&c - cases);
    std::filesystem::create_directory(folder);
    std::string script = folder + "/a.wyn";
    write_file(script, "ZWORD\n");
    std::string cfg = folder + (c.named ? "/named.cfg" : "/.wyn.cfg");
    std::unique_ptr<support::FifoFeeder> feeder;
    if (c.kind == FIFO || c.kind == LINK_TO_FIFO) {
      std::string fifo = c.kind == FIFO ? cfg : folder + "/target";
      ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << c.what;
      feeder = std::make_unique<support::FifoFeeder>(fifo, words);
    }
    // The child's standard input is the test's pipe, holding a configuration.
    const char* target = c.kind == LINK_TO_FIFO ? "target" : "/dev/stdin";
    if (c.kind == LINK_TO_FIFO || c.kind == LINK_TO_STDIN) {
      ASSERT_EQ(symlink(target, cfg.c_str()), 0) << c.what;
    }
    if (c.kind == DEVICE && mknod(cfg.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
      ASSERT_EQ(errno, EPERM) << c.what;
      continue;  // only the superuser makes device nodes
    }
    std::vector<std::string> args = {"colour", "--color=always", script};
    if (c.named) args.insert(args.begin(), {"--config", cfg});
    Ran r = wyn(args, words);
    feeder.reset();
    EXPECT_EQ(r.code, 2) << c.what;
    EXPECT_EQ(r.out, "") << c.what;
    EXPECT_NE(r.err.find(cfg + ": " + c.reason), std::string::npos) << c.what << ": " << r.err;
    EXPECT_EQ(r.err.find("--no-config") != std::string::npos, !c.named) << c.what << ": " << r.err;
    EXPECT_EQ(count_of(r.err, "\n"), 1u) << c.what << ": " << r.err;
    if (c.named) continue;
    args.insert(args.begin(), "--no-config");
    Ran without = wyn(args, words);
    EXPECT_EQ(without.code, 0) << c.what << ": " << without.err;
    EXPECT_EQ(count_of(without.out, "ZWORD"), 1u) << c.what;
  }
}

// The --config files are read once a run: a file of another project,
// started afresh, takes them too, standard input included.
TEST_F(ToolTest, NamedConfigurationAppliesToEveryProjectOfARun) {
  for (const char* project : {"/p/.git", "/q/.git"})
    std::filesystem::create_directories(dir + project);
  std::string a = file("p/a.wyn", "ZWORD\n"), b = file("q/b.wyn", "ZWORD\n");
  file("p/.wyn.cfg", "template zz \"p&\"\n");
  file("words.cfg", words);
  for (const std::string& named : {std::string("-"), dir + "/words.cfg"}) {
    Ran r = wyn({"--config", named, "colour", "--color=always", a, b}, words);
    EXPECT_EQ(r.code, 0) << named << ": " << r.err;
    EXPECT_EQ(count_of(r.out, "\x1b[1;38;5;111mZWORD"), 2u) << named << ": " << r.out;
  }
}

std::string framed(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The server's .wyn.cfg a link to its own standard input: the protocol
// stream is not read as configuration, so every request is answered and
// the session ends cleanly.
TEST_F(ToolTest, TheServerNeverReadsItsOwnInputAsConfiguration) {
  SKIP_UNDER_WINE("/dev/stdin");
  ASSERT_EQ(symlink("/dev/stdin", (dir + "/.wyn.cfg").c_str()), 0);
  std::string input =
      framed(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{},)"
             R"("rootUri":"file://)" +
             dir + R"("}})") +
      framed(R"({"jsonrpc":"2.0","method":"initialized","params":{}})") +
      framed(R"({"jsonrpc":"2.0","id":2,"method":"shutdown"})") +
      framed(R"({"jsonrpc":"2.0","method":"exit"})");
  Ran r = wyn({"lsp"}, input);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find(R"("id":1,"result":{"capabilities")"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("id":2,"result":null)"), std::string::npos) << r.out;
  // The problem is told to the client, not to stderr.
  EXPECT_NE(r.out.find(dir + "/.wyn.cfg not applied: is a FIFO"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
}

}  // namespace
