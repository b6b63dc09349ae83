// The language server in-process: messages in, replies out. Lifecycle and
// error answers as a table; tokens decoded back to characters and compared
// with the plug-in's own whole-buffer colouring; a long edit session whose
// deltas, applied as a client applies them, always equal a full answer; and
// each feature answered from the plug-in's vocabulary, routine list, smart
// indent and expansion; configuration files that cannot be read.
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/sysmacros.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cwedit.h"
#include "server.h"
#include "uri.h"
#include "support/files.h"
#ifndef _WIN32
#include "support/fifo_feeder.h"
#endif
#include "support/wyn_text.h"

namespace {

using wyn::lsp::json;

class Client {
 public:
  explicit Client(json caps = json::object(), json init_options = json(),
                  const std::string& root = "")
      : server([this](const std::string& body) { out.push_back(json::parse(body)); }, options()) {
    json params = {{"capabilities", caps}, {"processId", nullptr}};
    if (!init_options.is_null()) params["initializationOptions"] = init_options;
    if (!root.empty()) params["rootUri"] = wyn::lsp::path_to_uri(root);
    init_result = call("initialize", params);
    notify("initialized", json::object());
  }
  static wyn::lsp::ServerOptions options() {
    wyn::lsp::ServerOptions o;
    o.plugin_path = WYN_PLUGIN_PATH;
    return o;
  }
  // The whole reply to a request.
  json call(const std::string& method, const json& params) {
    int id = next_id++;
    raw(json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump());
    for (const json& m : out)
      if (m.contains("id") && m["id"] == id && !m.contains("method")) return m;
    return json();
  }
  json result(const std::string& method, const json& params) {
    json r = call(method, params);
    EXPECT_TRUE(r.contains("result")) << method << ": " << r.dump();
    return r.value("result", json());
  }
  void notify(const std::string& method, const json& params) {
    raw(json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump());
  }
  void raw(const std::string& body) { server.handle(body); }
  // The messages of the notifications sent with method, in order.
  std::vector<std::string> said(const std::string& method) const {
    std::vector<std::string> texts;
    for (const json& m : out)
      if (m.value("method", "") == method) texts.push_back(m["params"].value("message", ""));
    return texts;
  }
  void open(const std::string& uri, const std::string& text) {
    notify(
        "textDocument/didOpen",
        {{"textDocument", {{"uri", uri}, {"languageId", "wyn"}, {"version", 1}, {"text", text}}}});
  }
  void change(const std::string& uri, json range, const std::string& text) {
    json c = {{"text", text}};
    if (!range.is_null()) c["range"] = range;
    notify("textDocument/didChange",
           {{"textDocument", {{"uri", uri}, {"version", ++version}}}, {"contentChanges", {c}}});
  }

