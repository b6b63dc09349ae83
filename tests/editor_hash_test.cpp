// The stand-in editor's hash service: buckets, byte-for-byte keys,
// duplicate and refused inserts, and TemplateAssign's own copies.
#include <gtest/gtest.h>

#include <string.h>
#include <string>

#include "cwedit.h"

namespace {

class EditorHash : public ::testing::Test {
 protected:
  void SetUp() override { cw_reset(); }
};

TEST_F(EditorHash, BucketsAndFlagAsAsked) {
  struct {
    cw_long asked, used;
  } cases[] = {{539, 539}, {17, 17}, {1, 1}, {0, 1}, {-4, 1}};
  for (const auto& c : cases) {
    cw_table t = HashCreate(c.asked, 4, CW_HASH_TEMPLATES);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(cw_table_buckets(t), c.used);
    EXPECT_EQ(cw_table_flag(t), 1);
  }
  EXPECT_EQ(cw_table_count(), 5u);
  EXPECT_EQ(cw_live_allocations(), 0u);  // tables are not in the ledger
}

TEST_F(EditorHash, InsertAndFind) {
  cw_table t = HashCreate(1, 4, CW_HASH_KEYWORDS);  // one bucket: every key on one chain
  const char* words[] = {"if", "IF", "iff", "i", "", "while", "endwhile"};
  for (const char* w : words) {
    cw_slot s = HashInsert(t, w, static_cast<cw_long>(strlen(w)));
    ASSERT_NE(s, nullptr) << w;
    EXPECT_EQ(*s, nullptr) << w;  // zeroed, at least pointer-sized
    *s = const_cast<char*>(w);
  }
  for (const char* w : words) {
    cw_slot s = HashFind(t, w, static_cast<cw_long>(strlen(w)));
    ASSERT_NE(s, nullptr) << w;
    EXPECT_EQ(*s, w);
    EXPECT_EQ(cw_table_find(t, w), s);
  }
  EXPECT_EQ(HashFind(t, "If", 2), nullptr);
  EXPECT_EQ(HashFind(t, "iffy", 3), HashFind(t, "iff", 3));  // the length given counts
  EXPECT_EQ(cw_table_size(t), 7u);
  size_t n = 0;
  const char* key = cw_table_key(t, 2, &n);
  EXPECT_EQ(std::string(key, n), "iff");
}

TEST_F(EditorHash, KeysAreBytesNotStrings) {
  cw_table t = HashCreate(7, 8, CW_HASH_KEYWORDS);
  ASSERT_NE(HashInsert(t, "a\0b", 3), nullptr);
  EXPECT_NE(HashFind(t, "a\0b", 3), nullptr);
  EXPECT_EQ(HashFind(t, "a\0c", 3), nullptr);
  EXPECT_EQ(HashFind(t, "a", 1), nullptr);
}

TEST_F(EditorHash, DuplicateInsertGivesTheSameSlot) {
  cw_table t = HashCreate(539, 4, CW_HASH_KEYWORDS);
  cw_slot first = HashInsert(t, "AFTER", 5);
  *first = first;
  cw_slot again = HashInsert(t, "AFTERMATH", 5);
  EXPECT_EQ(again, first);
  EXPECT_EQ(*again, first);  // not zeroed again
  EXPECT_EQ(cw_table_size(t), 1u);
}

TEST_F(EditorHash, RefusedKeysAndBadArguments) {
  cw_table t = HashCreate(5, 4, CW_HASH_KEYWORDS);
  cw_refuse_key("no");
  EXPECT_EQ(HashInsert(t, "no", 2), nullptr);
  EXPECT_NE(HashInsert(t, "not", 3), nullptr);
  cw_refuse_key(nullptr);
  EXPECT_NE(HashInsert(t, "no", 2), nullptr);

  char stranger = 0;
  EXPECT_EQ(HashInsert(nullptr, "a", 1), nullptr);
  EXPECT_EQ(HashInsert(&stranger, "a", 1), nullptr);
  EXPECT_EQ(HashInsert(t, nullptr, 1), nullptr);
  EXPECT_EQ(HashInsert(t, "a", -1), nullptr);
  EXPECT_EQ(HashFind(nullptr, "a", 1), nullptr);
  EXPECT_EQ(HashFind(t, nullptr, 2), nullptr);
  EXPECT_EQ(HashFind(t, "a", -1), nullptr);
  EXPECT_EQ(cw_table_size(t), 2u);
}

TEST_F(EditorHash, HandlesDoNotOutliveAReset) {
  cw_table old = HashCreate(5, 4, CW_HASH_KEYWORDS);
  HashInsert(old, "x", 1);
  cw_reset();
  cw_table fresh = HashCreate(5, 4, CW_HASH_KEYWORDS);
  EXPECT_NE(fresh, old);
  EXPECT_EQ(HashFind(old, "x", 1), nullptr);
  EXPECT_EQ(HashInsert(old, "x", 1), nullptr);
}

TEST_F(EditorHash, TemplateAssignKeepsItsOwnCopy) {
  cw_table t = HashCreate(17, 4, CW_HASH_TEMPLATES);
  char text[] = "if ( & ) then";
  EXPECT_EQ(TemplateAssign(t, "if", text), 1);
  text[0] = 'X';
  cw_slot s = HashFind(t, "if", 2);
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(static_cast<const char*>(*s), "if ( & ) then");
  EXPECT_EQ(TemplateAssign(t, "if", "if &"), 1);  // replaces
  EXPECT_STREQ(static_cast<const char*>(*HashFind(t, "if", 2)), "if &");
  EXPECT_EQ(cw_table_size(t), 1u);
  EXPECT_EQ(cw_live_allocations(), 0u);

  EXPECT_EQ(TemplateAssign(nullptr, "a", "b"), 0);
  EXPECT_EQ(TemplateAssign(t, nullptr, "b"), 0);
  EXPECT_EQ(TemplateAssign(t, "a", nullptr), 0);
  EXPECT_EQ(cw_table_size(t), 1u);
  EXPECT_EQ(TemplateAssign(t, "", ""), 1);  // empty name and text are fine
  EXPECT_STREQ(static_cast<const char*>(*HashFind(t, "", 0)), "");
}

}  // namespace
