// The Vim and Pygments exports as files: words from a configuration that a
// pattern would have to quote (and that the scanner never reaches) are left
// out rather than written into the grammar's source, the reachable ones go
// in, and the package layout lands in a folder made with its parents.
#include "tool_run.h"

namespace {

struct OddWord {
  const char* word;
  bool reachable;  // a run of word characters not starting with a digit
};

const OddWord odd_words[] = {
    {"#pragma", true}, {"_under", true},   {"Mixed9", true}, {"a'b", false},
    {"x\\", false},    {"foo|bar", false}, {"a/b", false},   {"end.x", false},
    {"9lives", false}, {"(x)", false},     {"$v", false},    {"x]", false},
};

// Whether a word stands in each format's word lists.
bool in_vim(const std::string& text, const std::string& w) {
  return text.find(" " + w + " ") != std::string::npos ||
         text.find(" " + w + "\n") != std::string::npos;
}
bool in_pygments(const std::string& text, const std::string& w) {
  return text.find("'" + w + "',") != std::string::npos;
}

TEST_F(ToolTest, ExportLeavesOutWordsTheScannerCannotReach) {
  std::string cfg;
  for (const OddWord& o : odd_words) cfg += std::string("keyword ") + o.word + " keyword\n";
  std::string config = file("odd.cfg", cfg);
  std::string vim = dir + "/pack/wyn/start/wyn", py = dir + "/py";
  Ran r = wyn({"--no-config", "--config", config, "export", "--format=vim", "-o", vim});
  ASSERT_EQ(r.code, 0) << r.err;
  r = wyn({"--no-config", "--config", config, "export", "--format=pygments", "-o", py});
  ASSERT_EQ(r.code, 0) << r.err;
  std::string syntax = read_file(vim + "/syntax/wyn.vim");
  std::string lexer = read_file(py + "/wyn_lexer.py");
  for (const OddWord& o : odd_words) {
    EXPECT_EQ(in_vim(syntax, o.word), o.reachable) << o.word;
    EXPECT_EQ(in_pygments(lexer, o.word), o.reachable) << o.word;
  }
  EXPECT_NE(read_file(vim + "/ftdetect/wyn.vim").find("*.[wW][yY][nN] setfiletype wyn"),
            std::string::npos);
  EXPECT_NE(read_file(py + "/pyproject.toml").find("wyn = \"wyn_lexer:WynLexer\""),
            std::string::npos);
}

}  // namespace