  std::vector<json> out;
  wyn::lsp::Server server;
  json init_result;
  int next_id = 1, version = 1;
};

class LspServer : public ::testing::Test {
 protected:
  void SetUp() override { cw_reset(); }
  void TearDown() override { cw_reset(); }
};

json doc(const std::string& uri) {
  return {{"uri", uri}};
}
json pos(uint32_t line, uint32_t character) {
  return {{"line", line}, {"character", character}};
}
json at(const std::string& uri, uint32_t line, uint32_t character) {
  return {{"textDocument", doc(uri)}, {"position", pos(line, character)}};
}

// Per-byte token types (-1 none) of a full answer, for UTF-8 positions.
std::vector<int> decode(const json& data, const std::string& text) {
  wyn::lsp::LineIndex lines;
  lines.build(text);
  std::vector<int> out(text.size(), -1);
  uint32_t line = 0, col = 0;
  for (size_t i = 0; i + 4 < data.size(); i += 5) {
    uint32_t dl = data[i], ds = data[i + 1], len = data[i + 2], type = data[i + 3];
    line += dl;
    col = dl ? ds : col + ds;
    for (uint32_t k = 0; k < len; k++) out[lines.line_start(line) + col + k] = (int)type;
  }
  return out;
}

// The token type each byte should have, from a whole-buffer colouring.
std::vector<int> expected_types(const std::string& text) {
  wyn::Document d(text);
  d.colour_whole();
  std::vector<int> out;
  for (signed char c : d.categories()) out.push_back(wyn::lsp::token_type_of_category(c));
  for (size_t i = 0; i < text.size(); i++)
    if (text[i] == '\n' || text[i] == '\r') out[i] = -1;  // tokens never hold a line end
  return out;
}

std::string example(const char* name) {
  return support::read_file(std::string(WYN_SOURCE_DIR "/examples/") + name);
}

struct ErrorCase {
  const char* name;
  std::string body;
  int code;  // 0: no reply at all
};

TEST_F(LspServer, AnswersBadRequestsWithTheRightError) {
  Client c;
  c.open("file:///a.wyn", "x");
  const ErrorCase rows[] = {
      {"unknown_method", R"({"jsonrpc":"2.0","id":9,"method":"no/such","params":{}})", -32601},
      {"not_json", R"({"jsonrpc":"2.0","id":9,)", -32700},
      {"not_an_object", R"([1,2])", -32600},
      {"params_of_wrong_type",
       R"({"jsonrpc":"2.0","id":9,"method":"textDocument/hover","params":{"textDocument":{"uri":"file:///a.wyn"},"position":{"line":"1","character":0}}})",
       -32602},
      {"negative_line",
       R"({"jsonrpc":"2.0","id":9,"method":"textDocument/hover","params":{"textDocument":{"uri":"file:///a.wyn"},"position":{"line":-1,"character":0}}})",
       -32602},
      {"missing_position",
       R"({"jsonrpc":"2.0","id":9,"method":"textDocument/completion","params":{"textDocument":{"uri":"file:///a.wyn"}}})",
       -32602},
      {"params_a_string", R"({"jsonrpc":"2.0","id":9,"method":"textDocument/hover","params":"x"})",
       -32602},
      {"document_not_open",
       R"({"jsonrpc":"2.0","id":9,"method":"textDocument/documentSymbol","params":{"textDocument":{"uri":"file:///b.wyn"}}})",
       -32602},
      {"tokens_not_open",
       R"({"jsonrpc":"2.0","id":9,"method":"textDocument/semanticTokens/full","params":{"textDocument":{"uri":"file:///b.wyn"}}})",
       -32602},
      {"bad_command",
       R"({"jsonrpc":"2.0","id":9,"method":"workspace/executeCommand","params":{"command":"rm"}})",
       -32602},
      {"initialize_twice",
       R"({"jsonrpc":"2.0","id":9,"method":"initialize","params":{"capabilities":{}}})", -32600},
      {"unknown_notification", R"({"jsonrpc":"2.0","method":"no/such","params":{}})", 0},
      {"cancel_ignored", R"({"jsonrpc":"2.0","method":"$/cancelRequest","params":{"id":3}})", 0},
      {"bad_change_notification",
       R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":"file:///a.wyn"},"contentChanges":[{"range":{"start":0},"text":"x"}]}})",
       0},
  };
  for (const ErrorCase& e : rows) {
    c.out.clear();
    c.raw(e.body);
    if (e.code == 0) {
      for (const json& m : c.out) EXPECT_FALSE(m.contains("id")) << e.name << ": " << m.dump();
      continue;
    }
    ASSERT_FALSE(c.out.empty()) << e.name;
    const json& reply = c.out.back();
    EXPECT_EQ(reply["error"]["code"], e.code) << e.name << ": " << reply.dump();
  }
  // The server is alive after all of it.
  EXPECT_TRUE(c.result("textDocument/hover", at("file:///a.wyn", 0, 0)).is_null());
}

TEST_F(LspServer, LifecycleAndExitStatus) {
  {
    wyn::lsp::ServerOptions o = Client::options();
    std::vector<json> out;
    wyn::lsp::Server s([&](const std::string& b) { out.push_back(json::parse(b)); }, o);
    s.handle(R"({"jsonrpc":"2.0","id":1,"method":"textDocument/hover","params":{}})");
    EXPECT_EQ(out.back()["error"]["code"], -32002);
    // A problem met before initialize is not lost, nor sent early: it is
    // logged to the client once initialize runs.
    out.clear();
    s.framing_error(-32700, "a bad header", R"({"jsonrpc":"2.0","method":"textDocument/didOpen"})");
    EXPECT_TRUE(out.empty());
    s.handle(R"({"jsonrpc":"2.0","id":2,"method":"initialize","params":{"capabilities":{}}})");
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.front()["method"], "window/logMessage");
    EXPECT_EQ(out.front()["params"]["message"], "textDocument/didOpen: a bad header");
    s.handle(R"({"jsonrpc":"2.0","method":"exit"})");
    EXPECT_TRUE(s.exited());
    EXPECT_EQ(s.exit_code(), 1);  // exit without shutdown
  }
  // Capabilities of the wrong shapes are taken as absent.
  for (const json& caps :
       {json{{"general", 5}}, json{{"general", {{"positionEncodings", "utf-8"}}}},
        json{{"textDocument", {{"completion", json::array()}}}},
        json{{"workspace", {{"semanticTokens", {{"refreshSupport", "yes"}}}}}}}) {
    cw_reset();
    Client odd(caps);
    EXPECT_EQ(odd.init_result["result"]["capabilities"]["positionEncoding"], "utf-16")
        << caps.dump();
  }
  cw_reset();
  Client c;
  EXPECT_EQ(c.init_result["result"]["capabilities"]["positionEncoding"], "utf-16");
  EXPECT_TRUE(c.call("shutdown", nullptr).contains("result"));
  EXPECT_EQ(c.call("textDocument/hover", at("file:///a.wyn", 0, 0))["error"]["code"], -32600);
  c.notify("exit", nullptr);
  EXPECT_TRUE(c.server.exited());
  EXPECT_EQ(c.server.exit_code(), 0);
}

