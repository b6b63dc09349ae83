// The stand-in editor's strings and memory: what each string operation
// makes, the ledger of live blocks, bad frees and the fault countdown.
#include <gtest/gtest.h>

#include <string.h>
#include <string>

#include "cwedit.h"

namespace {

class EditorMemory : public ::testing::Test {
 protected:
  void SetUp() override { cw_reset(); }
};

std::string take(char* s) {
  std::string out = s == nullptr ? "<null>" : s;
  StrFree(s);
  return out;
}

TEST_F(EditorMemory, Trim) {
  struct {
    const char* s;
    const char* set;
    const char* want;
  } cases[] = {
      {"  if\t ", " \t", "if"}, {"\t \t", " \t", ""}, {"", " \t", ""},
      {"a b", " ", "a b"},  // inner blanks stay
      {"xxaxx", "x", "a"},      {" a ", "", " a "},   {" a ", nullptr, " a "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.s);
    EXPECT_EQ(take(StrTrim(c.s, c.set)), c.want);
  }
  EXPECT_EQ(StrTrim(nullptr, " "), nullptr);
  EXPECT_EQ(cw_live_allocations(), 0u);
  EXPECT_EQ(cw_bad_frees(), 0u);
}

TEST_F(EditorMemory, AppendReleasesItsFirstArgument) {
  struct {
    const char* a;
    const char* b;
    const char* want;
  } cases[] = {
      {"ab", "cd", "abcd"}, {"", "x", "x"},      {"x", "", "x"},
      {nullptr, "y", "y"},  {"z", nullptr, "z"},
  };
  for (const auto& c : cases) {
    char* a = c.a == nullptr ? nullptr : StrDup(c.a);
    EXPECT_EQ(take(StrAppend(a, c.b)), c.want);
  }
  EXPECT_EQ(cw_live_allocations(), 0u);
  EXPECT_EQ(cw_bad_frees(), 0u);
}

TEST_F(EditorMemory, Search) {
  struct {
    const char* key;
    const char* text;
    bool found;
  } cases[] = {
      {"if", "endif", true},    {"If", "endif", false}, {"", "x", true},       {"abc", "ab", false},
      {"while", "while", true}, {nullptr, "x", false},  {"x", nullptr, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StrSearch(c.key, c.text, CW_STRSEARCH_MODE, 0) != 0, c.found);
}

TEST_F(EditorMemory, LedgerCountsAndBadFrees) {
  char* s = StrDup("abc");
  void* m = MemAlloc(100);
  ASSERT_NE(s, nullptr);
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(s, "abc");
  EXPECT_EQ(cw_live_allocations(), 2u);
  cw_ledger_baseline();
  char* t = StrDup("t");
  EXPECT_EQ(cw_live_since_baseline(), 1u);
  StrFree(s);  // a baseline block going does not hide the new one
  EXPECT_EQ(cw_live_since_baseline(), 1u);
  StrFree(t);
  MemFree(m);
  EXPECT_EQ(cw_live_allocations(), 0u);
  EXPECT_EQ(cw_bad_frees(), 0u);

  char local[4] = "abc";
  StrFree(local);  // never the editor's
  EXPECT_EQ(cw_bad_frees(), 1u);
  char* u = StrDup("u");
  StrFree(u);
  StrFree(u);  // twice
  EXPECT_EQ(cw_bad_frees(), 2u);
  StrFree(nullptr);
  MemFree(nullptr);
  EXPECT_EQ(cw_bad_frees(), 2u);
  void* block = MemAlloc(4);
  StrFree(static_cast<char*>(block));  // memory released as a string
  EXPECT_EQ(cw_bad_frees(), 3u);
  EXPECT_EQ(cw_live_allocations(), 0u);
}

TEST_F(EditorMemory, RefusedSizes) {
  EXPECT_EQ(MemAlloc(0), nullptr);
  EXPECT_EQ(MemAlloc(-5), nullptr);
  EXPECT_EQ(StrDup(nullptr), nullptr);
  EXPECT_EQ(cw_live_allocations(), 0u);
}

TEST_F(EditorMemory, TextAtCursor) {
  cw_set_text("hello", 5);
  cw_set_cursor(1);
  struct {
    cw_long n;
    const char* want;
  } cases[] = {{2, "el"}, {100, "ello"}, {0, ""}, {-1, ""}};
  for (const auto& c : cases) EXPECT_EQ(take(GetTextAtCursor(c.n)), c.want);
  cw_set_cursor(5);
  EXPECT_EQ(take(GetTextAtCursor(10)), "");
  EXPECT_EQ(cw_cursor(), 5);
  EXPECT_EQ(cw_live_allocations(), 0u);
}

// Only the k-th allocating call fails; every kind counts.
TEST_F(EditorMemory, FaultCountdown) {
  cw_set_text("abc", 3);
  unsigned long before = cw_alloc_calls();
  cw_fail_alloc_at(3);
  char* a = StrDup("a");
  void* b = MemAlloc(8);
  char* c = GetTextAtCursor(2);  // the third
  char* d = StrTrim(" d ", " ");
  EXPECT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(c, nullptr);
  EXPECT_NE(d, nullptr);
  EXPECT_EQ(cw_alloc_calls() - before, 4u);
  StrFree(a);
  MemFree(b);
  StrFree(d);

  cw_fail_alloc_at(2);
  EXPECT_NE(HashCreate(3, 8, CW_HASH_KEYWORDS), nullptr);
  EXPECT_EQ(HashCreate(3, 8, CW_HASH_KEYWORDS), nullptr);
  EXPECT_EQ(cw_table_count(), 1u);
  cw_table t = cw_table_at(0);
  cw_fail_alloc_at(1);
  EXPECT_EQ(HashInsert(t, "k", 1), nullptr);
  EXPECT_EQ(cw_table_size(t), 0u);
  EXPECT_NE(HashInsert(t, "k", 1), nullptr);

  cw_fail_alloc_at(1);
  cw_fail_alloc_at(0);  // disarmed
  char* e = StrDup("e");
  EXPECT_NE(e, nullptr);
  StrFree(e);
  EXPECT_EQ(cw_live_allocations(), 0u);
  EXPECT_EQ(cw_bad_frees(), 0u);
}

TEST_F(EditorMemory, FailingAppendStillReleasesItsFirstArgument) {
  char* a = StrDup("a");
  cw_fail_alloc_at(1);
  EXPECT_EQ(StrAppend(a, "b"), nullptr);
  EXPECT_EQ(cw_live_allocations(), 0u);
  EXPECT_EQ(cw_bad_frees(), 0u);
}

TEST_F(EditorMemory, ResetForgetsTheLedger) {
  StrDup("left behind");
  StrFree(reinterpret_cast<char*>(this));
  cw_fail_alloc_at(1);
  cw_reset();
  EXPECT_EQ(cw_live_allocations(), 0u);
  EXPECT_EQ(cw_bad_frees(), 0u);
  EXPECT_EQ(cw_alloc_calls(), 0u);
  char* s = StrDup("s");
  EXPECT_NE(s, nullptr);
  StrFree(s);
}

}  // namespace
