// Configuration entry points: added words, on-demand table sizes, the
// comment-introducer setting, and calls that must change nothing.
#include <gtest/gtest.h>

#include <string.h>
#include <string>

#include "cwedit.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "support/editor.h"

namespace {

void start() {
  support::fresh_editor("");
}

size_t table_sizes() {
  size_t n = 0;
  for (int c = 0; c < WYN_CLASS_COUNT; c++) n += cw_table_size(wyn_keyword_tables[c]);
  return n;
}

// The module's settings outlive a test: put back what a test changed.
struct SavedSettings {
  cw_long buckets[WYN_CLASS_COUNT];
  char introducer[3];
  cw_table tables[WYN_CLASS_COUNT];
  cw_table templates;
  SavedSettings() {
    memcpy(buckets, wyn_on_demand_buckets, sizeof buckets);
    memcpy(introducer, wyn_comment_introducer, sizeof introducer);
    memcpy(tables, wyn_keyword_tables, sizeof tables);
    templates = wyn_template_table;
  }
  ~SavedSettings() {
    memcpy(wyn_on_demand_buckets, buckets, sizeof buckets);
    memcpy(wyn_comment_introducer, introducer, sizeof introducer);
    memcpy(wyn_keyword_tables, tables, sizeof tables);
    wyn_template_table = templates;
  }
};

TEST(Config, AddedWordGoesIntoItsClassWithACopy) {
  for (cw_long word_class = 0; word_class < WYN_CLASS_COUNT; word_class++) {
    SCOPED_TRACE(word_class);
    start();
    char word[] = "MyAddedWord";
    _wyn_add_keyword(word, word_class);
    cw_slot slot = cw_table_find(wyn_keyword_tables[word_class], "MyAddedWord");
    ASSERT_NE(slot, nullptr);
    ASSERT_NE(*slot, nullptr);
    EXPECT_NE(*slot, static_cast<void*>(word));  // a copy, not the caller's
    EXPECT_STREQ(static_cast<const char*>(*slot), "MyAddedWord");
    EXPECT_EQ(cw_live_since_baseline(), 1u);  // the copy lives with the table
  }
}

TEST(Config, BadAddsChangeNothing) {
  start();
  size_t before = table_sizes();
  size_t tables = cw_table_count();
  char empty[] = "";
  char word[] = "x";
  _wyn_add_keyword(empty, 1);
  _wyn_add_keyword(nullptr, 1);
  _wyn_add_keyword(word, -1);
  _wyn_add_keyword(word, 3);
  EXPECT_EQ(table_sizes(), before);
  EXPECT_EQ(cw_table_count(), tables);
  EXPECT_EQ(cw_live_since_baseline(), 0u);
}

TEST(Config, HashSizeAppliesOnlyToTablesMadeOnDemand) {
  SavedSettings saved;
  start();
  _wyn_hash_size(1, 0);
  _wyn_hash_size(1, -5);
  _wyn_hash_size(0, 100);
  _wyn_hash_size(3, 100);
  EXPECT_EQ(wyn_on_demand_buckets[1], 47);
  EXPECT_EQ(wyn_on_demand_buckets[2], 47);

  // After start-up the class-2 table exists: the new size is not used.
  _wyn_hash_size(2, 101);
  EXPECT_EQ(wyn_on_demand_buckets[2], 101);
  size_t tables = cw_table_count();
  char word[] = "x";
  _wyn_add_keyword(word, 2);
  EXPECT_EQ(cw_table_count(), tables);
  EXPECT_EQ(cw_table_buckets(wyn_keyword_tables[2]), 539);
  EXPECT_NE(cw_table_find(wyn_keyword_tables[2], "x"), nullptr);
}

TEST(Config, TablesMadeOnDemandBeforeStartUp) {
  SavedSettings saved;
  cw_reset();
  for (int c = 0; c < WYN_CLASS_COUNT; c++) wyn_keyword_tables[c] = nullptr;
  wyn_template_table = nullptr;
  char word[] = "Early";
  _wyn_add_keyword(word, 0);  // no class-0 table yet: ignored
  EXPECT_EQ(cw_table_count(), 0u);
  EXPECT_EQ(wyn_keyword_tables[0], nullptr);

  _wyn_hash_size(1, 61);
  _wyn_add_keyword(word, 1);
  _wyn_add_keyword(word, 2);
  ASSERT_NE(wyn_keyword_tables[1], nullptr);
  ASSERT_NE(wyn_keyword_tables[2], nullptr);
  EXPECT_EQ(cw_table_buckets(wyn_keyword_tables[1]), 61);
  EXPECT_EQ(cw_table_buckets(wyn_keyword_tables[2]), 47);
  EXPECT_EQ(cw_table_flag(wyn_keyword_tables[1]), 0);
  EXPECT_NE(cw_table_find(wyn_keyword_tables[1], "Early"), nullptr);

  char name[] = "t";
  char text[] = "t (&x);";
  _wyn_assign_template(name, text);  // null template table: harmless
}

TEST(Config, RefusedInsertStoresNothing) {
  start();
  cw_refuse_key("Refused");
  char word[] = "Refused";
  _wyn_add_keyword(word, 1);
  cw_refuse_key(nullptr);
  EXPECT_EQ(cw_live_since_baseline(), 0u);
  EXPECT_EQ(cw_bad_frees(), 0u);
}

TEST(Config, CommentCharReplacesOnlyTheFirstCharacter) {
  SavedSettings saved;
  char semicolon[] = ";";
  char empty[] = "";
  char longer[] = "#!";
  WYNSetCommentChar(semicolon);
  EXPECT_STREQ(wyn_comment_introducer, ";/");
  WYNSetCommentChar(empty);
  WYNSetCommentChar(nullptr);
  EXPECT_STREQ(wyn_comment_introducer, ";/");
  WYNSetCommentChar(longer);
  EXPECT_STREQ(wyn_comment_introducer, "#/");
}

// Class 0 is consulted first, so a word it holds keeps the constants'
// colour even after it is added to class 2; a new class-2 word is coloured
// as a function.
TEST(Config, LowerClassWinsInTheNextColouring) {
  start();
  char constant[] = "TRUE";
  char fresh[] = "MyHelper";
  _wyn_add_keyword(constant, 2);
  _wyn_add_keyword(fresh, 2);
  const char text[] = "TRUE MyHelper\n";
  cw_set_text(text, strlen(text));
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(cw_colour_at(0), cw_category_colour(CW_CONSTANTS));
  EXPECT_EQ(cw_colour_at(5), cw_category_colour(CW_FUNCTIONS));
  EXPECT_NE(cw_category_colour(CW_CONSTANTS), cw_category_colour(CW_FUNCTIONS));
}

}  // namespace
