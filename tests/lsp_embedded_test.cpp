// The server driven by its host instead of a stream: lsp.h's embedded door
// gives the same answers as the server fed directly, ends with the status
// the stdio loop would, and runs the deferred check only once the client
// has been quiet for the pause, measured from its last message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "between.h"
#include "embedded.h"
#include "lsp.h"
#include "server.h"

namespace {

using wyn::lsp::json;

std::string message(int id, const std::string& method, const json& params) {
  json m = {{"jsonrpc", "2.0"}, {"method", method}, {"params", params}};
  if (id != 0) m["id"] = id;
  return m.dump();
}

const char* const kUri = "file:///w/setup.wyn";
const char* const kText = "function Setup()\n  x = 1\n  if x then\n    return x\nend\n";

// A session up to the tokens of an open script, then the way it ends.
std::vector<std::string> session(const std::vector<std::string>& ending) {
  std::vector<std::string> in = {
      message(1, "initialize", {{"capabilities", json::object()}, {"processId", nullptr}}),
      message(0, "initialized", json::object()),
      message(0, "textDocument/didOpen",
              {{"textDocument",
                {{"uri", kUri}, {"languageId", "wyn"}, {"version", 1}, {"text", kText}}}}),
      message(2, "textDocument/semanticTokens/full", {{"textDocument", {{"uri", kUri}}}}),
      message(3, "textDocument/documentSymbol", {{"textDocument", {{"uri", kUri}}}})};
  in.insert(in.end(), ending.begin(), ending.end());
  return in;
}

std::vector<std::string> sent;
void keep(const char* body, size_t n, void* context) {
  EXPECT_EQ(context, &sent);
  sent.emplace_back(body, n);
}

TEST(LspEmbedded, DoorAnswersAsTheServerAndEndsWithItsStatus) {
  struct Case {
    const char* name;
    std::vector<std::string> ending;
    int status;  // after the last message
  } cases[] = {
      {"shutdown then exit", {message(9, "shutdown", nullptr), message(0, "exit", nullptr)}, 0},
      {"exit without shutdown", {message(0, "exit", nullptr)}, 1},
      {"not JSON, then on", {"{oops", message(0, "exit", nullptr)}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> in = session(c.ending);

    std::vector<std::string> direct;
    {
      wyn::lsp::ServerOptions options;
      options.plugin_path = WYN_PLUGIN_PATH;
      wyn::lsp::Server server([&](const std::string& body) { direct.push_back(body); }, options);
      for (const std::string& body : in) server.handle(body);
    }

    sent.clear();
    ASSERT_TRUE(wyn::lsp::lsp_embedded_open(keep, &sent));
    EXPECT_FALSE(wyn::lsp::lsp_embedded_open(keep, &sent));  // one at a time
    int status = -1;
    for (size_t i = 0; i < in.size(); i++) {
      status = wyn::lsp::lsp_embedded_feed(in[i].data(), in[i].size());
      EXPECT_EQ(status, i + 1 < in.size() ? -1 : c.status) << in[i];
    }
    // After the exit nothing more is served, and the status stays.
    size_t before = sent.size();
    std::string late = message(7, "shutdown", nullptr);
    EXPECT_EQ(wyn::lsp::lsp_embedded_feed(late.data(), late.size()), c.status);
    EXPECT_EQ(wyn::lsp::lsp_embedded_tick(), -1);
    EXPECT_EQ(sent.size(), before);
    wyn::lsp::lsp_embedded_close();

    EXPECT_EQ(sent, direct);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_NE(sent[0].find("\"capabilities\""), std::string::npos);
  }
  // Closed, the door serves nothing and opens again.
  EXPECT_EQ(wyn::lsp::lsp_embedded_tick(), -1);
  EXPECT_EQ(wyn::lsp::lsp_embedded_feed("{}", 2), 1);
  ASSERT_TRUE(wyn::lsp::lsp_embedded_open(keep, &sent));
  wyn::lsp::lsp_embedded_close();
}

// The deferred whole-document check, every script deferred: due after the
// pause, which a message starts again.
TEST(LspEmbedded, DeferredCheckRunsOnceTheClientIsQuiet) {
  uint64_t clock = 1000;
  wyn::lsp::ServerOptions options;
  options.plugin_path = WYN_PLUGIN_PATH;
  options.check_at_once = 0;
  options.check_within_ms = 1u << 30;  // no check forced by a message
  options.clock = [&clock] { return clock; };
  std::vector<json> out;
  wyn::lsp::Embedded host([&](const std::string& body) { out.push_back(json::parse(body)); },
                          options);
  auto checks = [&out] {
    int n = 0;
    for (const json& m : out) n += m.value("method", "") == "textDocument/publishDiagnostics";
    return n;
  };
  auto feed = [&host](const std::string& body) { return host.feed(body.data(), body.size()); };
  for (const std::string& body : session({})) ASSERT_EQ(feed(body), -1);
  int opened = checks();
  EXPECT_EQ(host.tick(), -1);  // nothing deferred yet

  auto change = [](int version, const char* text) {
    return message(0, "textDocument/didChange",
                   {{"textDocument", {{"uri", kUri}, {"version", version}}},
                    {"contentChanges", {{{"text", text}}}}});
  };
  const int q = wyn::lsp::kQuietMs;
  struct Step {
    uint64_t advance;     // the clock moves on by this much
    std::string message;  // then this is fed, if any
    int due;              // what tick() then says
    int checks;           // checks sent since the script was opened
  } steps[] = {
      {0, change(2, "x = 1\n"), q, 0},
      {(uint64_t)q - 1, "", 1, 0},
      {0, change(3, "x = 2\n"), q, 0},  // a message starts the pause again
      {(uint64_t)q - 1, "", 1, 0},
      {1, "", -1, 1},  // quiet long enough: checked, nothing left
      {5000, "", -1, 1},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.message + " after " + std::to_string(s.advance));
    clock += s.advance;
    if (!s.message.empty()) {
      ASSERT_EQ(feed(s.message), -1);
    }
    EXPECT_EQ(host.tick(), s.due);
    EXPECT_EQ(checks() - opened, s.checks);
  }
  EXPECT_EQ(out.back()["params"].value("version", 0), 3);
}

}  // namespace
