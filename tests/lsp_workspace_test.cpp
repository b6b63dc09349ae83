// The server's workspace index in-process, over folders made for each test:
// symbol requests wait for the first walk while edits and tokens do not;
// files the client reports created, changed or removed, saved or closed
// change the answers; the walk's and the answers' limits hold and are
// said; a waiting request can be cancelled and is answered at shutdown;
// a rename reaches the indexed files.
#include <gtest/gtest.h>

#ifndef _WIN32  // the folders and the pipe are made with POSIX calls

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cwedit.h"
#include "server.h"
#include "uri.h"

namespace {

namespace fs = std::filesystem;
using wyn::lsp::json;

// A folder of the test's own under the system's temporary folder.
class Folder {
 public:
  Folder() {
    std::string t = (fs::temp_directory_path() / "wyn-ws-XXXXXX").string();
    path = mkdtemp(&t[0]) ? t : "";
  }
  ~Folder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
  void write(const std::string& rel, const std::string& text) const {
    fs::create_directories(fs::path(path + "/" + rel).parent_path());
    std::ofstream(path + "/" + rel, std::ios::binary) << text;
  }
  void remove(const std::string& rel) const { fs::remove_all(path + "/" + rel); }
  std::string uri(const std::string& rel = "") const {
    return wyn::lsp::path_to_uri(rel.empty() ? path : path + "/" + rel);
  }
  std::string path;
};

std::string routine(const std::string& name) {
  return "function " + name + "(n)\nbegin\nend;\n";
}

struct Options {
  wyn::lsp::ServerOptions o;
  Options() { o.plugin_path = WYN_PLUGIN_PATH; }
};

class Client {
 public:
  Client(const Folder& folder, json caps = json::object(), Options opts = Options())
      : server([this](const std::string& body) { out.push_back(json::parse(body)); }, opts.o) {
    send({{"id", 0},
          {"method", "initialize"},
          {"params", {{"capabilities", caps}, {"rootUri", folder.uri()}}}});
    notify("initialized", json::object());
  }
  void send(json m) {
    m["jsonrpc"] = "2.0";
    server.handle(m.dump());
  }
  void notify(const std::string& method, const json& params) {
    send({{"method", method}, {"params", params}});
  }
  // Sends a request; its id.
  int ask(const std::string& method, const json& params) {
    send({{"id", next_id}, {"method", method}, {"params", params}});
    return next_id++;
  }
  // The reply to request id so far, or null; the place it came in *at.
  const json* reply(int id, size_t* at = nullptr) const {
    for (size_t i = 0; i < out.size(); i++)
      if (out[i].value("id", json()) == id && !out[i].contains("method")) {
        if (at) *at = i;
        return &out[i];
      }
    return nullptr;
  }
  // Runs the background work out; the steps it took.
  int settle() {
    int steps = 0;
    while (server.has_background_work() && steps < 100000) server.background(), steps++;
    return steps;
  }
  // The names answered for query, once the index has settled.
  std::multiset<std::string> names(const std::string& query = "") {
    settle();
    int id = ask("workspace/symbol", {{"query", query}});
    const json* r = reply(id);
    std::multiset<std::string> got;
    if (r == nullptr || !r->contains("result")) return got;
    for (const json& s : (*r)["result"]) got.insert(s["name"].get<std::string>());
    return got;
  }
  bool logged(const std::string& part) const {
    for (const json& m : out)
      if (m.value("method", "") == "window/logMessage" &&
          m["params"]["message"].get<std::string>().find(part) != std::string::npos)
        return true;
    return false;
  }
  void open(const std::string& uri, const std::string& text) {
    notify(
        "textDocument/didOpen",
        {{"textDocument", {{"uri", uri}, {"languageId", "wyn"}, {"version", 1}, {"text", text}}}});
  }

