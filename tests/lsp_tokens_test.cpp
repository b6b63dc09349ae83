// Semantic tokens: runs of one category per line in client units, and the
// delta edit, checked the way a client uses it: applying each edit to the
// array it holds must give the array a full answer would.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cwedit.h"
#include "jsonw.h"
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

// Runs read word-wise against a byte-by-byte reading, on random lines: runs
// of every length (across eight-byte steps and the line's end), ASCII lines
// and lines with two- and four-byte characters.
TEST(LspTokens, RunsMatchAByteByByteReading) {
  const signed char kCats[] = {-1, CW_COMMENTS, CW_STRINGS, CW_KEYWORDS, CW_NUMBERS};
  const char* const kChars[] = {"a", " ", "\xC3\xA9", "\xF0\x9F\x98\x80"};
  uint64_t x = 0x9E3779B97F4A7C15ull;
  auto rnd = [&x](uint32_t n) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    return (uint32_t)(x % n);
  };
  for (int round = 0; round < 400; round++) {
    bool ascii = round % 2 == 0;
    std::string text;
    std::vector<signed char> cats;
    std::vector<Token> want16, want8;
    uint32_t col16 = 0, col8 = 0;
    while (text.size() < 60) {
      // One run: a category, then characters of it, each a whole character.
      signed char cat = kCats[rnd(5)];
      if (!cats.empty() && cats.back() == cat) continue;
      uint32_t len = 1 + rnd(round % 3 == 0 ? 24 : 5), u16 = 0, u8 = 0;
      for (uint32_t k = 0; k < len; k++) {
        std::string ch = kChars[ascii ? rnd(2) : rnd(4)];
        text += ch;
        cats.insert(cats.end(), ch.size(), cat);
        u16 += ch.size() == 4 ? 2 : 1, u8 += (uint32_t)ch.size();
      }
      int type = wyn::lsp::token_type_of_category(cat);
      if (type >= 0) {
        want16.push_back(Token(col16, u16, (uint8_t)type));
        want8.push_back(Token(col8, u8, (uint8_t)type));
      }
      col16 += u16, col8 += u8;
    }
    for (Encoding enc : {Encoding::Utf16, Encoding::Utf8}) {
      std::vector<Token> got;
      wyn::lsp::line_tokens(text, 0, text.size(), cats.data(), enc, &got);
      const std::vector<Token>& want = enc == Encoding::Utf16 ? want16 : want8;
      ASSERT_EQ(got.size(), want.size()) << "round " << round;
      for (size_t i = 0; i < got.size(); i++) {
        ASSERT_EQ(got[i].start, want[i].start) << "round " << round << " token " << i;
        ASSERT_EQ(got[i].packed, want[i].packed) << "round " << round << " token " << i;
      }
    }
  }
}

// Numbers of every width, in arrays long enough to be written in pieces.
TEST(LspTokens, EncodesLargeArraysAndWideNumbers) {
  const uint32_t kStarts[] = {0, 9, 10, 99, 100, 999, 1000, 65535, 999999, 16777215, 4294967295u};
  TokenStore s;
  s.clear(3000);
  std::vector<std::vector<Token>> lines(3000);
  std::vector<uint32_t> want;
  uint32_t prev_line = 0;
  for (uint32_t l = 0; l < 3000; l++) {
    if (l % 7 == 3) continue;  // some empty lines
    uint32_t start = kStarts[l % 11];
    lines[l] = {Token(start, 1 + l * 5557 % Token::kMaxLength, (uint8_t)(l % 7))};
    want.insert(want.end(), {l - prev_line, start, 1 + l * 5557 % Token::kMaxLength, l % 7,
                             wyn::lsp::token_modifiers_of((uint8_t)(l % 7))});
    prev_line = l;
  }
  s.replace(0, 3000, lines);
  EXPECT_EQ(full(s), want);
  for (uint32_t v : kStarts) {
    char buf[16];
    EXPECT_EQ(std::string(buf, wyn::lsp::put_uint(buf, v)), std::to_string(v));
  }
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
