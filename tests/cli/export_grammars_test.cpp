// wyn export's grammars with configured words: a word the scanner reads
// whole is listed, a word it never can is not (it would colour where the
// plug-in does not), and nothing a word holds breaks the file's syntax.
// The grammars' agreement with `wyn colour` is measured by their real
// engines in scripts/test-grammars.sh.
#include "tool_run.h"

#include <nlohmann/json.hpp>

namespace {

const char tricky[] =
    "keyword #pragma keyword\n"
    "keyword Zap_9 function\n"
    "keyword a.b keyword\n"
    "keyword it's constant\n"
    "keyword \"say\\\"hi\" function\n"
    "keyword back\\qq keyword\n"
    "keyword a&b<c> keyword\n"
    "keyword x+y keyword\n";

TEST_F(ToolTest, ExportedGrammarsListOnlyWordsTheScannerReadsWhole) {
  struct Case {
    const char* format;
    std::vector<std::string> present, absent;
  } cases[] = {
      {"textmate", {"|#pragma|", "|Zap_9)"}, {"a\\\\.b", "x\\\\+y", "say", "qq", "it's", "a&b"}},
      {"sublime", {"|#pragma|", "|Zap_9)"}, {"a\\.b", "x\\+y", "say", "qq", "it''s", "a&b"}},
      {"npp", {" #pragma ", " Zap_9<"}, {"a.b", "x+y", "say", "qq", "it&apos;s", "a&amp;b"}},
  };
  std::string cfg = file("tricky.cfg", tricky);
  for (const Case& c : cases) {
    Ran r = wyn({"--no-config", "--config", cfg, "export", std::string("--format=") + c.format});
    ASSERT_EQ(r.code, 0) << c.format << ": " << r.err;
    for (const std::string& s : c.present)
      EXPECT_NE(r.out.find(s), std::string::npos) << c.format << ": " << s;
    for (const std::string& s : c.absent)
      EXPECT_EQ(r.out.find(s), std::string::npos) << c.format << ": " << s;
  }
}

// The TextMate grammar is JSON whose every rule has a scope or none, and a
// pattern: a quote or backslash the JSON escaping missed would end a
// string early or not parse at all.
TEST_F(ToolTest, TheTextMateGrammarIsJsonWithAPatternPerRule) {
  Ran r =
      wyn({"--no-config", "--config", file("tricky.cfg", tricky), "export", "--format=textmate"});
  ASSERT_EQ(r.code, 0) << r.err;
  nlohmann::json g = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_FALSE(g.is_discarded()) << r.out;
  EXPECT_EQ(g["scopeName"], "source.wyn");
  ASSERT_TRUE(g["patterns"].is_array());
  for (const auto& rule : g["patterns"]) {
    EXPECT_TRUE(rule.contains("match") || (rule.contains("begin") && rule.contains("end"))) << rule;
  }
}

}  // namespace
