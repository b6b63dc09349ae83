// The stand-in editor's pattern search: the four patterns the plug-in
// passes, CR LF against LF, minimal closures, the literal index and its
// invalidation, malformed patterns, and the cursor contract of RegexSearch.
// The dialect's translation on its own is tested in pattern_translate_test.
#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "../standin/cwedit.h"
#include "../standin/literal_index.h"
#include "../standin/search.h"
#include "../plugin/edit/patterns.h"

namespace {

// The plug-in's patterns, the very bytes it passes.
const char* const kLine = wyn_line_pattern;
const char* const kWord = wyn_word_start_pattern;
const char* const kHeader = wyn_header_pattern;
const char* const kFollower = wyn_follower_pattern;

const size_t kNone = (size_t)-1;
unsigned long long next_generation = 1;

// One search on fresh text (a new generation each time); kNone when it
// finds nothing, and then *out must be left alone.
size_t search(const std::string& text, size_t cursor, const char* pattern, bool backward) {
  size_t out = 12345;
  bool found = cw::pattern_search(text.data(), text.size(), next_generation++, cursor, pattern,
                                  backward, &out);
  if (!found) {
    EXPECT_EQ(out, 12345u) << "a failed search wrote *out";
    return kNone;
  }
  return out;
}

std::string to_crlf(const std::string& s) {
  std::string r;
  for (char c : s) {
    if (c == '\n') r += '\r';
    r += c;
  }
  return r;
}

// Where position p of LF text lies in its CR LF form.
size_t crlf_pos(const std::string& lf_text, size_t p) {
  if (p == kNone) return kNone;
  size_t lfs = 0;
  for (size_t i = 0; i < p && i < lf_text.size(); i++) lfs += lf_text[i] == '\n';
  return p + lfs;
}

struct Case {
  const char* pattern;
  const char* text;
  size_t cursor;
  bool backward;
  size_t expect;  // cursor after the search, kNone for no match
};

const Case kCases[] = {
    // line pattern, backward: the cursor lands just after the first word
    {kLine, "    if (a == b) then", 20, true, 6},
    {kLine, "elseif(x) then", 14, true, 6},
    {kLine, "begin", 5, true, 5},
    {kLine, "begin\nx", 5, true, 5},
    {kLine, "case 1:", 7, true, 4},
    {kLine, "endif;", 6, true, kNone},
    {kLine, "default:", 3, true, kNone},
    {kLine, "  9 if", 6, true, kNone},
    {kLine, "x = 1; if (y) then", 18, true, 1},
    {kLine, "  while (x)", 5, true, 7},     // from inside the word
    {kLine, "if x", 0, true, 2},            // from position 0
    {kLine, "begin\n  9x\n", 9, true, 5},   // own line fails, an earlier one matches
    {kLine, "a\n\tfoo(b)\n", 9, true, 6},   // from the line end
    {kLine, "a\n\tfoo(b)\n", 10, true, 6},  // from the empty last line
    {kLine, "a\n\tfoo(b)\n", 1, true, 1},
    // word-start pattern, backward: the cursor lands on the word's first letter
    {kWord, "    if (a)", 6, true, 4},
    {kWord, "\tfoo", 4, true, 1},
    {kWord, "x", 0, true, 0},
    {kWord, "  1a", 4, true, kNone},
    {kWord, "ab\n  cd", 6, true, 5},
    {kWord, "ab\n  1d", 6, true, 0},
    // header pattern, forward: the cursor lands on the header's first character
    {kHeader, "function Foo(a)\nbegin\n", 0, false, 0},
    {kHeader, "x\nfunction Foo(a)\nbegin", 1, false, 2},
    {kHeader, "function Foo(a)\nbegin", 3, false, kNone},  // no wrap-around
    {kHeader, "  function Foo()", 0, false, kNone},
    {kHeader, "f(a,\n  b)\n{", 0, false, 0},
    {kHeader, "f(a\n", 0, false, kNone},
    {kHeader, "f a\n(b)", 0, false, kNone},  // '(' must stand on the header's line
    {kHeader, "(x)\n_g(b)", 0, false, 4},
    // follower pattern, forward: the cursor lands on the follower
    {kFollower, "function Foo(a)\nbegin\n", 0, false, 16},
    {kFollower, "function Foo(a)\n    STRING s;\nbegin", 0, false, 20},
    {kFollower, "int foo() {", 0, false, 10},
    {kFollower, "prototype Foo(NUMBER);", 0, false, 21},
    {kFollower, "f(a,\n  b)\n\n \t begin", 0, false, 14},
    {kFollower, "f(a)\n\n  \t\n", 0, false, kNone},
    {kFollower, "f(a) g(b)\nbegin", 0, false, 5},  // the first ')' that lets it match
    {kFollower, "f(a)\n\n  \t\ng(b) x", 0, false, 10},
    // minimal closures: a declaration does not run on into the next header
    {kFollower, "prototype P(a);\nfunction F(b)\nbegin", 0, false, 14},
    {kFollower, "function A(x)\nbegin\nend;\nfunction B(y)\nbegin\n", 0, false, 14},
    {kFollower, "function A(x)\nbegin\nend;\nfunction B(y)\nbegin\n", 25, false, 39},
    {kFollower, "function A(x)\nbegin\nend;\nfunction B(y)\nbegin\n", 15, false, 39},
    // classes and line ends: a CR LF is taken whole or not at all
    {"[^a]b", "\nb ab cb", 0, false, 0},
    {"[^a]\n", "a\n", 0, false, kNone},
    {"[\n]x", "a\nx", 0, false, 1},
    {"a[^\n]", "a\nab", 0, false, 2},
    {"a\nb", "ba\nb", 0, false, 1},
};

TEST(PatternSearch, CasesWithLfAndCrLf) {
  for (const Case& c : kCases) {
    std::string lf = c.text;
    EXPECT_EQ(search(lf, c.cursor, c.pattern, c.backward), c.expect)
        << "LF text \"" << c.text << "\" from " << c.cursor;
    std::string crlf = to_crlf(lf);
    EXPECT_EQ(search(crlf, crlf_pos(lf, c.cursor), c.pattern, c.backward), crlf_pos(lf, c.expect))
        << "CR LF text \"" << c.text << "\" from " << c.cursor;
  }
}

// The routine list's loop: header, follower, then the next line's start.
// Gives each header's start and where the follower search left the cursor.
std::vector<std::pair<size_t, size_t>> routine_walk(const std::string& text) {
  std::vector<std::pair<size_t, size_t>> found;
  unsigned long long generation = next_generation++;
  size_t cursor = 0;
  for (;;) {
    size_t start = cursor, follower;
    if (!cw::pattern_search(text.data(), text.size(), generation, cursor, kHeader, false, &start))
      break;
    follower = start;
    cw::pattern_search(text.data(), text.size(), generation, start, kFollower, false, &follower);
    found.emplace_back(start, follower);
    const char* lf = (const char*)memchr(text.data() + follower, '\n', text.size() - follower);
    if (!lf) break;
    cursor = (size_t)(lf - text.data()) + 1;
  }
  return found;
}

TEST(PatternSearch, RoutineWalkOverSeveralHeaders) {
  const std::string lf =
      "prototype P(a);\n"  // 0: declaration, follower ';' at 14
      "function F(a,\n"    // 16
      "           b)\n"    // 30
      "  NUMBER n;\n"      // 44: follower 'N' at 46
      "begin\n"
      "end;\n"
      "int g() {\n"  // 67: follower '{' at 75
      "}\n"
      "h(x)\n";  // 79: follower search finds nothing, stays at 79
  const std::vector<std::pair<size_t, size_t>> want = {{0, 14}, {16, 46}, {67, 75}, {79, 79}};
  EXPECT_EQ(routine_walk(lf), want);
  std::vector<std::pair<size_t, size_t>> want_crlf;
  for (auto& w : want) want_crlf.emplace_back(crlf_pos(lf, w.first), crlf_pos(lf, w.second));
  EXPECT_EQ(routine_walk(to_crlf(lf)), want_crlf);
}

// The hostile shapes: every line opens a list that nothing, or only one
// parenthesis at the very end, closes.
TEST(PatternSearch, HostileShapesAnswerCorrectly) {
  std::string open;
  for (int i = 0; i < 2000; i++) open += "word(x, y\n";
  EXPECT_EQ(search(open, 0, kHeader, false), kNone);
  EXPECT_EQ(search(open, 0, kFollower, false), kNone);
  EXPECT_TRUE(routine_walk(open).empty());

  std::string closed = open + ")";
  EXPECT_EQ(search(closed, 0, kHeader, false), 0u);
  EXPECT_EQ(search(closed, 5, kHeader, false), 10u);
  EXPECT_EQ(search(closed, 0, kFollower, false), kNone);
  EXPECT_EQ(search(closed, 15000, kFollower, false), kNone);
  std::vector<std::pair<size_t, size_t>> walk = routine_walk(closed);
  ASSERT_EQ(walk.size(), 2000u);
  EXPECT_EQ(walk[1999], std::make_pair((size_t)19990, (size_t)19990));

  std::string declared = closed + "\n;";
  EXPECT_EQ(search(declared, 0, kFollower, false), declared.size() - 1);
  EXPECT_EQ(search(declared, 19990, kFollower, false), declared.size() - 1);
}

// Splitting at "(.|\n)*" must give what plain backtracking gives. An extra
// pair of parentheses keeps the same pattern away from the split.
TEST(PatternSearch, SplitAgreesWithPlainMatching) {
  struct Pair {
    const char* split;
    const char* plain;
  };
  const Pair pairs[] = {
      {kHeader, "^[a-zA-Z0-9_].*\\(((.|\n))*\\)"},
      {kFollower, "^[a-zA-Z0-9_].*\\(((.|\n))*\\)[ \t\n]*\\c[^ \t\n]"},
      {"(\\n|.)*\\)", "((\\n|.))*\\)"},
      {"a\\c(.|\n)*\\);", "a\\c((.|\n))*\\);"},
      {"\\((.|\\n)*\\)\\c[ \t]*;", "\\(((.|\\n))*\\)\\c[ \t]*;"},
  };
  const char* const pieces[] = {"a", "b", "(", ")", " ", "\t", "\n", ";", "\r\n", "))"};
  std::mt19937 rng(7);
  for (int round = 0; round < 300; round++) {
    std::string text;
    int n = (int)(rng() % 24);
    for (int i = 0; i < n; i++) text += pieces[rng() % (sizeof pieces / sizeof *pieces)];
    for (const Pair& p : pairs)
      for (size_t cursor = 0; cursor <= text.size(); cursor++)
        for (bool backward : {false, true})
          ASSERT_EQ(search(text, cursor, p.split, backward),
                    search(text, cursor, p.plain, backward))
              << "pattern " << p.split << " on \"" << text << "\" from " << cursor
              << (backward ? " backward" : " forward");
  }
}

// CR LF text must answer exactly as the same text with LF ends.
TEST(PatternSearch, CrLfAgreesWithLf) {
  const char* const patterns[] = {kLine,   kWord,   kHeader,   kFollower,  "a.$",
                                  "[^a]b", "a\\nb", "^\\c.*;", "[ \t\n]+x"};
  const char* const pieces[] = {"a", "b", "x", "(", ")", " ", "\t", "\n", ";", "\n\n"};
  std::mt19937 rng(11);
  for (int round = 0; round < 200; round++) {
    std::string lf;
    int n = (int)(rng() % 20);
    for (int i = 0; i < n; i++) lf += pieces[rng() % (sizeof pieces / sizeof *pieces)];
    std::string crlf = to_crlf(lf);
    for (const char* p : patterns)
      for (size_t cursor = 0; cursor <= lf.size(); cursor++)
        for (bool backward : {false, true})
          ASSERT_EQ(search(crlf, crlf_pos(lf, cursor), p, backward),
                    crlf_pos(lf, search(lf, cursor, p, backward)))
              << "pattern " << p << " on \"" << lf << "\" from " << cursor
              << (backward ? " backward" : " forward");
  }
}

TEST(PatternSearch, MalformedPatternsFindNothing) {
  const char* const bad[] = {"(", "a)", "[abc", "\\", "*a", "a**", "a+*", "\\q", "(|*)", "[z-a]"};
  for (const char* p : bad) {
    EXPECT_EQ(search("a)(abc**", 0, p, false), kNone) << p;
    EXPECT_EQ(search("a)(abc**", 8, p, true), kNone) << p;
  }
}

TEST(PatternSearch, EmptyBufferAndOutOfRangeCursor) {
  size_t out = 7;
  for (const char* p : {kLine, kWord, kHeader, kFollower})
    for (bool backward : {false, true}) {
      EXPECT_FALSE(cw::pattern_search(nullptr, 0, 1, 0, p, backward, &out));
      EXPECT_EQ(search("", 0, p, backward), kNone);
    }
  EXPECT_EQ(out, 7u);
  EXPECT_EQ(search("", 0, "", false), 0u);       // the empty pattern matches anywhere
  EXPECT_EQ(search("if", 99, kLine, true), 2u);  // backward starts at the end
  EXPECT_EQ(search("f(a)\nb", 99, kHeader, false), kNone);
}

TEST(PatternSearch, DialectPieces) {
  const Case cases[] = {
      {"a\\(b\\)", "x a(b) a(b)", 3, false, 7},  // \( \) are literal parentheses
      {"(ab|cd)+e", "xcdabe", 0, false, 1},      // groups, alternation, closures
      {"x.y", "x\ny x\ry xzy", 0, false, 4},     // '.' takes a lone CR but no LF
      {"x.y", "x\r\ny", 0, false, kNone},        // nor the CR of CR LF
      {"a$", "ba\r\nca", 0, false, 1},
      {"a$", "ba\rca", 0, false, 4},  // a lone CR ends no line
      {"^b", "ab\r\nb", 0, false, 4},
      {"[\\]x]+\\c!", "a]x]!", 0, false, 4},  // ']' and escapes inside a class
      {"q?", "ab q? q", 0, false, 3},         // '?' is an ordinary byte
      {"\\c", "abc", 2, true, 2},
  };
  for (const Case& c : cases)
    EXPECT_EQ(search(c.text, c.cursor, c.pattern, c.backward), c.expect)
        << c.pattern << " on \"" << c.text << "\"";
}

// The index of ')' belongs to one generation: same storage, new bytes.
TEST(PatternSearch, NewGenerationRebuildsTheIndex) {
  char text[] = "f(a)\nbegin\n";
  size_t n = sizeof text - 1, out = 0;
  ASSERT_TRUE(cw::pattern_search(text, n, 500, 0, kFollower, false, &out));
  EXPECT_EQ(out, 5u);
  memcpy(text, "f(a \nb)gin\n", n);
  ASSERT_TRUE(cw::pattern_search(text, n, 501, 0, kFollower, false, &out));
  EXPECT_EQ(out, 7u);
  memcpy(text, "f(a \nbegin\n", n);
  EXPECT_FALSE(cw::pattern_search(text, n, 502, 0, kFollower, false, &out));
  EXPECT_EQ(out, 7u);
}

// Each answer lists every position of the byte, whichever indexes are kept
// or given way: more keys than slots, asked again in another order.
TEST(LiteralIndex, AnswersStayRightAcrossReuseAndEviction) {
  struct Key {
    const char* text;
    unsigned char literal;
    unsigned long long generation;
    std::vector<size_t> want;
  };
  static const char a[] = ")x)\n))";
  static const char b[] = "no close here";
  const Key keys[] = {
      {a, ')', 1, {0, 2, 4, 5}}, {a, 'x', 1, {1}},         {a, '\n', 1, {3}},
      {b, ')', 1, {}},           {b, 'e', 2, {7, 10, 12}}, {a, '(', 3, {}},
  };
  cw::LiteralIndexes indexes;
  for (int round = 0; round < 2; round++)
    for (size_t i = 0; i < sizeof keys / sizeof *keys; i++) {
      const Key& k = keys[round == 0 ? i : sizeof keys / sizeof *keys - 1 - i];
      EXPECT_EQ(indexes.find(k.literal, k.text, strlen(k.text), k.generation), k.want)
          << "'" << k.literal << "' in \"" << k.text << "\" round " << round;
    }
}

// RegexSearch moves the cursor only when it finds something.
TEST(PatternSearch, RegexSearchCursorContract) {
  cw_reset();
  const char text[] = "function A(x)\nbegin\nend;\nfunction B(y)\n";
  cw_set_text(text, sizeof text - 1);
  cw_set_cursor(0);
  EXPECT_NE(RegexSearch(kFollower, CW_SEARCH_FORWARD, 0), 0);
  EXPECT_EQ(cw_cursor(), 14);
  EXPECT_NE(RegexSearch(kHeader, CW_SEARCH_FORWARD, 0), 0);
  EXPECT_EQ(cw_cursor(), 25);
  EXPECT_EQ(RegexSearch(kFollower, CW_SEARCH_FORWARD, 0), 0);  // B has no follower
  EXPECT_EQ(cw_cursor(), 25);
  cw_set_cursor(17);
  EXPECT_NE(RegexSearch(kLine, CW_SEARCH_BACKWARD, 0), 0);
  EXPECT_EQ(cw_cursor(), 19);
  EXPECT_NE(RegexSearch(kWord, CW_SEARCH_BACKWARD, 0), 0);
  EXPECT_EQ(cw_cursor(), 14);
  cw_set_text("  1x", 4);
  cw_set_cursor(3);
  EXPECT_EQ(RegexSearch(kLine, CW_SEARCH_BACKWARD, 0), 0);
  EXPECT_EQ(cw_cursor(), 3);
  cw_reset();
}

}  // namespace
