/*
** The built-in template table: the shape of every template text, the order
** and completeness of the names, and what the editor's table holds once built.
*/
#include <gtest/gtest.h>
#include <ctype.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "cwedit.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "support/editor.h"

namespace {

/* Texts fixed letter for letter, given line by line (a line feed stands
** between lines, none after the last); every other row follows the common
** form. */
const struct {
  const char* name;
  std::vector<const char*> lines;
} kExact[] = {
    {"if", {"if ( & ) then", "\t", "@endif;"}},
    {"case", {"case &:", "\t"}},
    {"while", {"while ( & )", "\t", "@endwhile;"}},
    {"for", {"for & =  to ", "\t", "@endfor;"}},
    {"repeat", {"repeat", "\t", "@until ( & );"}},
    {"function", {"function & (  )", "begin", "", "\t", "", "@end;"}},
    {"GetMemFree", {"GetMemFree ( );"}},
    {"GetMode", {"GetMode ( );"}},
    {"SdInit", {"SdInit ( );"}},
    {"VarSave", {"VarSave (SRCTARGETDIR);", "&"}},
    {"VarRestore", {"VarRestore (SRCTARGETDIR);", "&"}},
    {"Sprintf", {"Sprintf (&svResult, szFormat, );"}},
    {"SprintfBox", {"SprintfBox (&nType, szTitle, szFormat, );"}},
    {"AskOptions", {"AskOptions (&nValue, szMsg, szText1, nvCheck1 ,szText2, nvCheck2);"}},
    {"ComponentMoveData", {"ComponentMoveData (&szMedia, nvDisk, nReserved );"}},
    {"CreateRegistrySet", {"CreateRegistrySet (&szRegistrySet );"}},
};
const size_t kExactCount = sizeof(kExact) / sizeof(kExact[0]);

/* The fixed text for a name, or false when the name has none. */
bool exact_text(const char* name, std::string* text) {
  for (const auto& e : kExact) {
    if (strcmp(e.name, name) != 0) continue;
    text->clear();
    for (size_t i = 0; i < e.lines.size(); i++) {
      if (i > 0) *text += '\n';
      *text += e.lines[i];
    }
    return true;
  }
  return false;
}

/* A parameter name: a type prefix, then a capital, then letters and digits. */
bool is_parameter(const std::string& p) {
  static const char* const prefixes[] = {"sz", "sv",   "n", "nv",   "b",  "bv", "l",
                                         "lv", "list", "h", "hwnd", "nw", "nl", "const"};
  for (const char* pre : prefixes) {
    size_t k = strlen(pre);
    if (p.size() <= k || p.compare(0, k, pre) != 0) continue;
    if (p[k] < 'A' || p[k] > 'Z') continue;
    bool ok = true;
    for (size_t i = k + 1; i < p.size(); i++)
      if (!isalnum(static_cast<unsigned char>(p[i]))) ok = false;
    if (ok) return true;
  }
  return false;
}

/* Checks "Name (&first, second, ...);" and says what is wrong, or "". */
std::string form_fault(const char* name, const char* text) {
  std::string t = text;
  std::string head = std::string(name) + " (&";
  if (t.size() < 9 || t.size() > 126) return "length " + std::to_string(t.size());
  if (t.compare(0, head.size(), head) != 0) return "does not open with \"" + head + "\"";
  if (t.size() < head.size() + 2 || t.compare(t.size() - 2, 2, ");") != 0)
    return "does not end with \");\"";
  std::string list = t.substr(head.size(), t.size() - 2 - head.size());
  std::vector<std::string> params;
  size_t from = 0;
  for (;;) {
    size_t comma = list.find(", ", from);
    params.push_back(list.substr(from, comma == std::string::npos ? comma : comma - from));
    if (comma == std::string::npos) break;
    from = comma + 2;
  }
  if (params.size() > 9) return "more than nine parameters";
  for (const std::string& p : params) {
    bool label = strcmp(name, "Handler") == 0 && p == "Label";
    if (!label && !is_parameter(p)) return "bad parameter \"" + p + "\"";
  }
  return "";
}

class TemplateTable : public ::testing::Test {
 protected:
  void SetUp() override { support::fresh_editor("", support::TEMPLATE_TABLE); }
  /* The table's text for a name, or NULL. */
  static const char* lookup(const char* name) {
    cw_slot slot = cw_table_find(wyn_template_table, name);
    return slot ? static_cast<const char*>(*slot) : NULL;
  }
};

/* The six block names, then the function names as the class-2 list has
** them except that RGB moves to just after ReplaceProfString. */
std::vector<std::string> expected_names() {
  std::vector<std::string> names = {"if", "case", "while", "for", "repeat", "function"};
  for (const char* const* w = wyn_class2_words; *w; w++) {
    if (strcmp(*w, "RGB") == 0) continue;
    names.push_back(*w);
    if (strcmp(*w, "ReplaceProfString") == 0) names.push_back("RGB");
  }
  return names;
}

TEST(BuiltinTemplates, NamesFollowBlockWordsThenFunctionList) {
  std::vector<std::string> names;
  for (const wyn_template* t = wyn_builtin_templates; t->name; t++) names.push_back(t->name);
  EXPECT_EQ(names.size(), 287u);
  EXPECT_EQ(names, expected_names());
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
}

TEST(BuiltinTemplates, EveryTextHasItsShape) {
  size_t exact_seen = 0, without_amp = 0, with_at = 0;
  for (const wyn_template* t = wyn_builtin_templates; t->name; t++) {
    SCOPED_TRACE(t->name);
    ASSERT_NE(t->text, nullptr);
    size_t amps = 0;
    for (const char* c = t->text; *c; c++) {
      amps += *c == '&';
      with_at += *c == '@';
      EXPECT_NE(*c, '\r');
    }
    EXPECT_LE(amps, 1u);
    without_amp += amps == 0;
    std::string want;
    if (exact_text(t->name, &want)) {
      EXPECT_EQ(t->text, want);
      exact_seen++;
      continue;
    }
    EXPECT_EQ(form_fault(t->name, t->text), "") << t->text;
    EXPECT_EQ(strchr(t->text, '\t'), nullptr);
    EXPECT_EQ(strchr(t->text, '\n'), nullptr);
  }
  EXPECT_EQ(exact_seen, kExactCount);
  EXPECT_EQ(without_amp, 3u); /* GetMemFree, GetMode, SdInit */
  EXPECT_EQ(with_at, 5u);     /* every block closer but case's */
}

/* The checker itself must refuse near misses, or the test above proves
** nothing. */
TEST(BuiltinTemplates, FormCheckRefusesNearMisses) {
  const wyn_template bad[] = {
      {"Delay", "Delay(&nSeconds);"},
      {"Delay", "Delay  (&nSeconds);"},
      {"Delay", "Delay (nSeconds);"},
      {"Delay", "Delay (&nSeconds)"},
      {"Delay", "Delay (&nseconds);"},
      {"Delay", "Delay (&xSeconds);"},
      {"Delay", "Delay (&Seconds);"},
      {"Delay", "Delay (&nSeconds,nMore);"},
      {"Delay", "Delay (&nSeconds, );"},
      {"Delay", "Delay (&nSeconds , nMore);"},
      {"Delay", "Delay (&nSeconds, &nMore);"},
      {"Delay", "Delay (&n1, n2, n3, n4, n5, n6, n7, n8, nA, nB);"},
      {"Copy", "CopyFile (&szSrcFile, szTargetFile);"},
      {"Hook", "Hook (&nObject, Label);"},
  };
  for (const auto& b : bad) EXPECT_NE(form_fault(b.name, b.text), "") << b.text;
  EXPECT_EQ(form_fault("Handler", "Handler (&nObject, Label);"), "");
  EXPECT_EQ(form_fault("SendMessage", "SendMessage (&hwndWindow, nMsg, nwParam, nlParam);"), "");
}

TEST_F(TemplateTable, CreatedOnceWithSeventeenBucketsAndFlagOne) {
  ASSERT_EQ(cw_table_count(), 1u);
  EXPECT_EQ(cw_table_at(0), wyn_template_table);
  EXPECT_EQ(cw_table_buckets(wyn_template_table), 17);
  EXPECT_EQ(cw_table_flag(wyn_template_table), 1);
}

TEST_F(TemplateTable, HoldsEveryBuiltinUnderItsName) {
  EXPECT_EQ(cw_table_size(wyn_template_table), 287u);
  for (const wyn_template* t = wyn_builtin_templates; t->name; t++) {
    const char* text = lookup(t->name);
    ASSERT_NE(text, nullptr) << t->name;
    EXPECT_STREQ(text, t->text);
  }
}

TEST_F(TemplateTable, LookupIsByWholeName) {
  /* A name and the text it must find, or NULL for none. */
  const wyn_template rows[] = {
      {"Sprintf", "Sprintf (&svResult, szFormat, );"},
      {"SprintfBox", "SprintfBox (&nType, szTitle, szFormat, );"},
      {"case", "case &:\n\t"},
      {"GetMode", "GetMode ( );"},
      {"Sprint", NULL},
      {"SprintfB", NULL},
      {"Sprintf ", NULL},
      {"iff", NULL},
      {"", NULL},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    if (r.text)
      EXPECT_STREQ(lookup(r.name), r.text);
    else
      EXPECT_EQ(lookup(r.name), nullptr);
  }
}

TEST_F(TemplateTable, OnlyBlockWordsAmongReservedWords) {
  std::set<std::string> blocks = {"if", "case", "while", "for", "repeat", "function"};
  for (const char* const* w = wyn_class1_words; *w; w++) {
    if (blocks.count(*w))
      EXPECT_NE(lookup(*w), nullptr) << *w;
    else
      EXPECT_EQ(lookup(*w), nullptr) << *w;
  }
  /* Constants such as WELCOME sit beside functions spelt Welcome, so look at
  ** the keys byte for byte rather than trust the table's own matching. */
  std::set<std::string> constants;
  for (const char* const* w = wyn_class0_words; *w; w++) constants.insert(*w);
  for (size_t i = 0; i < cw_table_size(wyn_template_table); i++) {
    size_t length = 0;
    const char* key = cw_table_key(wyn_template_table, i, &length);
    EXPECT_EQ(constants.count(std::string(key, length)), 0u) << std::string(key, length);
  }
}

TEST_F(TemplateTable, VarSavePutsTheMarkAtTheStartOfLineTwo) {
  const char* text = lookup("VarSave");
  ASSERT_NE(text, nullptr);
  const char* amp = strchr(text, '&');
  ASSERT_NE(amp, nullptr);
  ASSERT_GT(amp, text);
  EXPECT_EQ(amp[-1], '\n');
  EXPECT_EQ(strchr(text, '\n'), amp - 1);
}

TEST_F(TemplateTable, AssignBeforeStartUpIsHarmlessAndLaterAssignsLand) {
  cw_reset();
  wyn_template_table = 0;
  _wyn_assign_template(const_cast<char*>("Delay"), const_cast<char*>("Delay (&nTicks);"));
  EXPECT_EQ(cw_table_count(), 0u);

  wyn_build_template_table();
  char name[] = "MyCheck";
  char text[] = "MyCheck (&szWhat);";
  _wyn_assign_template(name, text);
  EXPECT_STREQ(lookup("MyCheck"), "MyCheck (&szWhat);");
  EXPECT_EQ(cw_table_size(wyn_template_table), 288u);

  char again[] = "Delay (&nTicks);";
  _wyn_assign_template(const_cast<char*>("Delay"), again);
  EXPECT_STREQ(lookup("Delay"), "Delay (&nTicks);");
  EXPECT_EQ(cw_table_size(wyn_template_table), 288u);
}

}  // namespace
