// Colouring a document in counted runs, as the tool streams a long file,
// gives exactly the colours of one whole-buffer run: on every example, on
// every input of the fuzz corpora and on texts built to put comments,
// continued lines and open strings across the ends of runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cwedit.h"
#include "session.h"
#include "support/files.h"
#include "support/session_fixture.h"

namespace {

class ColourStreamTest : public support::PluginTest {};

// Texts whose runs end inside or right after the constructs that carry
// colour state from one line to the next.
const char* const built[] = {
    "a = 1;\n/* one\ntwo\nthree */ b = 2;\nc = 3;\n",
    "/* closes on the last line */",
    "x = \\\n  1; /* open\n\n still */ y = 2;\n",
    "s = \"open string\nt = 'another\n/* c */ u = 1;\n",
    "s = \"/*\";\nfoo();\nbar(); // */ still code\nx = 1;\n",
    "// line /* comment\nif (a) then\n  b = \"*/\";\nendif;\n",
    "a = 1;\nb = 2;\n/* c\n*/ d = 3; // e /* f\ng = \"*/\";\nh = 4;\n",
    "a = 1;\nb = 2;\nc = 3; // d /* e\n\nf = 'g */';\n/* h */ i = 5;\nj = 6;\n",
    "x = '/*'; y = 2;\nz = 3; /* real\n*/ w = 4;\n",
    "/* a *//* b */\n/*/ odd opener */\n*/ stray closer\n",
    "a /* open to the end\n\nno closer\n",
    "line one\r\n/* crlf\r\n comment */ next\r\nend\r\n",
    "\\\n\\\n/* \\\n */\\\n",
    "",
    "\n\n\n",
};

// The colours of counted runs of `lines` lines, driven as the tool drives
// them; fallback tells whether a run was distrusted. Negative: runs of
// -lines lines doubling each time, in a document filled as the tool reads
// a file, a piece at a time.
std::vector<signed char> streamed(const std::string& text, long lines, bool* fallback) {
  wyn::Document doc(lines < 0 ? std::string() : text);
  for (size_t at = 0; lines < 0 && at < text.size(); at += 7)
    EXPECT_TRUE(doc.append(text.data() + at, std::min<size_t>(7, text.size() - at)));
  EXPECT_EQ(doc.text(), text);
  doc.colour_begin();
  size_t done = 0, last = 0;
  long run = lines < 0 ? -lines : lines;
  for (int guard = 0; done < doc.size() || guard == 0; guard++) {
    std::string error;
    EXPECT_TRUE(doc.colour_more(run, &done, &error)) << error;
    if (lines < 0) run *= 2;
    EXPECT_GE(done, last) << "final colours went backwards";
    last = done;
    if (guard > 1000000) break;
  }
  *fallback = doc.distrusted_a_run();
  return doc.categories();
}

std::vector<signed char> whole(const std::string& text) {
  wyn::Document doc(text);
  EXPECT_TRUE(doc.colour_whole());
  return doc.categories();
}

TEST_F(ColourStreamTest, CountedRunsGiveTheWholeBufferColours) {
  std::vector<std::pair<std::string, std::string>> texts;  // name, text
  for (const char* t : built) texts.emplace_back("built", t);
  std::string root = WYN_SOURCE_DIR;
  for (const char* dir : {"/examples", "/fuzz/corpus/colour", "/fuzz/corpus/update",
                          "/fuzz/corpus/edit", "/fuzz/corpus/lsp", "/fuzz/corpus/config"})
    for (const std::string& path : support::files_in(root + dir))
      texts.emplace_back(path, support::read_file(path));
  ASSERT_GT(texts.size(), 1000u) << "corpora not readable at " << root;
  size_t fallbacks = 0;
  for (const auto& t : texts) {
    std::vector<signed char> want = whole(t.second);
    for (long lines : {1L, 2L, 3L, 7L, 64L, -1L}) {
      bool fell_back = false;
      ASSERT_EQ(streamed(t.second, lines, &fell_back), want)
          << t.first << " in runs of " << lines << ":\n"
          << t.second.substr(0, 200);
      fallbacks += fell_back;
    }
  }
  // Distrust is the exception, not the way every text gets coloured.
  EXPECT_LT(fallbacks, texts.size());
}

// An opener inside a line comment, one run back: a run started below it
// takes that "/*" for an enclosing comment and runs to the "*/" in a
// string. Trusting it would show code as comment; the driver colours again
// from further back instead.
TEST_F(ColourStreamTest, ARunThatBacksUpOverOtherColoursIsNotTrusted) {
  const std::string text = "// line /* comment\nif (a) then\n  b = \"*/\";\nendif;\n";
  std::vector<signed char> want = whole(text);

  wyn::Document naive(text);
  long pos = 0;
  while (pos >= 0 && (size_t)pos < naive.size()) {
    long next = naive.colour_lines(pos, 1);
    if (next <= pos) break;
    pos = next;
  }
  bool fell_back = false;
  std::vector<signed char> got = streamed(text, 1, &fell_back);
  EXPECT_NE(naive.categories(), want) << "the text no longer misleads a run";
  EXPECT_EQ(got, want);
  EXPECT_TRUE(fell_back);
}

// A distrusted run deep in a long text is coloured again from near where
// it went wrong, and counted runs go on after it: the work stays about one
// pass, never a second one from the top.
TEST_F(ColourStreamTest, ADistrustedRunCostsItsNeighbourhoodNotTheWholeText) {
  std::string lines;
  for (int i = 0; i < 4000; i++) lines += "x = " + std::to_string(i) + ";\n";
  const std::string texts[] = {
      lines + "// y\nif (a) then\n  b = \"*/\";\nendif;\n" + lines,
      lines + "// y /* z\nif (a) then\n  b = \"*/\";\nendif;\n" + lines,
  };
  unsigned long long calls[2];
  for (int k = 0; k < 2; k++) {
    bool fell_back = false;
    unsigned long long before = cw_call_count();
    std::vector<signed char> got = streamed(texts[k], 64, &fell_back);
    calls[k] = cw_call_count() - before;
    EXPECT_EQ(fell_back, k == 1);
    EXPECT_EQ(got, whole(texts[k])) << k;
  }
  EXPECT_LT(calls[1], calls[0] + calls[0] / 4);
}

}  // namespace
