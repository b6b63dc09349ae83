// Start-up and the keyword tables, through the plug-in module loaded the way
// the editor loads it: library, _init, registered prototypes.
#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

#include "cwedit.h"
#include "frame/module.h"
#include "support/editor.h"
#include "support/plugin.h"

namespace {

std::string ptr_size() {
  return std::to_string(sizeof(void*));
}

size_t list_length(const char* const* list) {
  size_t n = 0;
  while (list[n]) n++;
  return n;
}

// A freshly loaded module for every test: the one-shot flag lives in it.
class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    cw_reset();
    cw_log_enable(1);
  }
  void TearDown() override { cw_unload_module(); }
  void load() { ASSERT_EQ(cw_load_module(WYN_PLUGIN_PATH), 0); }
  static int call(const char* name, std::vector<const char*> args) {
    cw_long result = 0;
    return cw_call(name, (int)args.size(), args.data(), &result);
  }
};

TEST_F(Startup, RegistersBeforeBuildingAndBindsLast) {
  load();
  std::vector<std::string> log = support::call_log();
  const std::vector<std::string> head = {
      "HostStartup(10, 16711935)",
      "ColorOfConstants(250)",
      "ExportFunction(\"BOOL _wyn_expand\")",
      "ExportFunction(\"_wyn_assign_template LPSTR LPSTR\")",
      "ExportFunction(\"BOOL _wyn_indent\")",
      "ExportFunction(\"long _wyn_language_colors_update long long\")",
      "ExportFunction(\"_wyn_language_colors long\")",
      "ExportFunction(\"WYNSetCommentChar LPSTR\")",
      "ExportFunction(\"_wyn_add_keyword LPSTR int\")",
      "ExportFunction(\"_wyn_hash_size int int\")",
      "ExportFunction(\"_wyn_routines\")",
      "HashCreate(539, " + ptr_size() + ", 0)",
  };
  ASSERT_GE(log.size(), head.size());
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + (long)head.size()), head);
  EXPECT_EQ(log.back(), "RegisterExtension(\".wyn\")");

  // Each table is created right before it is filled: the three keyword
  // tables, then the template table, in that order.
  std::vector<std::string> creates;
  for (const std::string& line : log)
    if (line.rfind("HashCreate(", 0) == 0) creates.push_back(line);
  EXPECT_EQ(creates, (std::vector<std::string>{"HashCreate(539, " + ptr_size() + ", 0)",
                                               "HashCreate(539, " + ptr_size() + ", 0)",
                                               "HashCreate(539, " + ptr_size() + ", 0)",
                                               "HashCreate(17, " + ptr_size() + ", 1)"}));
  ASSERT_EQ(cw_extension_count(), 1u);
  EXPECT_STREQ(cw_extension_at(0), ".wyn");
  ASSERT_EQ(cw_export_count(), 9u);
}

TEST_F(Startup, ReenteringInitDoesNothing) {
  load();
  char word[] = "AddedLater";
  ASSERT_EQ(call("_wyn_add_keyword", {word, "2"}), 0);
  cw_log_clear();
  size_t tables = cw_table_count();
  size_t live = cw_live_allocations();
  // The editor calling either start-up entry again.
  for (const char* entry : {"_init", "_wyn_init"}) {
    auto fn = (void (*)(void))plugin_symbol(entry);
    ASSERT_NE(fn, nullptr) << entry;
    fn();
  }
  EXPECT_EQ(cw_log_count(), 0u) << "second start-up called " << cw_log_at(0);
  EXPECT_EQ(cw_table_count(), tables);
  EXPECT_EQ(cw_live_allocations(), live);
  EXPECT_NE(cw_table_find(cw_table_at(2), "AddedLater"), nullptr);
}

TEST_F(Startup, EveryWordInItsOwnTableWithItsOwnCopy) {
  load();
  const char* const* lists[] = {wyn_class0_words, wyn_class1_words, wyn_class2_words};
  const size_t sizes[] = {776, 71, 281};
  for (int c = 0; c < 3; c++) {
    cw_table t = cw_table_at((size_t)c);
    ASSERT_EQ(list_length(lists[c]), sizes[c]);
    EXPECT_EQ(cw_table_size(t), sizes[c]) << "class " << c;
    EXPECT_EQ(cw_table_buckets(t), 539);
    EXPECT_EQ(cw_table_flag(t), 0);
    for (const char* const* w = lists[c]; *w; w++) {
      cw_slot slot = cw_table_find(t, *w);
      ASSERT_NE(slot, nullptr) << *w;
      ASSERT_NE(*slot, nullptr) << *w;
      EXPECT_STREQ((const char*)*slot, *w);
      EXPECT_NE(*slot, (const void*)*w) << "value must be a copy: " << *w;
    }
  }
}

// The class a word gets: the first table holding it, in class order.
int classify(const char* word) {
  for (int c = 0; c < 3; c++)
    if (cw_table_find(cw_table_at((size_t)c), word)) return c;
  return -1;
}

TEST_F(Startup, WordsMatchWholeAndCaseSensitively) {
  load();
  const struct {
    const char* word;
    int word_class;
  } cases[] = {
      {"Welcome", 2},  {"WELCOME", 0},  {"welcome", -1},   {"default", 1},     {"DEFAULT", 0},
      {"exit", 1},     {"Exit", 1},     {"EXIT", 0},       {"eXit", -1},       {"EXit", -1},
      {"isobject", 1}, {"ISObject", 1}, {"ISOBJECT", 1},   {"IsObject", -1},   {"isObject", -1},
      {"#define", 1},  {"define", -1},  {"BK_MAGENTA", 0}, {"BK_MAGENTA1", 0}, {"BK_MAGENT", -1},
      {"__FILE__", 0}, {"__LINE__", 0}, {"RGB", 2},        {"XCopyFile", 2},   {"_MAX_STRING", 0},
      {"MBYTES", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(classify(c.word), c.word_class) << c.word;
}

TEST_F(Startup, RefusedInsertionAffectsNoOtherWord) {
  cw_refuse_key("BK_PINK");  // in the middle of the class-0 list
  load();
  EXPECT_EQ(cw_table_find(cw_table_at(0), "BK_PINK"), nullptr);
  EXPECT_EQ(cw_table_size(cw_table_at(0)), 775u);
  EXPECT_EQ(cw_table_size(cw_table_at(1)), 71u);
  EXPECT_EQ(cw_table_size(cw_table_at(2)), 281u);
  for (const char* w : {"BK_ORANGE", "BK_RED", "_MAX_STRING", "#define", "XCopyFile"})
    EXPECT_NE(classify(w), -1) << w;
}

}  // namespace
