// Semantic tokens: runs of one category per line in client units, and the
// delta edit, checked the way a client uses it: applying each edit to the
// array it holds must give the array a full answer would.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cwedit.h"
#include "tokens.h"

namespace {

using wyn::lsp::Encoding;
using wyn::lsp::Token;
using wyn::lsp::TokenEdit;
using wyn::lsp::TokenStore;

std::vector<uint32_t> parse_array(const std::string& text) {
  std::vector<uint32_t> out;
  std::string inner = text.substr(1, text.size() - 2);
  std::stringstream in(inner);
  std::string item;
  while (std::getline(in, item, ',')) out.push_back((uint32_t)std::stoul(item));
  return out;
}

std::vector<uint32_t> full(const TokenStore& s) {
  std::string text;
  s.encode(0, s.line_count(), &text);
  return parse_array(text);
}

void apply_edit(std::vector<uint32_t>* data, const TokenEdit& e) {
  data->erase(data->begin() + e.start, data->begin() + e.start + e.delete_count);
  data->insert(data->begin() + e.start, e.data.begin(), e.data.end());
}

// A line of n tokens whose starts depend on seed, so lines differ.
std::vector<Token> line_of(uint32_t n, uint32_t seed) {
  std::vector<Token> out;
  for (uint32_t i = 0; i < n; i++) out.push_back(Token{i * 4 + seed % 3, 2, (uint8_t)(seed % 7)});
  return out;
}

TEST(LspTokens, RunsPerCategoryInClientUnits) {
  // "é=1 //x": é is two bytes, one UTF-16 unit.
  std::string text = "\xC3\xA9=1 //x";
  signed char none = -1;
  std::vector<signed char> cats = {CW_CONSTANTS, CW_CONSTANTS, CW_OPERATORS, CW_NUMBERS,
                                   none,         CW_COMMENTS,  CW_COMMENTS,  CW_COMMENTS};
  std::vector<Token> t;
  wyn::lsp::line_tokens(text, 0, text.size(), cats.data(), Encoding::Utf16, &t);
  ASSERT_EQ(t.size(), 4u);
  const uint32_t want[4][3] = {{0, 1, wyn::lsp::TOK_VARIABLE},
                               {1, 1, wyn::lsp::TOK_OPERATOR},
                               {2, 1, wyn::lsp::TOK_NUMBER},
                               {4, 3, wyn::lsp::TOK_COMMENT}};
  for (size_t i = 0; i < 4; i++) {
    EXPECT_EQ(t[i].start, want[i][0]) << i;
    EXPECT_EQ(t[i].length(), want[i][1]) << i;
    EXPECT_EQ(t[i].type(), want[i][2]) << i;
  }
  t.clear();
  wyn::lsp::line_tokens(text, 0, text.size(), cats.data(), Encoding::Utf8, &t);
  EXPECT_EQ(t[0].length(), 2u);
  EXPECT_EQ(t[3].start, 5u);
}

TEST(LspTokens, EncodesRelativeToThePreviousToken) {
  TokenStore s;
  s.clear(4);
  s.replace(0, 4, {{{2, 3, 0}, {7, 1, 5}}, {}, {{0, 4, 6}}, {}});
  const std::vector<uint32_t> want = {0, 2, 3, 0, 0, 0, 5, 1, 5, 2, 2, 0, 4, 6, 3};
  EXPECT_EQ(full(s), want);
  std::string range;
  s.encode(2, 3, &range);  // counted from the start, as if alone
  EXPECT_EQ(parse_array(range), (std::vector<uint32_t>{2, 0, 4, 6, 3}));
}

// A session of line replacements (growing, shrinking, emptying, at either
// end, several before one answer): each delta brings the client's array to
// what a full answer gives.
TEST(LspTokens, DeltasAppliedToTheSentArrayGiveTheFullOne) {
  TokenStore s;
  s.clear(30);
  std::vector<std::vector<Token>> lines;
  for (uint32_t l = 0; l < 30; l++) lines.push_back(line_of(l % 4, l));
  s.replace(0, 30, lines);
  s.mark_sent();
  std::vector<uint32_t> client = full(s);
  uint64_t x = 88172645463325252ull;
  auto rnd = [&x](uint32_t n) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    return (uint32_t)(x % n);
  };
  for (int round = 0; round < 300; round++) {
    int edits = 1 + (int)rnd(3);
    for (int e = 0; e < edits; e++) {
      uint32_t n = s.line_count();
      uint32_t a = rnd(n + 1), b = a + rnd(n - a + 1);
      if (b == a && n > 0 && a < n) b = a + 1;
      std::vector<std::vector<Token>> repl(rnd(4));
      for (auto& l : repl) l = line_of(rnd(4), rnd(100));
      if (s.line_count() - (b - a) + repl.size() == 0) repl.resize(1);
      s.replace(a, b, repl);
    }
    TokenEdit edit = s.take_edit();
    apply_edit(&client, edit);
    ASSERT_EQ(client, full(s)) << "round " << round;
  }
}

}  // namespace