  std::vector<json> out;
  wyn::lsp::Server server;
  int next_id = 1;
};

class LspWorkspace : public ::testing::Test {
 protected:
  void SetUp() override {
    cw_reset();
    ASSERT_FALSE(folder.path.empty());
  }
  void TearDown() override { cw_reset(); }
  Folder folder;
};

using Names = std::multiset<std::string>;

TEST_F(LspWorkspace, SymbolsWaitForTheWalkWhileEditsAndTokensAreAnswered) {
  folder.write("a.wyn", routine("Alpha"));
  folder.write("sub/deeper/b.wyn", routine("Beta"));
  folder.write(".hidden/c.wyn", routine("Hidden"));
  folder.write("node_modules/d.wyn", routine("Package"));
  folder.write("notes.txt", routine("Text"));
  for (int i = 0; i < 1500; i++) folder.write("many/f" + std::to_string(i), "");
  ASSERT_EQ(mkfifo((folder.path + "/pipe.wyn").c_str(), 0600), 0);  // must not stall the walk
  ASSERT_EQ(symlink(folder.path.c_str(), (folder.path + "/loop").c_str()), 0);

  Client c(folder);
  int symbols = c.ask("workspace/symbol", {{"query", ""}});
  const std::string uri = "untitled:/typing.wyn";
  c.open(uri, routine("Typed"));
  c.notify("textDocument/didChange", {{"textDocument", {{"uri", uri}, {"version", 2}}},
                                      {"contentChanges", {{{"text", routine("Typing")}}}}});
  int tokens = c.ask("textDocument/semanticTokens/full", {{"textDocument", {{"uri", uri}}}});
  EXPECT_NE(c.reply(tokens), nullptr);
  EXPECT_EQ(c.reply(symbols), nullptr) << "answered before the walk";

  // Each step reads a bounded number of entries: 1,500 files take several.
  EXPECT_GE(c.settle(), 3);
  size_t at_symbols = 0, at_tokens = 0;
  ASSERT_NE(c.reply(symbols, &at_symbols), nullptr);
  c.reply(tokens, &at_tokens);
  EXPECT_LT(at_tokens, at_symbols);
  Names got;
  for (const json& s : (*c.reply(symbols))["result"]) got.insert(s["name"].get<std::string>());
  EXPECT_EQ(got, (Names{"Alpha", "Beta", "Typing"}));
}

TEST_F(LspWorkspace, ReportedChangesUpdateTheAnswers) {
  folder.write("a.wyn", routine("Alpha"));
  folder.write("sub/b.wyn", routine("Beta"));
  json caps = {{"workspace", {{"didChangeWatchedFiles", {{"dynamicRegistration", true}}}}}};
  Options opts;
  opts.o.rewalk_after = 0;  // were the folders walked again, the watch would prove nothing
  Client c(folder, caps, opts);
  bool registered = false;
  for (const json& m : c.out)
    if (m.value("method", "") == "client/registerCapability")
      registered = m.dump().find("**/*.wyn") != std::string::npos;
  ASSERT_TRUE(registered);
  EXPECT_EQ(c.names(), (Names{"Alpha", "Beta"}));

  struct Case {
    const char* name;
    const char* write;  // the file written, or removed when text is null
    const char* text;
    const char* reported;  // the file or folder reported
    int type;              // created, changed, deleted
    Names want;
  };
  const Case cases[] = {
      {"created",
       "new.wyn",
       "function Gamma()\nbegin\nend;\n",
       "new.wyn",
       1,
       {"Alpha", "Beta", "Gamma"}},
      {"changed, same size",
       "a.wyn",
       "function Alfa1(n)\nbegin\nend;\n",
       "a.wyn",
       2,
       {"Alfa1", "Beta", "Gamma"}},
      {"deleted", "sub/b.wyn", nullptr, "sub/b.wyn", 3, {"Alfa1", "Gamma"}},
      {"created deep",
       "deep/er/x.wyn",
       "function Delta()\nbegin\nend;\n",
       "deep/er/x.wyn",
       1,
       {"Alfa1", "Delta", "Gamma"}},
      {"its folder deleted", "deep", nullptr, "deep", 3, {"Alfa1", "Gamma"}},
      {"in a hidden folder",
       ".git/y.wyn",
       "function Hid()\nbegin\nend;\n",
       ".git/y.wyn",
       1,
       {"Alfa1", "Gamma"}},
      {"not a script", "z.txt", "function Txt()\nbegin\nend;\n", "z.txt", 1, {"Alfa1", "Gamma"}},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.name);
    if (t.text) {
      folder.write(t.write, t.text);
    } else {
      folder.remove(t.write);
    }
    c.notify("workspace/didChangeWatchedFiles",
             {{"changes", {{{"uri", folder.uri(t.reported)}, {"type", t.type}}}}});
    EXPECT_EQ(c.names(), t.want);
  }
}

TEST_F(LspWorkspace, SavedOrClosedFilesAndLaterWalksUpdateTheAnswers) {
  struct Case {
    const char* name;
    double rewalk_after;
    const char* report;  // the notification that tells, or none
  };
  const Case cases[] = {
      {"saved", 1e9, "textDocument/didSave"},
      {"closed", 1e9, "textDocument/didClose"},
      {"walked again", 0, nullptr},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.name);
    folder.write("a.wyn", routine("Alpha"));
    Options opts;
    opts.o.rewalk_after = t.rewalk_after;
    Client c(folder, json::object(), opts);
    EXPECT_EQ(c.names(), (Names{"Alpha"}));
    folder.write("a.wyn", routine("AlphaSaved"));
    if (t.report) c.notify(t.report, {{"textDocument", {{"uri", folder.uri("a.wyn")}}}});
    c.names();  // a request starts the later walk
    EXPECT_EQ(c.names(), (Names{"AlphaSaved"}));
  }
}