TEST_F(LspServer, TokensAreThePluginsColoursInEitherEncoding) {
  std::vector<std::string> texts = {example("setup.wyn"), example("uninstall.wyn"),
                                    example("registry.wyn")};
  texts.push_back("/* \xC3\xA9t\xC3\xA9\r\n \xF0\x9F\x98\x80 */ x = \"\xE2\x82\xAC\" + 12;\r\n");
  for (bool utf8 : {false, true}) {
    json caps =
        utf8 ? json{{"general", {{"positionEncodings", {"utf-16", "utf-8"}}}}} : json::object();
    Client c(caps);
    EXPECT_EQ(c.init_result["result"]["capabilities"]["positionEncoding"],
              utf8 ? "utf-8" : "utf-16");
    for (size_t i = 0; i < texts.size(); i++) {
      std::string uri = "file:///t" + std::to_string(i) + ".wyn";
      c.open(uri, texts[i]);
      json data =
          c.result("textDocument/semanticTokens/full", {{"textDocument", doc(uri)}})["data"];
      if (!utf8) continue;  // columns are bytes only in UTF-8
      EXPECT_EQ(decode(data, texts[i]), expected_types(texts[i])) << "text " << i;
    }
    // The multi-byte text in UTF-16: the pair takes two units, the CR none.
    json data = c.result("textDocument/semanticTokens/full",
                         {{"textDocument", doc("file:///t3.wyn")}})["data"];
    ASSERT_GE(data.size(), 10u);
    EXPECT_EQ(data[2], utf8 ? 8 : 6);      // "/* été" on line 0
    EXPECT_EQ(data[5 + 2], utf8 ? 8 : 6);  // " 😀 */" on line 1
  }
}

// A long session of random edits: each delta, applied to the client's
// array, gives the full answer; after the idle check the tokens are those
// of a fresh whole-buffer colouring of the final text.
TEST_F(LspServer, EditSessionDeltasAlwaysEqualAFullAnswer) {
  Client c(json{{"workspace", {{"semanticTokens", {{"refreshSupport", true}}}}},
                {"general", {{"positionEncodings", {"utf-8"}}}}});
  const std::string uri = "file:///edit.wyn";
  std::string text = wyn_text::generate(11, 6000);
  c.open(uri, text);
  json full = c.result("textDocument/semanticTokens/full", {{"textDocument", doc(uri)}});
  std::vector<uint32_t> client = full["data"].get<std::vector<uint32_t>>();
  std::string id = full["resultId"];
  wyn_text::rng r(5);
  const char* const inserts[] = {"x",    "\n", "/*",  "*/", "\"", "// c\n", "if (a) then\n",
                                 "\r\n", "é",  " 12 "};
  for (int step = 0; step < 200; step++) {
    std::vector<size_t> starts = {0};
    for (size_t i = 0; i < text.size(); i++)
      if (text[i] == '\n') starts.push_back(i + 1);
    uint32_t line = (uint32_t)r.below(starts.size());
    size_t ls = starts[line];
    size_t le = line + 1 < starts.size() ? starts[line + 1] - 1 : text.size();
    // Columns in bytes (UTF-8 agreed), never inside a character.
    uint32_t col = (uint32_t)r.below(le - ls + 1);
    while (col > 0 && ((unsigned char)text[ls + col - 1] >= 0x80 || text[ls + col - 1] == '\r'))
      col--;
    uint32_t del = r.chance(30) && ls + col < le && (unsigned char)text[ls + col] < 0x80 ? 1 : 0;
    std::string ins = r.chance(70) ? wyn_text::pick(r, inserts) : "";
    c.change(uri, {{"start", pos(line, col)}, {"end", pos(line, col + del)}}, ins);
    text.replace(ls + col, del, ins);
    json reply = c.result("textDocument/semanticTokens/full/delta",
                          {{"textDocument", doc(uri)}, {"previousResultId", id}});
    id = reply["resultId"];
    for (const json& e : reply["edits"]) {
      uint32_t s = e["start"], n = e["deleteCount"];
      client.erase(client.begin() + s, client.begin() + s + n);
      std::vector<uint32_t> d = e.value("data", std::vector<uint32_t>());
      client.insert(client.begin() + s, d.begin(), d.end());
    }
    json now = c.result("textDocument/semanticTokens/full", {{"textDocument", doc(uri)}});
    ASSERT_EQ(client, now["data"].get<std::vector<uint32_t>>()) << "step " << step;
    id = now["resultId"];
  }
  c.server.idle();
  json data = c.result("textDocument/semanticTokens/full", {{"textDocument", doc(uri)}})["data"];
  std::vector<int> got = decode(data, text), want = expected_types(text);
  EXPECT_EQ(got, want);
}

