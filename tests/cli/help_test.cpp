// The help as users reach it: the whole page, one command's part, the
// manual page and shell completions made from the same text, and what the
// language server says when its input is no protocol at all.
#include <algorithm>
#include <regex>
#include <set>

#include "tool_run.h"

namespace {

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(ToolTest, HelpForTheWholePageAndForOneCommand) {
  const std::string page = wyn({"--help"}).out;
  struct {
    std::vector<std::string> args;
    int code;
    std::vector<std::string> has, lacks;  // in stdout, or stderr when code is 2
  } cases[] = {
      {{"--help"},
       0,
       {"wyn lsp [--stdio]", "wyn help [COMMAND]", "    lsp        ", "wyn format [--check"},
       {}},
      {{"help", "colour"},
       0,
       {"wyn colour --css", "--css ", "--html-fragment", "--max-size=SIZE"},
       {"wyn routines", "--keys", "KEYS SCRIPT", "--version"}},
      {{"help", "edit"}, 0, {"wyn edit (--keys", "KEYS SCRIPT", "--state-flag N"}, {"    --css"}},
      {{"help", "check"}, 0, {"--include-dir=DIR", "-R, --recurse"}, {"--html", "    --css"}},
      {{"help", "lsp"}, 0, {"wyn lsp [--stdio]", "Language Server Protocol"}, {"OPTIONS"}},
      {{"help", "nope"},
       2,
       {"wyn: unknown command nope; the commands: colour routines", " lsp help\n"},
       {}},
      {{"help", "colour", "edit"}, 2, {"unknown command colour"}, {}},
  };
  for (const auto& c : cases) {
    Ran r = wyn(c.args);
    std::string what = c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : "");
    EXPECT_EQ(r.code, c.code) << what << ": " << r.err;
    const std::string& text = c.code == 2 ? r.err : r.out;
    if (c.code == 2) {
      EXPECT_EQ(r.out, "") << what;
    }
    for (const std::string& part : c.has) EXPECT_TRUE(has(text, part)) << what << ": " << part;
    for (const std::string& part : c.lacks) EXPECT_FALSE(has(text, part)) << what << ": " << part;
  }
  // Every way to ask for one command's part gives the same text.
  const std::vector<std::vector<std::string>> same[] = {
      {{"help"}, {"--help"}, {"-h"}, {"--help", "colour"}},
      {{"help", "colour"}, {"colour", "--help"}, {"color", "-h"}, {"colour", "x.wyn", "--help"}},
      {{"help", "lsp"}, {"lsp", "--help"}, {"lsp", "--stdio", "-h"}},
  };
  for (const auto& group : same) {
    Ran first = wyn(group[0]);
    for (const auto& args : group) {
      Ran r = wyn(args);
      EXPECT_EQ(r.code, 0) << args[0];
      EXPECT_EQ(r.out, first.out) << args[0] << " " << args.back();
    }
  }
  EXPECT_EQ(wyn({"help"}).out, page);
}

#ifdef WYN_DOC_DIR
// The options the whole page tells of, as their long names or letters.
std::set<std::string> options_on_the_page() {
  std::string page = wyn({"--help"}).out;
  std::string options = page.substr(page.find("\nOPTIONS\n"));
  options = options.substr(0, options.find("\n\n", 1));
  std::set<std::string> names;
  std::regex option("^    (-[a-zA-Z]|--[a-z-]+)(?:[=, \\[]|$)(?:.*?, (--[a-z-]+))?");
  std::istringstream lines(options);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, option)) continue;
    for (size_t k = 1; k < m.size(); k++)
      if (m[k].matched) names.insert(m[k]);
  }
  return names;
}

const std::string doc_dir = WYN_DOC_DIR;

bool installed(const char* program) {
  return run_program("/bin/sh", {"-c", std::string("command -v ") + program}).code == 0;
}

TEST_F(ToolTest, ManualPageRendersWithoutWarnings) {
  std::string page = doc_dir + "/man/wyn.1";
  Ran r = installed("man")
              ? run_program("/usr/bin/env", {"MANWIDTH=80", "man", "--warnings", "-l", page})
              : run_program("/usr/bin/env", {"groff", "-ww", "-man", "-Tutf8", page});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  for (const char* part : {"SYNOPSIS", "KEYS SCRIPT", "EXIT STATUS", "wyn lsp", "max"})
    EXPECT_TRUE(has(r.out, part)) << part;
}

