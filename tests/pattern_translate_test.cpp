// The search dialect read on its own, no regular-expression engine needed:
// what each construct becomes in PCRE2 text, which patterns are refused,
// and where a pattern splits at a closure over everything.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "../standin/pattern_translate.h"
#include "../plugin/edit/patterns.h"

namespace {

// Expected PCRE2 text, or nullptr for a pattern that must be refused.
struct Translation {
  const char* dialect;
  const char* pcre2;
};

const Translation kTranslations[] = {
    // bytes: letters and digits as they are, everything else as \x{..}
    {"", ""},
    {"aZ9", "aZ9"},
    {"a b?", "a\\x{20}b\\x{3f}"},
    {"{1}", "\\x{7b}1\\x{7d}"},
    {"]", "\\x{5d}"},
    {"\xe9", "\\x{e9}"},
    // escapes: \( \) \. literal, \t the tab, \n and the LF byte a line end
    {"\\(\\)\\.\\\\", "\\x{28}\\x{29}\\x{2e}\\x{5c}"},
    {"\\t\t", "\\x{09}\\x{09}"},
    {"\\n\n", "(?:\\r?\\n)(?:\\r?\\n)"},
    // \c is the one capture; bare parentheses only group
    {"a\\cb", "a()b"},
    {"(ab|c)d", "(?:ab|c)d"},
    // closures are minimal
    {"a*b+", "a*?b+?"},
    {"(a)*", "(?:a)*?"},
    {"[a]+", "[a]+?"},
    // anchors: '$' holds before a CR LF as before an LF
    {"^a$", "^a(?=\\r?\\n|\\z)"},
    // '.' takes a lone CR but never the CR of a CR LF, nor an LF
    {".", "(?:(?!\\r\\n)[\\x{00}-\\x{09}\\x{0b}-\\x{ff}])"},
    // classes: ranges merged, members sorted, LF taking a CR LF whole
    {"[c-ab]", nullptr},
    {"[a-cb]", "[a-c]"},
    {"[ \t]", "[\\x{09}\\x{20}]"},
    {"[ \\t\\n]", "(?:\\r\\n|[\\x{09}-\\x{0a}\\x{20}])"},
    {"[^a]", "(?:\\r\\n|(?!\\r\\n)[\\x{00}-\\x{60}b-\\x{ff}])"},
    {"[\r]", "(?:(?!\\r\\n)[\\x{0d}])"},
    {"[]a]", "[\\x{5d}a]"},
    {"[\\]x]", "[\\x{5d}x]"},
    {"[a-]", "[\\x{2d}a]"},
    {"[^\\x00-\\xff]", nullptr},  // \x is no escape of the dialect
    // refused: unbalanced, dangling, closures of nothing, unknown escapes
    {"(", nullptr},
    {"a)", nullptr},
    {"(a))(", nullptr},
    {"[abc", nullptr},
    {"[]", nullptr},
    {"[^]", nullptr},
    {"[a\\", nullptr},
    {"\\", nullptr},
    {"*a", nullptr},
    {"a**", nullptr},
    {"a+*", nullptr},
    {"(*)", nullptr},
    {"a|*", nullptr},
    {"^*", nullptr},
    {"\\c*", nullptr},
    {"\\q", nullptr},
    {"[\\q]", nullptr},
    {"[z-a]", nullptr},
    // the plug-in's own patterns
    {wyn_line_pattern,
     "^[\\x{09}\\x{20}]*?[A-Z\\x{5f}a-z]+?()(?:[\\x{09}\\x{20}\\x{28}]|(?=\\r?\\n|\\z))"},
    {wyn_word_start_pattern, "(?:^[\\x{09}\\x{20}]*?)()[A-Z\\x{5f}a-z]"},
};

TEST(PatternTranslate, DialectToPcre2) {
  for (const Translation& t : kTranslations) {
    std::string out = "left over";
    bool ok = cw::pattern_translate(t.dialect, strlen(t.dialect), &out);
    if (t.pcre2 == nullptr) {
      EXPECT_FALSE(ok) << "\"" << t.dialect << "\" was taken as " << out;
    } else {
      EXPECT_TRUE(ok) << "\"" << t.dialect << "\" was refused";
      EXPECT_EQ(out, t.pcre2) << "\"" << t.dialect << "\"";
    }
  }
}

// Only the first n bytes are read: a head or tail is a piece of a pattern.
TEST(PatternTranslate, ReadsOnlyTheGivenLength) {
  std::string out;
  EXPECT_TRUE(cw::pattern_translate("ab(", 2, &out));
  EXPECT_EQ(out, "ab");
  EXPECT_FALSE(cw::pattern_translate("a\\(", 2, &out));
}

TEST(PatternSplit, WhereAClosureOverEverythingMeetsALiteral) {
  struct Split {
    const char* pattern;
    const char* head;  // nullptr: the pattern does not split
    const char* tail;
    unsigned char literal;
  };
  const Split splits[] = {
      {wyn_header_pattern, "^[a-zA-Z0-9_].*\\(", "\\)", ')'},
      {wyn_follower_pattern, "^[a-zA-Z0-9_].*\\(", "\\)[ \t\n]*\\c[^ \t\n]", ')'},
      {"(\\n|.)*x", "", "x", 'x'},
      {"(.|\\n)*\\tb", "", "\\tb", '\t'},
      {"a(.|\n)*(.|\n)*;", "a(.|\n)*", ";", ';'},  // the first closure a literal follows
      {"[(](.|\n)*;", "[(]", ";", ';'},      // a class is skipped whole: its '(' opens nothing
      {"a|b(.|\n)*c", nullptr, nullptr, 0},  // a top-level alternative
      {"(a(.|\n)*b)", nullptr, nullptr, 0},  // not at the top level
      {"a(.|\n)*b*", nullptr, nullptr, 0},   // the literal has a closure of its own
      {"a(.|\n)*b+", nullptr, nullptr, 0},
      {"a(.|\n)*\n", nullptr, nullptr, 0},  // line-end bytes do not qualify
      {"a(.|\n)*\r", nullptr, nullptr, 0},
      {"a(.|\n)*.", nullptr, nullptr, 0},
      {"a(.|\n)*\\q", nullptr, nullptr, 0},
      {"a(.|\n)*", nullptr, nullptr, 0},
      {"a(.|.)*b", nullptr, nullptr, 0},
      {"a(\n|\\n)*b", nullptr, nullptr, 0},
      {"a(.|\n)+b", nullptr, nullptr, 0},
      {"a[(.|\n)*]b", nullptr, nullptr, 0},
  };
  for (const Split& s : splits) {
    cw::PatternSplit at = {99, 99, '?'};
    size_t n = strlen(s.pattern);
    bool found = cw::pattern_split(s.pattern, n, &at);
    if (s.head == nullptr) {
      EXPECT_FALSE(found) << s.pattern;
      EXPECT_EQ(at.head_length, 99u) << s.pattern;  // left alone
      continue;
    }
    ASSERT_TRUE(found) << s.pattern;
    ASSERT_LE(at.head_length, at.tail_start);
    ASSERT_LE(at.tail_start, n);
    EXPECT_EQ(std::string(s.pattern, at.head_length), s.head) << s.pattern;
    EXPECT_EQ(std::string(s.pattern + at.tail_start), s.tail) << s.pattern;
    EXPECT_EQ(at.literal, s.literal) << s.pattern;
  }
}

}  // namespace
