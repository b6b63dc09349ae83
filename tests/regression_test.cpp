// Inputs the fuzzers found, and the seed corpora they grew from, replayed
// through the same drivers and checks as the fuzz programs,
// together with a direct test of each fault they showed up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cwedit.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "support/editor.h"
#include "support/files.h"
#include "support/harness.h"

namespace {

// The stand-in keeps its tables and strings until its next reset; hand them
// back once every test has run, so the sanitizer build's leak check at exit
// counts only what a test really lost.
class release_editor : public ::testing::Environment {
 public:
  void TearDown() override { cw_reset(); }
};
::testing::Environment* const released = ::testing::AddGlobalTestEnvironment(new release_editor);

// Every committed input of every target runs clean. The seed corpora must
// be there; a regressions folder exists once something was found.
TEST(Regression, CommittedInputsRunClean) {
  for (const fuzz::target& t : fuzz::targets) {
    std::string root = std::string(WYN_SOURCE_DIR) + "/fuzz/";
    std::vector<std::string> files = support::files_in(root + "corpus/" + t.name);
    if (files.empty()) GTEST_SKIP() << "no corpus readable at " << root;
    std::vector<std::string> found = support::files_in(root + "regressions/" + t.name);
    files.insert(files.end(), found.begin(), found.end());
    for (const std::string& path : files) {
      std::string data = support::read_file(path);
      const char* fault = t.run((const uint8_t*)data.data(), data.size());
      EXPECT_EQ(fault, nullptr) << path << ": " << (fault ? fault : "");
    }
  }
}

// Adding a word the table already holds keeps the copy it has; storing a
// second copy over the first would lose that one for good. New words still
// get their copy, also one that another class already holds.
TEST(Regression, RepeatedKeywordKeepsOneCopy) {
  struct add {
    const char* word;
    cw_long word_class;
    size_t new_copies;  // strings the call leaves live
  };
  const add adds[] = {
      {"MyWord", 1, 1}, {"MyWord", 1, 0}, {"MyWord", 2, 1}, {"MyWord", 2, 0},
      {"TRUE", 0, 0},   {"if", 1, 0},     {"TRUE", 2, 1},   {"Delay", 2, 0},
  };
  support::fresh_editor("");
  for (const add& a : adds) {
    cw_ledger_baseline();
    _wyn_add_keyword((char*)a.word, a.word_class);
    EXPECT_EQ(cw_live_since_baseline(), a.new_copies) << a.word << " in class " << a.word_class;
    cw_slot slot = cw_table_find(wyn_keyword_tables[a.word_class], a.word);
    ASSERT_NE(slot, nullptr) << a.word;
    EXPECT_STREQ((const char*)*slot, a.word);
  }
  EXPECT_EQ(fuzz::keyword_copies_only(), nullptr);
}

// A word whose copy the editor refused earlier gets one on the next try.
TEST(Regression, RepeatedKeywordMendsAMissingCopy) {
  support::fresh_editor("", support::KEYWORD_TABLES);
  cw_fail_alloc_at(2);  // HashInsert succeeds, StrDup fails
  _wyn_add_keyword((char*)"Again", 1);
  cw_slot slot = cw_table_find(wyn_keyword_tables[1], "Again");
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(*slot, nullptr);
  _wyn_add_keyword((char*)"Again", 1);
  EXPECT_STREQ((const char*)*slot, "Again");
  EXPECT_EQ(fuzz::keyword_copies_only(), nullptr);
}

// Lines count from 1: a range with an end below line 1 names no lines and
// reaches no host operation, as one with an end of 0 does.
TEST(Regression, RangeBelowLineOneDoesNothing) {
  const cw_long ranges[][2] = {{0, 3},   {3, 0},         {-1, 3},       {3, -1},
                               {-4, -2}, {INT32_MIN, 2}, {2, INT32_MIN}};
  for (const auto& r : ranges) {
    fuzz::load((const uint8_t*)"a\nb\nc\n", 6, 40);
    unsigned long long before = cw_call_count();
    EXPECT_EQ(_wyn_language_colors_update(r[0], r[1]), 0);
    EXPECT_EQ(cw_call_count(), before) << r[0] << ", " << r[1];
    EXPECT_EQ(cw_run_count(), 0u);
  }
}

// Ends given the wrong way round name the same lines as the right way: the
// same colours, the same lines cleared and handed back for redisplay.
TEST(Regression, ReversedRangeColoursTheSameLines) {
  const char text[] = "x = 1;\nif (a) then\n\tDelay(2); // wait\nendif;\ny = \"s\";\n";
  const cw_long ranges[][2] = {{2, 4}, {1, 5}, {3, 3}, {4, 9}};
  for (const auto& r : ranges) {
    std::vector<std::string> logs[2];
    std::vector<cw_long> colours[2];
    for (int turn = 0; turn < 2; turn++) {
      fuzz::load((const uint8_t*)text, sizeof text - 1, 40);
      cw_log_clear();
      cw_log_enable(1);
      if (turn == 0)
        _wyn_language_colors_update(r[0], r[1]);
      else
        _wyn_language_colors_update(r[1], r[0]);
      cw_log_enable(0);
      logs[turn] = support::call_log();
      for (cw_long p = 0; p < (cw_long)sizeof text - 1; p++)
        colours[turn].push_back(cw_colour_at(p));
    }
    EXPECT_EQ(logs[1], logs[0]) << r[0] << ", " << r[1];
    EXPECT_EQ(colours[1], colours[0]) << r[0] << ", " << r[1];
    EXPECT_GT(cw_run_count(), 0u);
  }
}

}  // namespace