TEST_F(LspServer, ADocumentGrownPastTheLimitIsDroppedNotCorrupted) {
  std::vector<json> out;
  wyn::lsp::ServerOptions o = Client::options();
  o.document_limit = 64;
  wyn::lsp::Server s([&](const std::string& b) { out.push_back(json::parse(b)); }, o);
  s.handle(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}})");
  s.handle(
      R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":"file:///g.wyn","languageId":"wyn","version":1,"text":"x = 1;"}}})");
  std::string grow(60, 'y');
  s.handle(
      R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":"file:///g.wyn","version":2},"contentChanges":[{"range":{"start":{"line":0,"character":0},"end":{"line":0,"character":0}},"text":")" +
      grow + "\"}]}}");
  EXPECT_EQ(out.back()["method"], "window/showMessage");
  s.handle(
      R"({"jsonrpc":"2.0","id":2,"method":"textDocument/semanticTokens/full","params":{"textDocument":{"uri":"file:///g.wyn"}}})");
  EXPECT_EQ(out.back()["error"]["code"], -32602);  // no longer open
}

// With the editor short of memory for one step: a document that could
// not be taken in, or whose change could not, is not kept (and the client
// told), never worked on in a text the client does not have; a request
// that could not be answered gets an error. The server goes on serving.
TEST_F(LspServer, WithoutMemoryNothingDivergesAndServingGoesOn) {
  const std::string uri = "file:///m.wyn", text = "x = 1; /* a */\nwhile (x)\n";
  const std::string more(20000, 'z');  // needs new pieces of the buffer
  const struct {
    const char* what;
    void (*step)(Client* c, const std::string& uri, const std::string& more);
    bool kept;      // the document is still open afterwards
    bool answered;  // an error answered a request (else a message was shown)
  } cases[] = {
      {"didOpen", [](Client* c, const std::string& u, const std::string& m) { c->open(u, m); },
       false, false},
      {"full didChange",
       [](Client* c, const std::string& u, const std::string& m) { c->change(u, json(), m); },
       false, false},
      {"ranged didChange",
       [](Client* c, const std::string& u, const std::string& m) {
         c->change(u, {{"start", pos(1, 0)}, {"end", pos(1, 0)}}, m);
       },
       false, false},
      {"on-type formatting",
       [](Client* c, const std::string& u, const std::string&) {
         c->call("textDocument/onTypeFormatting",
                 {{"textDocument", doc(u)},
                  {"position", pos(1, 0)},
                  {"ch", "\n"},
                  {"options", {{"tabSize", 4}, {"insertSpaces", true}}}});
       },
       true, true},
  };
  json want;
  {
    Client w;
    w.open(uri, text);
    want = w.result("textDocument/semanticTokens/full", {{"textDocument", doc(uri)}})["data"];
  }
  for (const auto& k : cases) {
    cw_reset();
    Client c;
    if (strcmp(k.what, "didOpen") != 0) c.open(uri, text);
    size_t seen = c.out.size();
    cw_fail_buffer_at(1);
    k.step(&c, uri, more);
    cw_fail_buffer_at(0);
    bool shown = false, answered = false;
    for (size_t i = seen; i < c.out.size(); i++) {
      const json& m = c.out[i];
      shown |= m.value("method", "") == "window/showMessage" &&
               m["params"]["message"].get<std::string>().find("Cannot allocate memory") !=
                   std::string::npos;
      answered |= m.contains("error") && m["error"]["code"] == -32803;
    }
    EXPECT_EQ(shown, !k.answered) << k.what;
    EXPECT_EQ(answered, k.answered) << k.what;
    json after = c.call("textDocument/semanticTokens/full", {{"textDocument", doc(uri)}});
    if (k.kept)
      EXPECT_EQ(after["result"]["data"], want) << k.what;
    else
      EXPECT_EQ(after["error"]["code"], -32602) << k.what;  // no longer open
    c.open(uri, text);                                      // opened again, it is served as before
    EXPECT_EQ(c.result("textDocument/semanticTokens/full", {{"textDocument", doc(uri)}})["data"],
              want)
        << k.what;
  }
}

TEST_F(LspServer, EditsInOneDocumentLeaveAnotherAlone) {
  Client c;
  c.open("file:///a.wyn", "x = 1; /* a */\n");
  c.open("file:///b.wyn", "y = 2;\n");
  json before =
      c.result("textDocument/semanticTokens/full", {{"textDocument", doc("file:///b.wyn")}});
  c.change("file:///a.wyn", {{"start", pos(0, 0)}, {"end", pos(0, 0)}}, "/* open\n");
  json after =
      c.result("textDocument/semanticTokens/full", {{"textDocument", doc("file:///b.wyn")}});
  EXPECT_EQ(before["data"], after["data"]);
}

TEST_F(LspServer, CompletionSnippetsFromTemplates) {
  Client snippets(
      json{{"textDocument", {{"completion", {{"completionItem", {{"snippetSupport", true}}}}}}}});
  snippets.open("file:///c.wyn", "\twh");
  json items = snippets.result("textDocument/completion", at("file:///c.wyn", 0, 3))["items"];
  std::map<std::string, json> by_label;
  for (const json& i : items) by_label[i["label"]] = i;
  ASSERT_TRUE(by_label.count("while"));
  EXPECT_EQ(by_label["while"]["insertTextFormat"], 2);
  EXPECT_EQ(by_label["while"]["textEdit"]["newText"], "while ( $0 )\n\t\t\n\tendwhile;");
  EXPECT_EQ(by_label["while"]["kind"], 14);
  EXPECT_FALSE(by_label.count("AFTER"));  // another first letter
  snippets.open("file:///d.wyn", "As");
  items = snippets.result("textDocument/completion", at("file:///d.wyn", 0, 2))["items"];
  for (const json& i : items) by_label[i["label"]] = i;
  EXPECT_EQ(by_label["AskYesNo"]["textEdit"]["newText"],
            "AskYesNo (${1:szQuestion}, ${2:nDefault});$0");
  EXPECT_EQ(by_label["AskYesNo"]["kind"], 3);
  EXPECT_EQ(by_label["ASKTEXT"]["kind"], 21);
  // Nothing typed: a list cut short, reserved words first, to be asked again.
  snippets.open("file:///e.wyn", "");
  json all = snippets.result("textDocument/completion", at("file:///e.wyn", 0, 0));
  EXPECT_EQ(all["isIncomplete"], true);
  EXPECT_LE(all["items"].size(), 300u);
  EXPECT_EQ(all["items"][0]["kind"], 14);
  json resolved = snippets.result("completionItem/resolve", by_label["AskYesNo"]);
  EXPECT_NE(resolved["documentation"]["value"].get<std::string>().find("AskYesNo (szQuestion"),
            std::string::npos);
}

TEST_F(LspServer, SignatureHelpAndHover) {
  Client c;
  c.open("file:///s.wyn", "AskPath (\"a, b\", x, \nWelcome BOGUS ISTYPE");
  json sig = c.result("textDocument/signatureHelp", at("file:///s.wyn", 0, 18));
  EXPECT_EQ(sig["signatures"][0]["label"], "AskPath (szMsg, szDefPath, svResultPath)");
  EXPECT_EQ(sig["activeParameter"], 1);  // the comma inside the string does not count
  EXPECT_TRUE(c.result("textDocument/signatureHelp", at("file:///s.wyn", 0, 2)).is_null());
  struct {
    uint32_t col;
    const char* contains;  // null: no hover
  } rows[] = {{1, "Welcome ("}, {10, nullptr}, {16, "constant"}};
  for (const auto& row : rows) {
    json h = c.result("textDocument/hover", at("file:///s.wyn", 1, row.col));
    if (row.contains == nullptr) {
      EXPECT_TRUE(h.is_null()) << row.col;
      continue;
    }
    EXPECT_NE(h["contents"]["value"].get<std::string>().find(row.contains), std::string::npos)
        << h.dump();
  }
}

TEST_F(LspServer, SymbolsFoldingAndDefinition) {
  Client c;
  const std::string text =
      "/* banner\n   two */\nprototype Foo(NUMBER);\nif (a) then\nendif;\n"
      "function Foo(n)\nbegin\n  Bar(1);\nend;\n\nfunction Bar(x)\nbegin\nend;\n";
  c.open("file:///y.wyn", text);
  json symbols = c.result("textDocument/documentSymbol", {{"textDocument", doc("file:///y.wyn")}});
  ASSERT_EQ(symbols.size(), 2u) << symbols.dump();  // not the declaration, not the 'if'
  EXPECT_EQ(symbols[0]["name"], "Foo");
  EXPECT_EQ(symbols[0]["range"]["start"]["line"], 5);
  EXPECT_EQ(symbols[0]["range"]["end"]["line"], 8);
  EXPECT_EQ(symbols[0]["selectionRange"]["start"], pos(5, 9));
  EXPECT_EQ(symbols[1]["range"]["end"]["line"], 12);
  json folds = c.result("textDocument/foldingRange", {{"textDocument", doc("file:///y.wyn")}});
  EXPECT_NE(std::find(folds.begin(), folds.end(),
                      json{{"startLine", 0}, {"endLine", 1}, {"kind", "comment"}}),
            folds.end())
      << folds.dump();
  json def = c.result("textDocument/definition", at("file:///y.wyn", 7, 3));
  ASSERT_EQ(def.size(), 1u);
  EXPECT_EQ(def[0]["range"]["start"]["line"], 10);
  json ws = c.result("workspace/symbol", {{"query", "ba"}});
  ASSERT_EQ(ws.size(), 1u);
  EXPECT_EQ(ws[0]["name"], "Bar");
}

TEST_F(LspServer, OnTypeFormattingFollowsTheSmartIndent) {
  Client c;
  struct {
    const char* text;  // as the client has it after Enter
    uint32_t line;
    const char* indent;  // what the new line should start with; null: no edit
  } rows[] = {
      {"  if (a) then\n  ", 1, "  \t"},  // block opener: the plug-in adds a tab
      {"  if (a) then\n", 1, "  \t"},    // the client put nothing there
      {"  x = 1;\n        ", 1, "  "},   // no opener: the line's own indentation
      {"  x = 1;\n  ", 1, nullptr},
      {"/* if (a) then\n", 1, nullptr},  // inside a comment the plug-in does nothing
  };
  int n = 0;
  for (const auto& row : rows) {
    std::string uri = "file:///f" + std::to_string(n++) + ".wyn";
    c.open(uri, row.text);
    json params = at(uri, row.line, 0);
    params["ch"] = "\n";
    params["options"] = {{"tabSize", 4}, {"insertSpaces", false}};
    json edits = c.result("textDocument/onTypeFormatting", params);
    if (row.indent == nullptr) {
      EXPECT_TRUE(edits.empty()) << row.text << edits.dump();
      continue;
    }
    ASSERT_EQ(edits.size(), 1u) << row.text;
    EXPECT_EQ(edits[0]["newText"], row.indent) << row.text;
  }
}

TEST_F(LspServer, ExpandCommandFromTheCodeAction) {
  Client c(json{{"workspace", {{"applyEdit", true}}}});
  c.open("file:///e.wyn", "\twhile\n// while\n");
  json actions =
      c.result("textDocument/codeAction", {{"textDocument", doc("file:///e.wyn")},
                                           {"range", {{"start", pos(0, 3)}, {"end", pos(0, 3)}}},
                                           {"context", {{"diagnostics", json::array()}}}});
  ASSERT_EQ(actions.size(), 1u);
  json cmd = actions[0]["command"];
  json edit = c.result("workspace/executeCommand",
                       {{"command", cmd["command"]}, {"arguments", cmd["arguments"]}});
  json e = edit["changes"]["file:///e.wyn"][0];
  // One line, ASCII: apply it by columns.
  std::string line0 = "\twhile";
  ASSERT_EQ(e["range"]["start"]["line"], 0);
  ASSERT_EQ(e["range"]["end"]["line"], 0);
  uint32_t a = e["range"]["start"]["character"], b = e["range"]["end"]["character"];
  line0.replace(a, b - a, e["newText"].get<std::string>());
  EXPECT_EQ(line0, "\twhile (  )\n\t\t\n\tendwhile;");
  EXPECT_EQ(c.out[c.out.size() - 2]["method"], "workspace/applyEdit");
  json none =
      c.result("textDocument/codeAction", {{"textDocument", doc("file:///e.wyn")},
                                           {"range", {{"start", pos(1, 5)}, {"end", pos(1, 5)}}},
                                           {"context", {{"diagnostics", json::array()}}}});
  EXPECT_TRUE(none.empty());  // inside a comment
}

TEST_F(LspServer, ConfigurationAddsWordsAndRecolours) {
  Client c(json{{"workspace", {{"semanticTokens", {{"refreshSupport", true}}}}}},
           {{"keywords", {{"function", {"MyFunc"}}}},
            {"templates", {{"loop2", "loop2 & do\n\t\n@endloop2;"}}}});
  c.open("file:///k.wyn", "MyFunc(1); Other(2);");
  json data = c.result("textDocument/semanticTokens/full",
                       {{"textDocument", doc("file:///k.wyn")}})["data"];
  ASSERT_GE(data.size(), 5u);
  EXPECT_EQ(data[3], wyn::lsp::TOK_FUNCTION);
  c.out.clear();
  c.notify("workspace/didChangeConfiguration",
           {{"settings", {{"wyn", {{"keywords", {{"Other", "constant"}}}}}}}});
  bool refreshed = false;
  for (const json& m : c.out)
    refreshed |= m.value("method", "") == "workspace/semanticTokens/refresh";
  EXPECT_TRUE(refreshed);
  json items = c.result("textDocument/completion", at("file:///k.wyn", 0, 0))["items"];
  bool has_loop = false;
  for (const json& i : items) has_loop |= i["label"] == "loop2";
  EXPECT_TRUE(has_loop);
}

// Parameter labels are offsets into the signature in the client's units,
// each counted on from the one before; a template with very many
// parameters (a configuration file under 1 MiB can hold 300,000) is
// answered at once, not after minutes.
TEST_F(LspServer, SignatureParameterLabelsInEitherEncoding) {
  std::string many = "Many (&\xC3\xA4";
  for (int i = 1; i < 300000; i++) many += ", p";
  many += ");";
  struct {
    const char* encoding;
    std::vector<uint32_t> labels;  // start and end of each of Put's parameters
    uint32_t last_of_many;         // where Many's last parameter starts
  } rows[] = {
      {"utf-16", {5, 6, 8, 11, 13, 14}, 6 + 299999 * 3},
      {"utf-8", {5, 7, 9, 14, 16, 17}, 7 + 299999 * 3},
  };
  for (const auto& row : rows) {
    Client c({{"general", {{"positionEncodings", {row.encoding}}}}},
             {{"templates", {{"Put", "Put (&\xC3\xA4, \xF0\x9D\x84\x9Ex, b);"}, {"Many", many}}}});
    c.open("file:///p.wyn", "Put (1, \nMany (");
    json sig = c.result("textDocument/signatureHelp", at("file:///p.wyn", 0, 8));
    std::vector<uint32_t> labels;
    for (const json& p : sig["signatures"][0]["parameters"])
      for (const json& n : p["label"]) labels.push_back(n.get<uint32_t>());
    EXPECT_EQ(labels, row.labels) << row.encoding;
    EXPECT_EQ(sig["activeParameter"], 1) << row.encoding;

    auto started = std::chrono::steady_clock::now();
    sig = c.result("textDocument/signatureHelp", at("file:///p.wyn", 1, 6));
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const json& params = sig["signatures"][0]["parameters"];
    ASSERT_EQ(params.size(), 300000u) << row.encoding;
    EXPECT_EQ(params[299999]["label"][0], row.last_of_many) << row.encoding;
    EXPECT_LT(seconds, 60.0) << row.encoding;  // counted from the start each time: minutes
  }
}

// A folder of the test's own for the files a server reads.
class LspFiles : public LspServer {
 protected:
  std::string dir;
  void SetUp() override {
    LspServer::SetUp();
    static int serial = 0;
    dir = (std::filesystem::temp_directory_path() /
           ("wyn-lsp-test-" + std::to_string(getpid()) + "-" + std::to_string(serial++)))
              .string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir);
    LspServer::TearDown();
  }
  void write(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
  }
};

