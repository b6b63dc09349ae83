// The stand-in's buffer against a plain string: seeded runs of edits
// anywhere (across chunk boundaries and within one), each checked for
// text, lines, positions' lines, colours kept beside their characters and
// the text in one piece; breaks split between chunks, texts filled in
// pieces, replacements up to a chunk's end, and the palette's limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cwedit.h"
#include "support/editor.h"
#include "support/wyn_text.h"

namespace {

// What the buffer must hold: the text and one colour per character.
struct Model {
  std::string text;
  std::vector<cw_long> colours;
};

void expect_same(const Model& m, const std::string& where) {
  char buf[64];
  size_t n = cw_text_range(0, sizeof buf, buf);
  ASSERT_EQ(std::string(buf, n), m.text.substr(0, sizeof buf)) << where;
  ASSERT_EQ((size_t)cw_text_length(), m.text.size()) << where;
  std::vector<cw_long> starts(1, 0);
  for (size_t i = 0; i < m.text.size(); i++)
    if (m.text[i] == '\n') starts.push_back((cw_long)i + 1);
  ASSERT_EQ(cw_line_count(), (cw_long)starts.size()) << where;
  for (size_t l = 0; l < starts.size(); l++) {
    ASSERT_EQ(cw_line_start((cw_long)l + 1), starts[l]) << where << ", line " << l + 1;
    ASSERT_EQ(cw_line_of(starts[l]), (cw_long)l + 1) << where;
    if (starts[l] > 0) {
      ASSERT_EQ(cw_line_of(starts[l] - 1), (cw_long)l) << where;
    }
  }
  // walking up, as a backward scan does, then jumping about
  auto line_of = [&](size_t i) {
    return (cw_long)(std::upper_bound(starts.begin(), starts.end(), (cw_long)i) - starts.begin());
  };
  for (size_t i = m.text.size(); i-- > 0;) ASSERT_EQ(cw_line_of((cw_long)i), line_of(i)) << where;
  wyn_text::rng r(m.text.size());
  for (int k = 0; k < 500 && !m.text.empty(); k++) {
    size_t i = r.below(m.text.size());
    if (k % 2 == 0 && m.text.find('\n', i) != std::string::npos) i = m.text.find('\n', i);
    ASSERT_EQ(cw_line_of((cw_long)i), line_of(i)) << where << " at " << i;
    size_t l = r.below(starts.size());
    ASSERT_EQ(cw_line_start((cw_long)l + 1), starts[l]) << where << ", line " << l + 1;
  }
  for (size_t i = 0; i < m.text.size(); i++) {
    ASSERT_EQ(cw_char_at((cw_long)i), (unsigned char)m.text[i]) << where << " at " << i;
    ASSERT_EQ(cw_colour_at((cw_long)i), m.colours[i]) << where << " at " << i;
  }
  ASSERT_EQ(cw_char_at((cw_long)m.text.size()), CW_NO_CHAR) << where;
  size_t len = 0;
  ASSERT_EQ(std::string(cw_text(&len), m.text.size()), m.text) << where;  // in one piece
}

// Texts small and large against the same seeded edits: the large ones
// span many of the stand-in's chunks, so edits, deletions and long
// insertions cross chunk boundaries and split and empty chunks; one is a
// single line with no break at all.
struct EditRun {
  const char* name;
  size_t size;         // of the starting text
  bool one_line;       // the text holds no line break
  size_t long_insert;  // the size of the occasional long insertion
  size_t long_delete;  // the most a long deletion removes
};

const EditRun edit_runs[] = {
    {"small", 3000, false, 5000, 400},
    {"many chunks", 60000, false, 20000, 30000},
    {"one long line", 50000, true, 9000, 12000},
};

TEST(EditorBuffer, EditsAnywhereKeepTextLinesAndColoursInStep) {
  for (const EditRun& run : edit_runs)
    for (uint64_t seed = 1; seed <= 4; seed++) {
      std::string name = std::string(run.name) + ", seed " + std::to_string(seed);
      wyn_text::rng r(seed);
      Model m;
      m.text = run.one_line ? std::string(run.size, 'x') : wyn_text::generate(seed, run.size);
      m.colours.assign(m.text.size(), 0);
      support::fresh_editor(m.text, support::NO_TABLES);
      for (int step = 0; step < 300; step++) {
        std::string where = name + ", step " + std::to_string(step);
        size_t pos = r.below(m.text.size() + 1);
        unsigned what = (unsigned)r.below(4);
        if (what == 0) {  // colour a span from the scan position
          size_t n = r.chance(5) ? r.below(20000) : r.below(40);
          cw_long colour = (cw_long)(1 + r.below(9));
          ScanSetPos((cw_long)pos);
          ColorRun(colour, (cw_long)n);
          for (size_t i = pos; i < pos + n && i < m.text.size(); i++) m.colours[i] = colour;
        } else {  // replace a span by new text with and without line breaks
          size_t n_del = r.below(what == 1 ? 3 : r.chance(10) ? run.long_delete : 400);
          if (n_del > m.text.size() - pos) n_del = m.text.size() - pos;
          static const char* const pieces[] = {"", "x", "\n", "ab\ncd\n\n", "\r\n", "word; "};
          std::string ins = run.one_line ? std::string(r.below(3), 'y') : pieces[r.below(6)];
          if (r.chance(10))
            ins = run.one_line ? std::string(run.long_insert, 'z')
                               : wyn_text::generate(seed + (uint64_t)step, run.long_insert);
          cw_replace_text((cw_long)pos, (cw_long)n_del, ins.data(), ins.size());
          m.text.replace(pos, n_del, ins);
          m.colours.erase(m.colours.begin() + (ptrdiff_t)pos,
                          m.colours.begin() + (ptrdiff_t)(pos + n_del));
          m.colours.insert(m.colours.begin() + (ptrdiff_t)pos, ins.size(), 0);
        }
        if (step % 25 == 0 || m.text.size() < 200) expect_same(m, where);
        if (HasFatalFailure()) return;
      }
      expect_same(m, name + ", end");
    }
}

// A CR LF whose halves lie in different chunks is still one break of two,
// wherever the chunk boundary falls near it; and a buffer filled in pieces
// holds what one whole text would, with no change recorded, however its
// room was reserved.
TEST(EditorBuffer, BreaksAcrossChunksAndTextsFilledInPieces) {
  for (size_t k = 8000; k < 8200; k++) {
    support::fresh_editor(std::string(k, 'a') + "\r\nb", support::NO_TABLES);
    ScanSetPos(0);
    ASSERT_EQ(ScanLineDown(1), 2) << k;
    ASSERT_EQ(ScanGetPos(), (cw_long)k + 2) << k;
    ScanSetPos(0);
    ASSERT_EQ(ScanLineLastChar(), 'a') << k;
    ASSERT_EQ(cw_line_of((cw_long)k + 1), 1) << k;
  }

  const std::string whole = wyn_text::generate(3, 100000);
  wyn_text::rng r(9);
  support::fresh_editor("", support::NO_TABLES);
  EXPECT_EQ(cw_append_text(NULL, 5), 0);
  ASSERT_EQ(cw_reserve_text(1000), 1);  // too little: appends grow it
  for (size_t at = 0; at < whole.size();) {
    size_t n = r.chance(20) ? r.below(30000) : r.below(300);
    if (n > whole.size() - at) n = whole.size() - at;
    ASSERT_EQ(cw_append_text(whole.data() + at, n), 1);
    at += n;
    // Room for the rest taken with text already in: the chunks move along.
    if (at > 20000 && at - n <= 20000) {
      ASSERT_EQ(cw_reserve_text(whole.size()), 1);
    }
  }
  EXPECT_EQ(cw_changed(NULL), 0);
  Model m;
  m.text = whole;
  m.colours.assign(whole.size(), 0);
  expect_same(m, "filled in pieces");
}

// A replacement that deletes up to a chunk's end, or a whole chunk, and
// inserts no more than it deleted (as replacing a word may) puts its text
// where the deletion left off, uncoloured between coloured neighbours.
// Deletion ends sweep across the first two chunk boundaries of a text
// loaded whole, in a text that goes on past them and in one that ends there.
TEST(EditorBuffer, ReplacementsEndingAtAChunkBoundary) {
  const std::string whole = wyn_text::generate(7, 20000);
  const struct { size_t from, to; } windows[] = {{7900, 8300}, {15900, 16400}};
  const struct {
    const char* what;
    size_t n_del;  // 0: back half-way, across a whole chunk before the end
  } deletions[] = {{"the byte before", 1}, {"a word before", 64}, {"back half-way", 0}};
  const std::string inserts[] = {"x", "0123456789"};
  for (const auto& w : windows)
    for (size_t end = w.from; end < w.to; end++)
      for (const auto& d : deletions)
        for (bool goes_on : {true, false})
          for (const std::string& ins : inserts) {
            std::string text = goes_on ? whole : whole.substr(0, end);
            size_t n_del = d.n_del ? d.n_del : end / 2, pos = end - n_del;
            std::string where = std::string(d.what) + " " + std::to_string(end) +
                                (goes_on ? "" : " (the end)") + ", inserting " + ins;
            cw_set_text(text.data(), text.size());
            ScanSetPos(0);
            ASSERT_EQ(ColorRun(3, (cw_long)text.size()), (cw_long)text.size());
            ASSERT_EQ(cw_replace_text((cw_long)pos, (cw_long)n_del, ins.data(), ins.size()), 1);
            text.replace(pos, n_del, ins);
            ASSERT_EQ(support::buffer_text(), text) << where;
            ASSERT_EQ(cw_line_count(), (cw_long)std::count(text.begin(), text.end(), '\n') + 1)
                << where;
            EXPECT_EQ(cw_colour_at((cw_long)pos - 1), 3) << where;
            EXPECT_EQ(cw_colour_at((cw_long)pos), 0) << where;
            if (pos + ins.size() < text.size()) {
              EXPECT_EQ(cw_colour_at((cw_long)(pos + ins.size())), 3) << where;
            }
          }
}

// One byte per character holds 255 colours besides none. Codes no
// character holds any longer are reused; a 256th colour in use at once is
// refused (ColorRun answers 0) rather than shown as another one.
TEST(EditorBuffer, PaletteReusesCodesAndRefusesTheTwoHundredFiftySixth) {
  support::fresh_editor(std::string(300, 'x'), support::NO_TABLES);
  for (cw_long c = 1; c <= 255; c++) {
    ScanSetPos(c - 1);
    ASSERT_EQ(ColorRun(1000 + c, 1), 1) << c;
  }
  ScanSetPos(280);
  EXPECT_EQ(ColorRun(5000, 3), 0);
  EXPECT_EQ(cw_colour_at(280), 0);
  ScanSetPos(0);
  ASSERT_EQ(ColorRun(1002, 1), 1);  // colour 1001 is held by no character now
  ScanSetPos(280);
  EXPECT_EQ(ColorRun(5000, 3), 3);
  for (cw_long c = 2; c <= 255; c++) EXPECT_EQ(cw_colour_at(c - 1), 1000 + c) << c;
  EXPECT_EQ(cw_colour_at(0), 1002);
  EXPECT_EQ(cw_colour_at(282), 5000);
}

}  // namespace
