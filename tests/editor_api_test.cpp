// The stand-in editor's call log, registration of prototypes and calls
// by name, and the small bookkeeping operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cwedit.h"
#include "support/editor.h"

namespace {

class EditorApi : public ::testing::Test {
 protected:
  void SetUp() override { cw_reset(); }
};

TEST_F(EditorApi, CallLogFormat) {
  cw_set_text("x", 1);
  ScanNext();  // before logging is on: counted, not logged
  unsigned long long calls = cw_call_count();
  EXPECT_EQ(calls, 1u);
  cw_log_enable(1);
  ExportFunction("BOOL _wyn_expand");
  cw_table t = HashCreate(539, 8, CW_HASH_KEYWORDS);
  HashCreate(17, 8, CW_HASH_TEMPLATES);
  HashInsert(t, "AFTERMATH", 5);
  HashFind(nullptr, "x", 1);
  ScanSetPos(0);
  char* s = StrDup("a\"b\\c\n\t\x01");
  StrFree(s);
  StrFree(nullptr);
  ShowMessage(nullptr);
  RefreshLines(LineRange(4, 9));
  RefreshLines(77);
  ColorClear(1, 2, CW_FIRST_COLUMN, CW_LAST_COLUMN, CW_CLEAR_FLAG);
  ScanChar();
  cw_log_enable(0);
  ScanChar();
  std::vector<std::string> want = {
      "ExportFunction(\"BOOL _wyn_expand\")",
      "HashCreate(539, 8, 0)",
      "HashCreate(17, 8, 1)",
      "HashInsert(T1, \"AFTER\", 5)",
      "HashFind(NULL, \"x\", 1)",
      "ScanSetPos(0)",
      "StrDup(\"a\\\"b\\\\c\\n\\t\\x01\")",
      "StrFree(P)",
      "StrFree(NULL)",
      "ShowMessage(NULL)",
      "LineRange(4, 9)",
      "RefreshLines(LineRange(4, 9))",
      "RefreshLines(77)",
      "ColorClear(1, 2, 1, 2147483647, 0)",
      "ScanChar()",
  };
  EXPECT_EQ(support::call_log(), want);
  EXPECT_EQ(cw_call_count(), calls + want.size() + 1);
  EXPECT_EQ(cw_log_at(want.size()), nullptr);
  cw_log_clear();
  EXPECT_EQ(cw_log_count(), 0u);
}

TEST_F(EditorApi, PrototypeParsing) {
  struct {
    const char* prototype;
    bool accepted;
  } cases[] = {
      {"BOOL _wyn_expand", true},
      {"_wyn_assign_template LPSTR LPSTR", true},
      {"long _wyn_language_colors_update long long", true},
      {"_wyn_add_keyword LPSTR int", true},
      {"_wyn_routines", true},
      {"int f int int int int", true},
      {"int f int int int int int", false},  // more arguments than a call can pass
      {"", false},
      {" f", false},
      {"f ", false},
      {"long  f", false},
      {"f char", false},
      {"long 9f", false},
      {"f-g", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.prototype);
    EXPECT_EQ(ExportFunction(c.prototype), c.accepted ? 1 : 0);
  }
  EXPECT_EQ(ExportFunction(nullptr), 0);
  ASSERT_EQ(cw_export_count(), 6u);
  EXPECT_STREQ(cw_export_at(0), "BOOL _wyn_expand");
  EXPECT_EQ(cw_export_at(6), nullptr);
}

// Outside a module load a name binds to the program's own export, so the
// editor's own operations serve as callees of every argument kind.
TEST_F(EditorApi, CallByName) {
  ASSERT_EQ(ExportFunction("long ScanLineLimit long"), 1);
  ASSERT_EQ(ExportFunction("long StrSearch LPSTR LPSTR long long"), 1);
  ASSERT_EQ(ExportFunction("ShowMessage LPSTR"), 1);
  ASSERT_EQ(ExportFunction("int nowhere_to_be_found"), 1);
  cw_long r = -99;
  const char* twelve[] = {"12"};
  EXPECT_EQ(cw_call("ScanLineLimit", 1, twelve, &r), 0);
  EXPECT_EQ(r, 12);
  const char* negative[] = {"-1"};
  EXPECT_EQ(cw_call("ScanLineLimit", 1, negative, &r), 0);
  EXPECT_EQ(r, 12);

  struct {
    const char* arg;
  } bad[] = {{"12x"}, {""}, {" 1"}, {"99999999999"}, {nullptr}};
  for (const auto& b : bad) {
    const char* argv[] = {b.arg};
    r = -99;
    EXPECT_EQ(cw_call("ScanLineLimit", 1, argv, &r), -1);
    EXPECT_EQ(r, -99);
  }
  EXPECT_EQ(cw_call("ScanLineLimit", 0, nullptr, &r), -1);  // wrong count
  EXPECT_EQ(cw_call("NoSuchName", 0, nullptr, &r), -1);
  EXPECT_EQ(cw_call("nowhere_to_be_found", 0, nullptr, &r), -1);  // bound to nothing

  const char* found[] = {"b", "abc", "3", "0"};
  EXPECT_EQ(cw_call("StrSearch", 4, found, &r), 0);
  EXPECT_NE(r, 0);
  const char* missing[] = {nullptr, "abc", "3", "0"};  // NULL passes NULL
  EXPECT_EQ(cw_call("StrSearch", 4, missing, &r), 0);
  EXPECT_EQ(r, 0);

  const char* hello[] = {"hello"};
  r = -99;
  EXPECT_EQ(cw_call("ShowMessage", 1, hello, &r), 0);
  EXPECT_EQ(r, 0);  // no result type: 0
  EXPECT_STREQ(cw_last_message(), "hello");
  EXPECT_EQ(cw_call("ShowMessage", 1, hello, nullptr), 0);
}

TEST_F(EditorApi, ModuleThatCannotLoad) {
  EXPECT_EQ(cw_load_module("/nonexistent/libnothing.so"), -1);
  EXPECT_EQ(cw_load_module(nullptr), -1);
  cw_unload_module();  // nothing loaded: harmless
}

#ifdef WYN_PLUGIN_PATH
// Names registered while the module's _init runs bind to that module and
// stop being callable once it is unloaded, by hand or by a reset.
TEST_F(EditorApi, ModuleBindingFollowsTheModule) {
  ASSERT_EQ(cw_load_module(WYN_PLUGIN_PATH), 0);
  ASSERT_GT(cw_export_count(), 0u);
  const char* args[] = {"1", "47"};
  cw_long r = -99;
  EXPECT_EQ(cw_call("_wyn_hash_size", 2, args, &r), 0);
  EXPECT_EQ(r, 0);
  cw_unload_module();
  EXPECT_EQ(cw_call("_wyn_hash_size", 2, args, &r), -1);
  ASSERT_EQ(cw_load_module(WYN_PLUGIN_PATH), 0);
  EXPECT_EQ(cw_call("_wyn_hash_size", 2, args, &r), 0);
  cw_reset();
  EXPECT_EQ(cw_call("_wyn_hash_size", 2, args, &r), -1);
}
#endif

TEST_F(EditorApi, Bookkeeping) {
  EXPECT_EQ(cw_last_message(), nullptr);
  char text[] = "No routines found.";
  ShowMessage(text);
  text[0] = 'X';
  EXPECT_STREQ(cw_last_message(), "No routines found.");

  DisplayHold();
  DisplayHold();
  DisplayRelease();
  EXPECT_EQ(cw_display_holds(), 1);

  MarkLines(10, 11, CW_MARK_SET);
  MarkLines(0, 0, CW_MARK_CLEAR);
  MarkLines(3, 4, CW_MARK_SET);
  MarkLines(5, 6, CW_MARK_SET);
  ASSERT_EQ(cw_mark_count(), 2u);
  EXPECT_EQ(cw_mark_at(1).first, 5);
  EXPECT_EQ(cw_mark_at(1).last, 6);

  RegisterExtension(".wyn");
  RegisterExtension(nullptr);
  ASSERT_EQ(cw_extension_count(), 1u);
  EXPECT_STREQ(cw_extension_at(0), ".wyn");

  cw_reset();
  EXPECT_EQ(cw_display_holds(), 0);
  EXPECT_EQ(cw_mark_count(), 0u);
  EXPECT_EQ(cw_extension_count(), 0u);
  EXPECT_EQ(cw_last_message(), nullptr);
  EXPECT_EQ(cw_call_count(), 0u);
}

}  // namespace
