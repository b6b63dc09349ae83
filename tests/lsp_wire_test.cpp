// What the server does with what arrives on the wire that a well-behaved
// client would not send, and with a client that never goes quiet: bad
// frames answered by their id, deep JSON refused before anything walks it,
// lone surrogates taken as one replacement unit, and the deferred
// whole-buffer check run within a bounded time whatever the traffic.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cwedit.h"
#include "server.h"

namespace {

using wyn::lsp::json;

// A server in-process with every message it sends kept, initialized.
struct Wire {
  explicit Wire(wyn::lsp::ServerOptions o = options(), json caps = json::object())
      : server([this](const std::string& body) { out.push_back(json::parse(body)); }, o) {
    server.handle(json{{"jsonrpc", "2.0"},
                       {"id", 0},
                       {"method", "initialize"},
                       {"params", {{"capabilities", caps}}}}
                      .dump());
    send(R"({"jsonrpc":"2.0","method":"initialized","params":{}})");
  }
  static wyn::lsp::ServerOptions options() {
    wyn::lsp::ServerOptions o;
    o.plugin_path = WYN_PLUGIN_PATH;
    return o;
  }
  // The messages a body brought out.
  std::vector<json> send(const std::string& body) {
    size_t before = out.size();
    server.handle(body);
    return std::vector<json>(out.begin() + (long)before, out.end());
  }
  void open(const std::string& uri, const std::string& text) {
    send(json{{"jsonrpc", "2.0"},
              {"method", "textDocument/didOpen"},
              {"params", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", text}}}}}}
             .dump());
  }
  // A didChange inserting text, written as raw JSON, at line:character.
  std::vector<json> insert(const std::string& uri, int line, int ch, const std::string& text) {
    std::string at =
        "{\"line\":" + std::to_string(line) + ",\"character\":" + std::to_string(ch) + "}";
    return send(
        R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":")" +
        uri + R"(","version":2},"contentChanges":[{"range":{"start":)" + at + ",\"end\":" + at +
        "},\"text\":\"" + text + "\"}]}}");
  }
  json tokens(const std::string& uri) {
    std::vector<json> r = send(json{{"jsonrpc", "2.0"},
                                    {"id", 99},
                                    {"method", "textDocument/semanticTokens/full"},
                                    {"params", {{"textDocument", {{"uri", uri}}}}}}
                                   .dump());
    return r.empty() ? json() : r.back()["result"]["data"];
  }
  std::vector<json> out;
  wyn::lsp::Server server;
};

class LspWire : public ::testing::Test {
 protected:
  void SetUp() override { cw_reset(); }
  void TearDown() override { cw_reset(); }
};

std::string nested(size_t levels) {
  return std::string(levels, '[') + std::string(levels, ']');
}

// A message the transport could not frame is answered by its own id when
// its body was found, logged when it is a notification, and answered with
// a null id when nothing is known of it.
TEST_F(LspWire, ABadFrameIsAnsweredByItsId) {
  const struct {
    const char* name;
    std::string body;
    json id;  // null: a null id; "none": no answer
  } rows[] = {
      {"request", R"({"jsonrpc":"2.0","id":4,"method":"shutdown"})", 4},
      {"string_id", R"({"jsonrpc":"2.0","id":"q","method":"shutdown"})", "q"},
      {"no_body", "", nullptr},
      {"not_json", "{\"id\":4,", nullptr},
      {"bad_id", R"({"jsonrpc":"2.0","id":[4],"method":"shutdown"})", nullptr},
      {"notification", R"({"jsonrpc":"2.0","method":"initialized"})", "none"},
  };
  Wire w;
  for (const auto& row : rows) {
    w.out.clear();
    w.server.framing_error(wyn::lsp::PARSE_ERROR, "bad frame", row.body);
    std::vector<json> replies;
    for (const json& m : w.out)
      if (m.contains("id")) replies.push_back(m);
    if (row.id == "none") {
      EXPECT_TRUE(replies.empty()) << row.name;
      continue;
    }
    ASSERT_EQ(replies.size(), 1u) << row.name;
    EXPECT_EQ(replies[0]["id"], row.id) << row.name;
    EXPECT_EQ(replies[0]["error"]["code"], wyn::lsp::PARSE_ERROR) << row.name;
  }
  EXPECT_FALSE(w.server.exited());
}

// Each row: a message with something nested far too deep, and the answer:
// an error code by id (id 0: a null id), or no answer at all (code 0).
TEST_F(LspWire, DeepJsonIsRefusedAndTheServerLivesOn) {
  struct Row {
    const char* name;
    std::string body;
    int code;
    int id;
  } rows[] = {
      {"resolve_data",
       R"({"jsonrpc":"2.0","id":7,"method":"completionItem/resolve","params":{"label":"x","data":)" +
           nested(100000) + "}}",
       -32602, 7},
      {"initialize_capabilities",
       R"({"jsonrpc":"2.0","id":8,"method":"initialize","params":{"capabilities":)" +
           nested(1000000) + "}}",
       -32602, 8},
      {"initialization_options",
       R"({"jsonrpc":"2.0","id":9,"method":"initialize","params":{"initializationOptions":{"a":)" +
           nested(100000) + "}}}",
       -32602, 9},
      {"id", R"({"jsonrpc":"2.0","id":)" + nested(1000000) + R"(,"method":"shutdown"})", -32600, 0},
      {"beside_params",
       R"({"jsonrpc":"2.0","id":10,"method":"shutdown","x":)" + nested(100000) + "}", -32600, 10},
      {"whole_message", nested(1000000), -32600, 0},
      {"configuration",
       R"({"jsonrpc":"2.0","method":"workspace/didChangeConfiguration","params":{"settings":{"wyn":)" +
           nested(100000) + "}}}",
       0, 0},
  };
  Wire w;
  for (const Row& row : rows) {
    std::vector<json> got = w.send(row.body);
    std::vector<json> replies;
    for (const json& m : got)
      if (m.contains("id")) replies.push_back(m);
    if (row.code == 0) {
      EXPECT_TRUE(replies.empty()) << row.name << ": " << replies[0].dump();
      continue;
    }
    ASSERT_EQ(replies.size(), 1u) << row.name;
    EXPECT_EQ(replies[0]["error"]["code"], row.code) << row.name;
    EXPECT_EQ(replies[0]["id"], row.id == 0 ? json() : json(row.id)) << row.name;
  }
  // As deep as a client could mean still goes through, and the server lives.
  std::vector<json> fine = w.send(
      R"({"jsonrpc":"2.0","id":11,"method":"completionItem/resolve","params":{"label":"x","data":)" +
      nested(wyn::lsp::kNestingLimit - 1) + "}}");
  ASSERT_EQ(fine.size(), 1u);
  EXPECT_TRUE(fine[0].contains("result")) << fine[0].dump().substr(0, 200);
}

// A didChange holding a lone surrogate, as a JavaScript client writes a
// string cut between the halves of a pair: taken as U+FFFD, one UTF-16
// unit, so later positions on that line land where the client means.
// No message but the diagnostics every check publishes: nothing refused.
bool quiet(const std::vector<json>& sent) {
  for (const json& m : sent)
    if (m.value("method", "") != "textDocument/publishDiagnostics") return false;
  return true;
}

TEST_F(LspWire, ALoneSurrogateIsOneReplacementUnit) {
  Wire w;
  w.open("file:///s.wyn", "a = 1;\nb = 2;\n");
  EXPECT_TRUE(quiet(w.insert("file:///s.wyn", 0, 0, "\\ud800\\n")));
  EXPECT_TRUE(quiet(w.insert("file:///s.wyn", 0, 1, "/*")));
  EXPECT_TRUE(quiet(w.insert("file:///s.wyn", 2, 0, "*/")));
  w.open("file:///t.wyn", "\xEF\xBF\xBD/*\na = 1;\n*/b = 2;\n");
  EXPECT_EQ(w.tokens("file:///s.wyn"), w.tokens("file:///t.wyn"));
}

// Closing a comment far above leaves the lines below stale until the
// whole-buffer check; a client that sends something every 0.2 s never
// lets the server go quiet, and still gets the check within a second of
// the change, and a refresh, since it holds tokens the check changed.
TEST_F(LspWire, TheDeferredCheckRunsWithinASecondWhateverTheTraffic) {
  uint64_t now = 5000;
  wyn::lsp::ServerOptions o = Wire::options();
  o.check_at_once = 0;  // every document is checked later
  o.clock = [&now] { return now; };
  Wire w(o, json{{"workspace", {{"semanticTokens", {{"refreshSupport", true}}}}}});
  std::string text = "/*\n";
  for (int i = 0; i < 100; i++) text += "x = " + std::to_string(i) + ";\n";
  w.open("file:///d.wyn", text);
  w.insert("file:///d.wyn", 1, 0, "*/");
  json stale = w.tokens("file:///d.wyn");
  w.open("file:///fresh.wyn", "/*\n*/" + text.substr(3));
  json fresh = w.tokens("file:///fresh.wyn");
  ASSERT_NE(stale, fresh);  // else there is nothing for the check to do
  int refreshed_at = -1;
  for (int ms = 200; ms <= 3000 && refreshed_at < 0; ms += 200) {
    now += 200;
    for (const json& m :
         w.send(R"({"jsonrpc":"2.0","method":"$/setTrace","params":{"value":"off"}})"))
      if (m.value("method", "") == "workspace/semanticTokens/refresh") refreshed_at = ms;
  }
  EXPECT_GE(refreshed_at, 1000);
  EXPECT_LE(refreshed_at, 1200);
  EXPECT_EQ(w.tokens("file:///d.wyn"), fresh);
}

}  // namespace
