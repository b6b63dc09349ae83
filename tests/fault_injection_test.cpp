// Every service of the plug-in under allocation failure: run once to count
// its allocating host calls, then once more for each k with the k-th of
// them answering null. No run may crash, leak, free what it was not given,
// leave the cursor stack or display held, or change the buffer unless the
// service says it did its work.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cwedit.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "support/editor.h"
#include "support/harness.h"

namespace {

// What a service is run on and how it is called. `run` answers the
// service's result (0 for those without one).
struct service {
  const char* name;
  const char* text;
  cw_long cursor;
  cw_long (*run)(void);
  cw_long done;  // the result when nothing fails
};

cw_long colour_whole(void) {
  _wyn_language_colors(CW_ALL_LINES);
  return 0;
}

// From inside the block comment of the sample text, so the scanner backs up.
cw_long colour_counted(void) {
  ScanSetPos(30);
  _wyn_language_colors(2);
  return 0;
}

cw_long update_lines(void) {
  return _wyn_language_colors_update(2, 3);
}
cw_long expand(void) {
  return _wyn_expand();
}
cw_long indent(void) {
  return _wyn_indent();
}

// 1 when it found a routine: the cursor then ends at the top by design.
cw_long routines(void) {
  _wyn_routines();
  return strcmp(cw_last_message(), "") == 0 ? 1 : 0;
}

cw_long add_word(void) {
  _wyn_add_keyword((char*)"MyOwnWord", 1);
  return 0;
}

cw_long assign(void) {
  _wyn_assign_template((char*)"mine", (char*)"mine (&a);");
  return 0;
}

const char kScript[] =
    "function Foo(a)\n"
    "/* a comment\n"
    "   over lines */ if (a == 0x1F) then\n"
    "\tMessageBox(\"done\", SEVERE); // tell\n"
    "endif;\n";

// Where "if" stands in the script, for expansion.
cw_long if_in_script(void) {
  return (cw_long)(strstr(kScript, "if (") - kScript);
}

const service services[] = {
    {"colour whole buffer", kScript, 0, colour_whole, 0},
    {"colour counted", kScript, 0, colour_counted, 0},
    {"re-colour lines", kScript, 0, update_lines, 0},
    {"expand a template", "if (a) then\n", 0, expand, 1},
    {"expand no template", "iffy (a)\n", 0, expand, 0},
    {"indent a block", "    if (a == b) then", 20, indent, 1},
    {"indent no block", "    x = 1;", 10, indent, 0},
    {"routine list", "function Foo(a)\nbegin\nend;\n", 5, routines, 1},
    {"add a keyword", "", 0, add_word, 0},
    {"assign a template", "", 0, assign, 0},
};

void prepare(const service& s) {
  support::fresh_editor(s.text, support::ALL_TABLES, s.cursor);
}

// Allocating calls the service makes when nothing fails.
unsigned long allocations_of(const service& s) {
  prepare(s);
  unsigned long before = cw_alloc_calls();
  EXPECT_EQ(s.run(), s.done) << s.name;
  return cw_alloc_calls() - before;
}

TEST(FaultInjection, EveryServiceSurvivesEachFailedAllocation) {
  for (const service& s : services) {
    unsigned long n = allocations_of(s);
    for (unsigned long k = 1; k <= n; k++) {
      prepare(s);
      std::string text = support::buffer_text();
      cw_fail_alloc_at(k);
      unsigned long before = cw_alloc_calls();
      cw_long r = s.run();
      cw_fail_alloc_at(0);
      std::string what = std::string(s.name) + ", allocation " + std::to_string(k);
      EXPECT_GE(cw_alloc_calls() - before, k) << what << ": the failure never came";
      EXPECT_EQ(cw_bad_frees(), 0u) << what;
      EXPECT_EQ(cw_position_depth(), 0) << what;
      EXPECT_EQ(cw_display_holds(), 0) << what;
      EXPECT_EQ(fuzz::keyword_copies_only(), nullptr) << what;
      if (r == 0) {
        EXPECT_EQ(support::buffer_text(), text) << what;
        EXPECT_EQ(cw_cursor(), s.cursor) << what;
      }
    }
  }
}

// The services that allocate at all must be seen to do so, or the loop
// above proves nothing for them.
TEST(FaultInjection, AllocatingServicesAreCounted) {
  const char* const allocating[] = {"colour whole buffer", "colour counted",     "re-colour lines",
                                    "expand a template",   "expand no template", "indent a block",
                                    "indent no block",     "add a keyword"};
  for (const char* name : allocating) {
    for (const service& s : services) {
      if (strcmp(s.name, name) == 0) {
        EXPECT_GT(allocations_of(s), 0u) << name;
      }
    }
  }
}

// Without its word buffer the scanner colours nothing and counts nothing.
TEST(FaultInjection, ScannerWithoutWordBufferColoursNothing) {
  prepare(services[0]);
  cw_clear_runs();
  cw_fail_alloc_at(1);
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_EQ(cw_run_count(), 0u);
  EXPECT_EQ(lines_coloured, 0);
}

// Start-up's tables under failure: a table the editor would not create is a
// null handle that start-up passes on untested; afterwards every service
// must still work on whatever tables exist, never touching a null itself.
TEST(FaultInjection, StartupTablesUnderFailure) {
  cw_reset();
  unsigned long before = cw_alloc_calls();
  wyn_build_keyword_tables();
  wyn_build_template_table();
  unsigned long n = cw_alloc_calls() - before;
  ASSERT_GT(n, 2000u);
  // Each HashCreate (the first call of each table), the neighbourhood of
  // every table boundary, and a sample in between.
  for (unsigned long k = 1; k <= n; k += (k < 8 || k + 8 > n) ? 1 : 97) {
    cw_reset();
    for (int c = 0; c < WYN_CLASS_COUNT; c++) wyn_keyword_tables[c] = 0;
    wyn_template_table = 0;
    cw_fail_alloc_at(k);
    wyn_build_keyword_tables();
    wyn_build_template_table();
    cw_fail_alloc_at(0);
    std::string what = "allocation " + std::to_string(k);
    EXPECT_EQ(fuzz::keyword_copies_only(), nullptr) << what;

    cw_set_text(kScript, strlen(kScript));
    cw_ledger_baseline();
    fuzz::before b = fuzz::start(32, 64);
    _wyn_language_colors(CW_ALL_LINES);
    EXPECT_EQ(fuzz::finish(&b), nullptr) << what;
    cw_set_cursor(if_in_script());
    b = fuzz::start(16, 128);
    _wyn_expand();
    EXPECT_EQ(fuzz::finish(&b), nullptr) << what;
    _wyn_add_keyword((char*)"Later", 0);
    _wyn_add_keyword((char*)"Later", 2);
    EXPECT_EQ(fuzz::keyword_copies_only(), nullptr) << what;
  }
}

// The table handles null, as before start-up or after the editor refused
// every table: nothing is looked up, nothing is stored, nothing breaks.
TEST(FaultInjection, NoTablesAtAll) {
  support::fresh_editor(kScript, support::NO_TABLES);
  cw_clear_runs();
  _wyn_language_colors(CW_ALL_LINES);
  EXPECT_GT(cw_run_count(), 0u);  // comments, strings, numbers still coloured
  cw_set_cursor(if_in_script());
  EXPECT_EQ(_wyn_expand(), 0);
  _wyn_assign_template((char*)"if", (char*)"if &");
  _wyn_add_keyword((char*)"Zero", 0);  // class 0 has no table to go into
  EXPECT_EQ(wyn_keyword_tables[0], nullptr);
  EXPECT_EQ(cw_live_since_baseline(), 0u);
  EXPECT_EQ(cw_position_depth(), 0);
}

// What the plug-in may pass on untested after the editor answered null: a
// failed table, string or block. The editor takes each as a harmless no-op.
TEST(FaultInjection, NullPassedBackIsANoOp) {
  support::fresh_editor("if x\n", support::NO_TABLES);
  StrFree(nullptr);
  MemFree(nullptr);
  EXPECT_EQ(HashInsert(nullptr, "a", 1), nullptr);
  EXPECT_EQ(HashFind(nullptr, "a", 1), nullptr);
  EXPECT_EQ(TemplateAssign(nullptr, "a", "b"), 0);
  EXPECT_EQ(StrTrim(nullptr, " \t"), nullptr);
  EXPECT_EQ(StrSearch(nullptr, "x", CW_STRSEARCH_MODE, 0), 0);
  EXPECT_EQ(StrSearch("x", nullptr, CW_STRSEARCH_MODE, 0), 0);
  EXPECT_EQ(ExpandTemplate(nullptr), 0);
  EXPECT_EQ(RegexSearch(nullptr, CW_SEARCH_FORWARD, 0), 0);
  ShowMessage(nullptr);
  StrFree(StrAppend(nullptr, nullptr));
  EXPECT_EQ(support::buffer_text(), "if x\n");
  EXPECT_EQ(cw_cursor(), 0);
  EXPECT_EQ(cw_live_since_baseline(), 0u);
  EXPECT_EQ(cw_bad_frees(), 0u);
}

}  // namespace