TEST_F(ToolTest, BashCompletesCommandsOptionsAndFiles) {
  std::filesystem::create_directories(dir + "/sub");
  file("a.wyn", "");
  file("notes.txt", "");
  struct {
    const char* words;  // the command line up to the word being completed
    const char* want;   // the candidates, sorted, one blank between
  } cases[] = {
      {"wyn ch", "check"},
      {"wyn --config x.cfg co", "colour"},
      {"wyn check --f", "--format"},
      {"wyn colour --c", "--color --colour --config --css"},
      {"wyn routines --c", "--color --colour --config --ctags"},
      {"wyn help e", "edit expand export"},
      {"wyn check -R ''", "a.wyn sub"},
      {"wyn check --include-dir ''", "sub"},
      {"wyn colour ''", "a.wyn notes.txt sub"},
      {"wyn info ''", ""},
  };
  for (const auto& c : cases) {
    std::string script = ". '" + doc_dir + "/bash/wyn'; cd '" + dir + "'; COMP_WORDS=(" + c.words +
                         "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1));"
                         " _wyn; printf '%s\\n' \"${COMPREPLY[@]}\" | sort | paste -sd' '";
    Ran r = run_program("/bin/bash", {"--norc", "-c", script});
    EXPECT_EQ(r.code, 0) << c.words << ": " << r.err;
    EXPECT_EQ(r.out, std::string(c.want) + "\n") << c.words;
  }
}

// Each completion tells of every option on the page, and parses where its
// shell is there to read it.
TEST_F(ToolTest, CompletionsKnowEveryOption) {
  std::set<std::string> names = options_on_the_page();
  EXPECT_GE(names.size(), 30u);
  struct {
    const char* file;
    const char* shell;  // reads it with -n
    std::string (*as)(const std::string& name);
  } shells[] = {
      {"/bash/wyn", "bash", [](const std::string& n) { return n; }},
      {"/zsh/_wyn", "zsh", [](const std::string& n) { return "'" + n; }},
      {"/fish/wyn.fish", "fish",
       [](const std::string& n) {
         return n[1] == '-' ? " -l " + n.substr(2) : " -s " + n.substr(1);
       }},
  };
  for (const auto& s : shells) {
    std::string text = read_file(doc_dir + s.file);
    for (const std::string& name : names)
      EXPECT_TRUE(has(text, s.as(name))) << s.file << ": " << name;
    if (!installed(s.shell)) continue;
    Ran r = run_program("/usr/bin/env", {s.shell, "-n", doc_dir + s.file});
    EXPECT_EQ(r.code, 0) << s.file << ": " << r.err;
  }
}
#endif

std::string framed(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Input that never was the protocol is told in one line; the protocol's
// own framing errors and an editor's ending are told as before, or not.
TEST_F(ToolTest, ServerTellsInputThatIsNotTheProtocol) {
  const std::string told = "wyn lsp: standard input is not the language server protocol";
  struct {
    const char* what;
    std::string input;
    std::string err;  // the whole of stderr; "" for nothing
  } cases[] = {
      {"text", "garbage\n",
       told + " (read \"garbage\\n\", expected a Content-Length header); start it from an "
              "editor\n"},
      {"binary, cut short", std::string(40, '\x01'),
       told + " (read \"" +
           [] {
             std::string s;
             for (int i = 0; i < 24; i++) s += "\\x01";
             return s;
           }() +
           "\"..., expected a Content-Length header); start it from an editor\n"},
      {"nothing at all", "", ""},
      {"an exit", framed(R"({"jsonrpc":"2.0","method":"exit"})"), ""},
      {"a header, cut short", "Content-Len",
       told + " (read \"Content-Len\", expected a "
              "Content-Length header); start it from an "
              "editor\n"},
      {"a body that is no JSON", framed("hello"), ""},
      {"a body cut short", "Content-Length: 10\r\n\r\n{}", ""},
  };
  for (const auto& c : cases) {
    Ran r = wyn({"lsp"}, c.input);
    EXPECT_EQ(r.code, 1) << c.what;
    // The server's stderr is text: on Windows its lines end in CR LF.
    r.err.erase(std::remove(r.err.begin(), r.err.end(), '\r'), r.err.end());
    EXPECT_EQ(r.err, c.err) << c.what;
  }
}

}  // namespace