// A configuration file that cannot be read, named in a setting or found
// beside the documents, is never waited on and never taken for applied:
// the user is shown why, and the file is read once it is mended. Found
// beside each opened document, the same problem is shown once.
TEST_F(LspFiles, AConfigurationFileThatCannotBeReadIsReportedAndReadOnceMended) {
  const std::string words = "keyword CFGWORD keyword\n";
  std::string big = words;
  while (big.size() <= (1u << 20)) big += "# a comment to make the file large\n";
  enum Kind { MISSING, FOLDER, LARGE, NUL, FIFO, LINK_TO_FIFO, DEVICE };
  struct {
    const char* name;
    Kind kind;
    const char* reason;
  } rows[] = {
      {"missing", MISSING, "No such file or directory"},
      {"folder", FOLDER, "is a directory"},
      {"over 1 MiB", LARGE, "larger than 1 MiB"},
      {"NUL byte", NUL, "NUL byte"},
#ifndef _WIN32
      {"FIFO", FIFO, "FIFO"},
      {"link to a FIFO", LINK_TO_FIFO, "FIFO"},
      {"device", DEVICE, "device"},
#endif
  };
  for (bool found : {false, true}) {
#ifdef _WIN32
    if (found) break;  // a folder as a file: URI is a POSIX path here
#endif
    for (const auto& row : rows) {
      std::string what = std::string(row.name) + (found ? ", found" : ", named");
      if (found && row.kind == MISSING) continue;  // nothing is found
      std::string folder = dir + "/" + std::to_string(found) + "-" + std::to_string(row.kind);
      std::filesystem::create_directories(folder);
      std::string path = folder + (found ? "/.wyn.cfg" : "/named.cfg");
#ifndef _WIN32
      std::unique_ptr<support::FifoFeeder> feeder;
      if (row.kind == FIFO || row.kind == LINK_TO_FIFO) {
        std::string fifo = row.kind == FIFO ? path : folder + "/target";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << what;
        if (row.kind == LINK_TO_FIFO) {
          ASSERT_EQ(symlink(fifo.c_str(), path.c_str()), 0);
        }
        feeder = std::make_unique<support::FifoFeeder>(fifo, words);
      }
      if (row.kind == DEVICE && mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
        ASSERT_EQ(errno, EPERM) << what;
        continue;  // only the superuser makes device nodes
      }
#endif
      if (row.kind == FOLDER) std::filesystem::create_directory(path);
      if (row.kind == LARGE) write(path, big);
      if (row.kind == NUL) write(path, words + std::string("\0", 1));

      Client c(json::object(), json(), found ? folder : "");
      std::string uri = wyn::lsp::path_to_uri(folder + "/a.wyn");
      json settings = {{"settings", {{"wyn", {{"configFile", path}}}}}};
      if (found) {
        EXPECT_TRUE(c.init_result.contains("result")) << what;
        c.open(uri, "CFGWORD");
        c.open(wyn::lsp::path_to_uri(folder + "/b.wyn"), "CFGWORD");
      } else {
        c.notify("workspace/didChangeConfiguration", settings);
      }
#ifndef _WIN32
      feeder.reset();
#endif
      std::vector<std::string> shown = c.said("window/showMessage");
      EXPECT_EQ(shown.size(), 1u) << what;
      for (const std::string& m : shown) {
        EXPECT_NE(m.find(path + " not applied: "), std::string::npos) << what << ": " << m;
        EXPECT_NE(m.find(row.reason), std::string::npos) << what << ": " << m;
      }
      for (const std::string& m : c.said("window/logMessage"))
        EXPECT_NE(m, "configuration " + path + " applied") << what;
      c.open(uri, "CFGWORD");
      EXPECT_TRUE(c.result("textDocument/hover", at(uri, 0, 0)).is_null()) << what;

      std::filesystem::remove_all(path);
      write(path, words);
      c.out.clear();
      if (found)
        c.open(uri, "CFGWORD");
      else
        c.notify("workspace/didChangeConfiguration", settings);
      EXPECT_FALSE(c.result("textDocument/hover", at(uri, 0, 0)).is_null()) << what;
      EXPECT_EQ(c.said("window/logMessage"),
                std::vector<std::string>{"configuration " + path + " applied"})
          << what;
    }
  }
}

}  // namespace
