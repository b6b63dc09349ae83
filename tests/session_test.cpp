// The session layer front ends share: documents kept apart in the one
// stand-in, edits re-coloured with the records the editor keeps, counted
// runs agreeing with whole-buffer colouring, and the change record the
// re-colouring is worked out from.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "cwedit.h"
#include "session.h"
#include "support/session_fixture.h"

namespace {

class SessionTest : public support::PluginTest {};

const char* const texts[] = {
    "program\n  x = 1; // note\nendprogram\n",
    "/* a comment\n   over lines */ if (a == 1) then\n  b = \"str\\\"ing\";\nendif;\n",
    "function F(a)\r\n  return a + 0x1F;\r\nendfunction;\r\n",
    "x = \\\n  1; /* open\n\n still */ y = 2;",
};

TEST_F(SessionTest, DocumentsKeepTheirOwnTextColoursAndCursor) {
  wyn::Document a(texts[0]), b(texts[1]);
  ASSERT_TRUE(a.colour_whole());
  std::vector<signed char> a_colours = a.categories();
  for (signed char c : b.categories()) EXPECT_EQ(c, wyn::CAT_NONE);  // b not coloured yet
  ASSERT_TRUE(b.colour_whole());
  std::vector<signed char> b_colours = b.categories();
  a.set_cursor(5);
  b.set_cursor(9);
  wyn::Document::Edit edit = a.replace(0, 0, "/* ");
  EXPECT_TRUE(edit.changed);
  EXPECT_EQ(b.text(), texts[1]);
  EXPECT_EQ(b.categories(), b_colours);
  EXPECT_EQ(b.cursor(), 9);
  EXPECT_NE(a.categories(), a_colours);
  EXPECT_EQ(a.text(), std::string("/* ") + texts[0]);
  {
    wyn::Document gone("endprogram\n");
    gone.colour_whole();
  }  // freeing one leaves the others as they were
  EXPECT_EQ(b.categories(), b_colours);
  EXPECT_EQ(a.line_count(), 4);
}

TEST_F(SessionTest, CountedRunsAgreeWithWholeBufferColouring) {
  for (const char* text : texts) {
    wyn::Document whole(text), all_at_once(text), by_line(text);
    ASSERT_TRUE(whole.colour_whole());
    EXPECT_GE(all_at_once.colour_lines(0, all_at_once.line_count()), 0);
    for (long line = 1; line <= by_line.line_count(); line++)
      by_line.colour_lines(by_line.line_start(line), 1);
    EXPECT_EQ(all_at_once.categories(), whole.categories()) << text;
    EXPECT_EQ(by_line.categories(), whole.categories()) << text;
    // A span read in one go is the same span of the whole, CAT_NONE past the end.
    std::vector<signed char> all = whole.categories(), span(all.size() + 3, 99);
    whole.categories(2, span.size() - 2, span.data());
    for (size_t i = 0; i + 2 < span.size(); i++)
      EXPECT_EQ(span[i], i + 2 < all.size() ? all[i + 2] : (signed char)wyn::CAT_NONE)
          << text << " at " << i;
  }
}

// Each edit's handed lines and redisplayed lines, these last as the call
// log shows them.
TEST_F(SessionTest, EditsRecolourTheTouchedLines) {
  struct Case {
    const char* text;
    long pos, n_del;
    const char* insert;
    long first, last;  // handed to the re-colouring
  } cases[] = {
      {"program\nendprogram\n", 7, 0, "\n\t", 1, 3},  // the diff slides past the LF
      {"a = 1;\nb = 2;\nc = 3;\n", 8, 1, "x", 2, 2},
      {"a = 1;\nb = 2;\nc = 3;\n", 0, 14, "", 1, 1},
      {"a = 1;\nb = 2;\nc = 3;\n", 3, 0, "/* ", 1, 1},
      {"a = 1;\nb = 2;\n", 7, 1, "b", 0, 0},  // the same byte again changes nothing
  };
  for (const Case& c : cases) {
    wyn::Document doc(c.text);
    ASSERT_TRUE(doc.colour_whole());
    cw_log_clear();
    cw_log_enable(1);
    wyn::Document::Edit edit = doc.replace(c.pos, c.n_del, c.insert);
    cw_log_enable(0);
    std::vector<wyn::LineSpan> logged;
    for (size_t i = 0; i < cw_log_count(); i++) {
      long first = 0, last = 0;
      if (sscanf(cw_log_at(i), "RefreshLines(LineRange(%ld, %ld))", &first, &last) == 2)
        logged.push_back({first, last});
    }
    cw_log_clear();
    EXPECT_EQ(edit.changed, c.first != 0) << c.text;
    EXPECT_EQ(edit.handed.first, c.first) << c.text;
    EXPECT_EQ(edit.handed.last, c.last) << c.text;
    ASSERT_EQ(edit.redisplay.size(), logged.size()) << c.text;
    for (size_t i = 0; i < logged.size(); i++) {
      EXPECT_EQ(edit.redisplay[i].first, logged[i].first);
      EXPECT_EQ(edit.redisplay[i].last, logged[i].last);
    }
    wyn::Document fresh(doc.text());
    fresh.colour_whole();
    EXPECT_EQ(doc.categories(), fresh.categories()) << c.text;
  }
}

// After any run of edits the change record and the bytes it keeps give
// back the text as it was.
TEST(ChangeRecord, GivesBackTheTextBeforeTheEdits) {
  struct Step {
    cw_long pos, n_del;
    const char* insert;
  };
  const std::vector<Step> runs[] = {
      {{4, 2, "XY"}},
      {{4, 0, "abc"}, {0, 1, ""}, {20, 3, "tail"}},
      {{10, 5, ""}, {2, 20, "middle"}, {8, 0, "\n"}},
      {{0, 100, "all"}, {1, 1, "L"}},
      {{30, 0, "end"}, {3, 0, "begin"}, {15, 2, "mid"}},
  };
  const std::string original = "line one\nline two\nline three\nend\n";
  for (const std::vector<Step>& run : runs) {
    cw_reset();
    cw_set_text(original.data(), original.size());
    EXPECT_EQ(cw_changed(nullptr), 0);
    for (const Step& s : run) cw_replace_text(s.pos, s.n_del, s.insert, strlen(s.insert));
    size_t n = 0, n_old = 0;
    const char* now = cw_text(&n);
    cw_change c;
    ASSERT_EQ(cw_changed(&c), 1);
    const char* old = cw_change_old(&n_old);
    ASSERT_EQ((size_t)c.removed, n_old);
    std::string before = std::string(now, (size_t)c.from) + std::string(old, n_old) +
                         std::string(now + c.from + c.inserted, n - (size_t)(c.from + c.inserted));
    EXPECT_EQ(before, original) << run.size() << " edits from " << run[0].pos;
    cw_change_clear();
    EXPECT_EQ(cw_changed(nullptr), 0);
  }
}

TEST_F(SessionTest, AidsAndErrorsAnswerThroughTheApi) {
  wyn::Document doc("program\n  while\nendprogram\n");
  ASSERT_TRUE(doc.colour_whole());
  wyn::Document::Edit edit;
  std::string error;
  ASSERT_TRUE(doc.expand(doc.position(2, 8), &edit, &error)) << error;
  EXPECT_TRUE(edit.done && edit.changed);
  EXPECT_NE(doc.text().find("endwhile"), std::string::npos);
  ASSERT_TRUE(doc.expand(0, &edit, &error));  // 'program' has no template
  EXPECT_FALSE(edit.done);
  std::vector<wyn::LineSpan> marks;
  std::string message;
  ASSERT_TRUE(doc.routines(&marks, &message, &error));
  EXPECT_TRUE(marks.empty());
  EXPECT_EQ(message, "No routines found.");
  EXPECT_FALSE(plugin.call("_wyn_no_such_thing", 0, nullptr, nullptr, &error));
  EXPECT_NE(error.find("_wyn_no_such_thing"), std::string::npos);
  wyn::Plugin other;
  EXPECT_FALSE(other.load("/nonexistent/libnothing.so", &error));
  EXPECT_NE(error.find("cannot load"), std::string::npos);
}

// Documents opened and closed over and over, the current one or not, with
// another kept open: the editor holds no more buffers afterwards than
// before, and the one kept has its text and colours.
TEST_F(SessionTest, OpeningAndClosingLeavesNoDocumentBehind) {
  const struct {
    const char* what;
    bool current_at_close;  // coloured, so it is the editor's current one
  } cases[] = {{"closed while current", true}, {"closed while another is current", false}};
  for (const auto& c : cases) {
    wyn::Document kept(texts[1]);
    ASSERT_TRUE(kept.colour_whole());
    std::vector<signed char> colours = kept.categories();
    size_t before = cw_doc_count();
    for (int i = 0; i < 200; i++) {
      wyn::Document d(texts[i % 4]);
      bool coloured = !c.current_at_close || d.colour_whole();
      ASSERT_TRUE(coloured);
      if (!c.current_at_close) kept.cursor();
    }
    EXPECT_EQ(cw_doc_count(), before) << c.what;
    EXPECT_EQ(kept.text(), texts[1]) << c.what;
    EXPECT_EQ(kept.categories(), colours) << c.what;
  }
}

// With the editor's k-th buffer allocation failing, a document that
// cannot take a whole text answers false and keeps its own; an action
// that cannot be made throws std::bad_alloc with the text as it was; one
// that could is done as always. No document is made or lost.
TEST_F(SessionTest, WithoutMemoryAnActionIsWholeOrNotDone) {
  const struct {
    const char* what;
    bool (*act)(wyn::Document* d);
  } actions[] = {
      {"set a text", [](wyn::Document* d) { return d->set_text(std::string(20000, 'a')); }},
      {"type", [](wyn::Document* d) { return d->type('x', nullptr, nullptr); }},
      {"enter", [](wyn::Document* d) { return d->enter(nullptr, nullptr); }},
      {"replace", [](wyn::Document* d) { return d->replace(3, 2, std::string(9000, 'b')).done; }},
      {"expand", [](wyn::Document* d) { return d->expand(29, nullptr, nullptr); }},
      {"a new document", [](wyn::Document*) { return wyn::Document(texts[2]).size() > 0; }},
  };
  const std::string text = "program\n  x = 1; // note\n  while\nendprogram\n";
  for (const auto& a : actions) {
    for (unsigned long k = 1;; k++) {
      wyn::Document doc(text);
      ASSERT_TRUE(doc.colour_whole());
      doc.set_cursor(12);
      size_t docs = cw_doc_count();
      unsigned long before = cw_buffer_allocs();
      cw_fail_buffer_at(k);
      bool done = false, thrown = false;
      try {
        done = a.act(&doc);
      } catch (const std::bad_alloc&) {
        thrown = true;
      }
      cw_fail_buffer_at(0);
      bool failed = cw_buffer_allocs() - before >= k;
      std::string what = std::string(a.what) + ", allocation " + std::to_string(k);
      EXPECT_EQ(cw_doc_count(), docs) << what;
      if (!failed) {  // every allocation tried: the action had all it needed
        EXPECT_TRUE(done && !thrown) << what;
        break;
      }
      EXPECT_FALSE(done) << what;
      if (!thrown || strcmp(a.what, "expand") != 0) {
        EXPECT_EQ(doc.text(), text) << what;
      }
    }
  }
}

}  // namespace