TEST_F(LspWorkspace, WalkLimitsHoldAndAreSaid) {
  struct Case {
    const char* name;
    void (*limit)(wyn::lsp::WorkspaceIndex::Limits*);
    size_t least, most;  // routines answered
    const char* said;
  };
  const Case cases[] = {
      {"none", [](auto*) {}, 7, 7, nullptr},
      // Four entries, "." and ".." among them wherever the folder puts them.
      {"directory entries", [](auto* l) { l->entries = 4; }, 0, 4, "stopped after 4 directory"},
      {"scripts", [](auto* l) { l->files = 3; }, 3, 3, "past the first 3"},
      {"bytes of all scripts", [](auto* l) { l->total_bytes = 70; }, 2, 2, "past the first"},
      {"one script's bytes", [](auto* l) { l->file_bytes = 100; }, 6, 6, "larger than"},
      {"depth", [](auto* l) { l->depth = 0; }, 6, 6, nullptr},
  };
  for (int i = 0; i < 5; i++) folder.write("s" + std::to_string(i) + ".wyn", routine("R"));
  folder.write("big.wyn", routine("Big") + std::string(200, ' '));
  folder.write("sub/deep.wyn", routine("Deep"));
  for (const Case& t : cases) {
    SCOPED_TRACE(t.name);
    Options opts;
    t.limit(&opts.o.index_limits);
    Client c(folder, json::object(), opts);
    size_t n = c.names().size();
    EXPECT_GE(n, t.least);
    EXPECT_LE(n, t.most);
    EXPECT_EQ(c.logged("workspace index:"), t.said != nullptr);
    if (t.said) {
      EXPECT_TRUE(c.logged(t.said));
    }
  }
}

TEST_F(LspWorkspace, AnswersAreCutToTheBestMatches) {
  folder.write("a.wyn", routine("MyFoo") + routine("FooBar") + routine("Foo") + routine("Other"));
  folder.write("b.wyn", routine("Foo"));
  Options opts;
  opts.o.symbol_limit = 2;
  Client c(folder, json::object(), opts);
  c.open("untitled:/open.wyn", routine("FooOpen"));
  c.settle();
  struct Case {
    std::string query;
    std::vector<std::string> want;  // in order
    bool cut;
  };
  const Case cases[] = {
      {"foo", {"Foo", "Foo"}, true},  // whole names before starts before insides
      {"foob", {"FooBar"}, false},
      {"oo", {"FooOpen", "Foo"}, true},  // an open document first
      {"", {"FooOpen", "Foo"}, true},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.query);
    c.out.clear();
    int id = c.ask("workspace/symbol", {{"query", t.query}});
    std::vector<std::string> got;
    for (const json& s : (*c.reply(id))["result"]) got.push_back(s["name"].get<std::string>());
    EXPECT_EQ(got, t.want);
    EXPECT_EQ(c.logged("are answered"), t.cut);
  }
}

// A global's rename waits for the walk, then edits the files on disk that
// use it, not one where a local shadows it nor the disk copy of an open one.
TEST_F(LspWorkspace, RenameReachesTheIndexedFiles) {
  folder.write("lib.wyn", "function Greet()\nbegin\n    MessageBox(szUser, 0);\nend;\n");
  folder.write("shadow.wyn",
               "function Other()\n    STRING szUser;\nbegin\n    szUser = \"\";\nend;\n");
  folder.write("notes.wyn", "// szUser is asked for first\n");
  folder.write("main.wyn", "STRING szUser;\n");
  Client c(folder);
  const std::string main = folder.uri("main.wyn");
  c.open(main, "STRING szUser;\nprogram\n    szUser = \"me\";\n    Greet();\nendprogram\n");
  int id = c.ask("textDocument/rename", {{"textDocument", {{"uri", main}}},
                                         {"position", {{"line", 2}, {"character", 6}}},
                                         {"newName", "szName"}});
  EXPECT_EQ(c.reply(id), nullptr) << "answered before the walk";
  c.settle();
  ASSERT_NE(c.reply(id), nullptr);
  json changes = (*c.reply(id))["result"]["changes"];
  std::map<std::string, std::vector<int>> lines;  // the lines edited, by file
  for (auto& [uri, edits] : changes.items())
    for (const json& e : edits) lines[uri].push_back(e["range"]["start"]["line"].get<int>());
  EXPECT_EQ(lines, (std::map<std::string, std::vector<int>>{{main, {0, 2}},
                                                            {folder.uri("lib.wyn"), {2}}}));
}

TEST_F(LspWorkspace, WaitingRequestsAreCancelledOrAnsweredAtShutdown) {
  folder.write("a.wyn", routine("Alpha"));
  Client c(folder);
  int first = c.ask("workspace/symbol", {{"query", "Al"}});
  int second = c.ask("workspace/symbol", {{"query", "Al"}});
  c.notify("$/cancelRequest", {{"id", first}});
  ASSERT_NE(c.reply(first), nullptr);
  EXPECT_EQ((*c.reply(first))["error"]["code"], -32800);
  EXPECT_EQ(c.reply(second), nullptr);
  int shutdown = c.ask("shutdown", nullptr);
  size_t at_second = 0, at_shutdown = 0;
  ASSERT_NE(c.reply(second, &at_second), nullptr);
  ASSERT_NE(c.reply(shutdown, &at_shutdown), nullptr);
  EXPECT_TRUE((*c.reply(second))["result"].is_array());
  EXPECT_LT(at_second, at_shutdown);
}

}  // namespace

#endif
