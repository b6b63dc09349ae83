// Freeing the plug-in module: what it registered, the tables it made and the
// strings it kept go with it; the buffers and what the editor made itself
// stay. A reload starts up again from a clean slate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cwedit.h"

namespace {

// What loading the plug-in adds to the editor and unloading must take away.
struct Residue {
  size_t tables, exports, extensions, live;
  bool operator==(const Residue& o) const {
    return tables == o.tables && exports == o.exports && extensions == o.extensions &&
           live == o.live;
  }
};

Residue residue() {
  return {cw_table_count(), cw_export_count(), cw_extension_count(), cw_live_allocations()};
}

std::ostream& operator<<(std::ostream& out, const Residue& r) {
  return out << r.tables << " tables, " << r.exports << " registrations, " << r.extensions
             << " bindings, " << r.live << " live";
}

// Everything start-up leaves readable: prototypes, bindings, and each table
// with its flag, buckets and every key with the text its slot holds.
std::vector<std::string> registrations() {
  std::vector<std::string> out;
  for (size_t i = 0; i < cw_export_count(); i++) out.push_back(cw_export_at(i));
  for (size_t i = 0; i < cw_extension_count(); i++) out.push_back(cw_extension_at(i));
  for (size_t i = 0; i < cw_table_count(); i++) {
    cw_table t = cw_table_at(i);
    out.push_back("table " + std::to_string(cw_table_flag(t)) + " " +
                  std::to_string(cw_table_buckets(t)));
    for (size_t k = 0; k < cw_table_size(t); k++) {
      size_t n = 0;
      const char* key = cw_table_key(t, k, &n);
      std::string word(key, n);
      cw_slot slot = cw_table_find(t, word.c_str());
      out.push_back(word + "=" + (slot && *slot ? (const char*)*slot : "-"));
    }
  }
  return out;
}

int call(const char* name, std::vector<const char*> args) {
  cw_long result = 0;
  return cw_call(name, (int)args.size(), args.data(), &result);
}

class Unload : public ::testing::Test {
 protected:
  void SetUp() override { cw_reset(); }
  void TearDown() override { cw_unload_module(); }
};

TEST_F(Unload, FiftyCyclesLeaveNothingBehind) {
  const Residue before = residue();
  std::vector<std::string> first;
  size_t kept = 0;  // what one load leaves live in the ledger
  for (int cycle = 1; cycle <= 50; cycle++) {
    ASSERT_EQ(cw_load_module(WYN_PLUGIN_PATH), 0) << "cycle " << cycle;
    // A word added by a call is the module's as well.
    ASSERT_EQ(call("_wyn_add_keyword", {"AddedByCall", "2"}), 0) << "cycle " << cycle;
    if (cycle == 1) {
      first = registrations();
      kept = cw_live_allocations() - before.live;
      ASSERT_GT(kept, 1000u);  // the keyword copies
    } else {
      ASSERT_EQ(registrations(), first) << "cycle " << cycle;
    }
    cw_unload_module();
    ASSERT_EQ(residue(), before) << "cycle " << cycle;
    ASSERT_EQ(cw_unload_leaks(), kept * (size_t)cycle) << "cycle " << cycle;
    ASSERT_EQ(call("_wyn_hash_size", {"1", "47"}), -1) << "cycle " << cycle;
  }
  EXPECT_EQ(cw_bad_frees(), 0u);
}

// What the editor made for itself, before the load, while the module was
// loaded but not running, and after, keeps working; handles of the tables
// that went with the module find nothing.
TEST_F(Unload, TheEditorsOwnStay) {
  char word[] = "kept";
  cw_table before_load = HashCreate(5, 4, CW_HASH_KEYWORDS);
  ASSERT_NE(HashInsert(before_load, word, 4), nullptr);
  char* text = StrDup(word);
  ASSERT_EQ(cw_load_module(WYN_PLUGIN_PATH), 0);
  std::vector<cw_table> modules;
  for (size_t i = 1; i < cw_table_count(); i++) modules.push_back(cw_table_at(i));
  ASSERT_FALSE(modules.empty());
  cw_table while_loaded = HashCreate(5, 4, CW_HASH_KEYWORDS);
  ASSERT_NE(HashInsert(while_loaded, word, 4), nullptr);
  char ext[] = ".cfg";
  ASSERT_EQ(RegisterExtension(ext), 1);
  char prototype[] = "cw_reset";
  ASSERT_EQ(ExportFunction(prototype), 1);

  cw_unload_module();
  EXPECT_EQ(cw_table_count(), 2u);
  for (cw_table t : {before_load, while_loaded}) EXPECT_NE(HashFind(t, word, 4), nullptr);
  for (cw_table t : modules) {
    EXPECT_EQ(HashFind(t, word, 4), nullptr);
    EXPECT_EQ(cw_table_size(t), 0u);
  }
  cw_table after = HashCreate(5, 4, CW_HASH_KEYWORDS);
  ASSERT_NE(HashInsert(after, word, 4), nullptr);
  EXPECT_EQ(cw_table_find(after, word), HashFind(after, word, 4));
  EXPECT_EQ(cw_table_count(), 3u);
  ASSERT_EQ(cw_extension_count(), 1u);
  EXPECT_STREQ(cw_extension_at(0), ".cfg");
  ASSERT_EQ(cw_export_count(), 1u);
  EXPECT_STREQ(cw_export_at(0), "cw_reset");
  EXPECT_EQ(cw_live_allocations(), 1u);
  StrFree(text);
  EXPECT_EQ(cw_bad_frees(), 0u);
}

// The buffers belong to the editor: their text and colours outlive the
// plug-in that coloured them.
TEST_F(Unload, BuffersKeepTextAndColours) {
  const std::string texts[] = {"/* note */\nfunction Main()\n  if (a = 1) then\n",
                               "// 2\nx = \"s\";\n"};
  ASSERT_EQ(cw_load_module(WYN_PLUGIN_PATH), 0);
  std::vector<cw_doc> docs = {cw_doc_current(), cw_doc_new()};
  std::vector<std::vector<signed char>> colours;
  for (size_t i = 0; i < docs.size(); i++) {
    ASSERT_EQ(cw_doc_select(docs[i]), 1);
    cw_set_text(texts[i].data(), texts[i].size());
    ASSERT_EQ(call("_wyn_language_colors", {"-1"}), 0);
    colours.emplace_back(texts[i].size());
    cw_categories(0, texts[i].size(), colours.back().data());
  }
  cw_unload_module();
  ASSERT_EQ(cw_doc_count(), docs.size());
  for (size_t i = 0; i < docs.size(); i++) {
    ASSERT_EQ(cw_doc_select(docs[i]), 1);
    size_t n = 0;
    const char* p = cw_text(&n);
    EXPECT_EQ(std::string(p, n), texts[i]);
    std::vector<signed char> now(texts[i].size());
    cw_categories(0, now.size(), now.data());
    EXPECT_EQ(now, colours[i]) << "buffer " << i;
    EXPECT_NE(now[0], -1) << "buffer " << i;  // coloured at all
  }
}

}  // namespace