namespace {

// {====== the editor's own buffers under allocation failure

// An operation on the buffer, and whether it answered that it was done.
struct buffer_op {
  const char* name;
  bool (*run)(void);
};

const std::string kLong = [] {  // several pieces of the buffer
  std::string text;
  while (text.size() < 40000) text += kScript;
  return text;
}();

bool set_short(void) {
  return cw_set_text("if (a) then\n", 12) != 0;
}
bool set_long(void) {
  return cw_set_text(kLong.data(), kLong.size()) != 0;
}
bool append_long(void) {
  return cw_append_text(kLong.data(), kLong.size()) != 0;
}
bool insert_long(void) {  // overflows its piece: new pieces are made
  return cw_replace_text(30, 2, kLong.data(), kLong.size()) != 0;
}
bool delete_all(void) {
  return cw_replace_text(0, cw_text_length(), nullptr, 0) != 0;
}
bool type_char(void) {
  return InsertChar('x') != 0;
}
bool new_line(void) {
  return InsertNewLine() != 0;
}
bool expand_here(void) {
  return ExpandTemplate("while (&)\n\tendwhile;") != 0;
}
bool new_buffer(void) {
  return cw_doc_new() != 0;
}

const buffer_op buffer_ops[] = {
    {"set a short text", set_short},
    {"set a long text", set_long},
    {"append a long text", append_long},
    {"insert a long text", insert_long},
    {"delete everything", delete_all},
    {"type a character", type_char},
    {"new line", new_line},
    {"expand a template", expand_here},
    {"new buffer", new_buffer},
};

// Each operation on an edited, coloured buffer (so that its pieces are
// the buffer's own and its change record holds something), run once to
// count the buffer's allocations, then once with each failing: it either
// answers done, or leaves text, cursor, colours, change record and the
// buffers as they were and says the editor ran short.
TEST(BufferFaults, EachOperationIsDoneOrChangesNothing) {
  auto prepare = [] {
    support::fresh_editor(kScript, support::ALL_TABLES, 20);
    cw_replace_text(5, 1, "ZZ", 2);
    _wyn_language_colors(CW_ALL_LINES);
  };
  for (const buffer_op& op : buffer_ops) {
    prepare();
    unsigned long before = cw_buffer_allocs();
    ASSERT_TRUE(op.run()) << op.name;
    unsigned long n = cw_buffer_allocs() - before;
    EXPECT_GT(n, 0u) << op.name << ": nothing to fail";
    for (unsigned long k = 1; k <= n; k++) {
      prepare();
      std::string text = support::buffer_text(), old;
      std::vector<signed char> colours(text.size());
      cw_categories(0, text.size(), colours.data());
      cw_change change = {}, change_after = {};
      ASSERT_EQ(cw_changed(&change), 1);
      size_t n_old = 0, docs = cw_doc_count();
      const char* was = cw_change_old(&n_old);
      old.assign(was, n_old);
      cw_long cursor = cw_cursor();
      unsigned long refusals = cw_memory_refusals();
      cw_fail_buffer_at(k);
      bool done = op.run();
      cw_fail_buffer_at(0);
      std::string what = std::string(op.name) + ", allocation " + std::to_string(k);
      EXPECT_GT(cw_memory_refusals(), refusals) << what;
      if (done) continue;
      EXPECT_EQ(support::buffer_text(), text) << what;
      EXPECT_EQ(cw_line_count(), 1 + (cw_long)std::count(text.begin(), text.end(), '\n')) << what;
      std::vector<signed char> now(text.size());
      cw_categories(0, text.size(), now.data());
      EXPECT_EQ(now, colours) << what;
      EXPECT_EQ(cw_cursor(), cursor) << what;
      EXPECT_EQ(cw_changed(&change_after), 1) << what;
      EXPECT_EQ(change_after.from, change.from) << what;
      EXPECT_EQ(change_after.inserted, change.inserted) << what;
      const char* is = cw_change_old(&n_old);
      EXPECT_EQ(std::string(is, n_old), old) << what;
      EXPECT_EQ(cw_doc_count(), docs) << what;
    }
  }
}

// }======

}  // namespace
