// Client lines and positions over bytes: LF, CR LF and lone CR ends, UTF-16
// and UTF-8 columns, malformed UTF-8, clamping, and the line index kept up
// to date through edits (checked against a fresh build).
#include <gtest/gtest.h>

#include <string>

#include "text.h"

namespace {

using wyn::lsp::Encoding;
using wyn::lsp::LineIndex;
using wyn::lsp::Position;

struct Conversion {
  const char* name;
  std::string text;
  size_t offset;
  Encoding enc;
  uint32_t line, character;
};

// Each row both ways: offset -> position and position -> offset.
const Conversion conversions[] = {
    {"ascii", "ab\ncd", 4, Encoding::Utf16, 1, 1},
    {"crlf_line_two", "ab\r\ncd", 5, Encoding::Utf16, 1, 1},
    {"lone_cr_ends_a_line", "ab\rcd", 4, Encoding::Utf16, 1, 1},
    {"cr_cr_lf", "a\r\r\nb", 4, Encoding::Utf16, 2, 0},
    {"two_byte_char", "\xC3\xA9x", 2, Encoding::Utf16, 0, 1},
    {"two_byte_char_utf8", "\xC3\xA9x", 2, Encoding::Utf8, 0, 2},
    {"three_byte_char", "\xE2\x82\xAC=", 3, Encoding::Utf16, 0, 1},
    {"surrogate_pair", "\xF0\x9F\x98\x80z", 4, Encoding::Utf16, 0, 2},
    {"surrogate_pair_utf8", "\xF0\x9F\x98\x80z", 4, Encoding::Utf8, 0, 4},
    {"after_pair_and_crlf", "\xF0\x9F\x98\x80\r\n\xC3\xA9y", 8, Encoding::Utf16, 1, 1},
    {"stray_continuation", "\x80\x80z", 2, Encoding::Utf16, 0, 2},
    {"overlong_slash", "\xC0\xAFz", 2, Encoding::Utf16, 0, 2},
    {"encoded_surrogate", "\xED\xA0\x80z", 3, Encoding::Utf16, 0, 3},
    {"truncated_at_end", "a\xE2\x82", 3, Encoding::Utf16, 0, 3},
    {"end_of_empty", "", 0, Encoding::Utf16, 0, 0},
    {"after_final_lf", "a\n", 2, Encoding::Utf16, 1, 0},
};

TEST(LspText, ConvertsBothWays) {
  for (const Conversion& c : conversions) {
    LineIndex lines;
    lines.build(c.text);
    Position p = lines.position(c.text, c.offset, c.enc);
    EXPECT_EQ(p.line, c.line) << c.name;
    EXPECT_EQ(p.character, c.character) << c.name;
    EXPECT_EQ(lines.offset(c.text, Position{c.line, c.character}, c.enc), c.offset) << c.name;
  }
}

struct Clamp {
  const char* name;
  Position p;
  size_t offset;
};

TEST(LspText, ClampsPositionsOutsideTheText) {
  const std::string text = "ab\r\n\xF0\x9F\x98\x80q\n";  // line 1: a pair, then q
  LineIndex lines;
  lines.build(text);
  const Clamp rows[] = {
      {"column_past_line_end_stops_before_break", {0, 99}, 2},
      {"line_past_the_last", {7, 0}, text.size()},
      {"inside_a_surrogate_pair", {1, 1}, 4},
      {"after_the_pair", {1, 2}, 8},
  };
  for (const Clamp& c : rows)
    EXPECT_EQ(lines.offset(text, c.p, Encoding::Utf16), c.offset) << c.name;
  // An offset inside a character counts from its start.
  EXPECT_EQ(lines.position(text, 6, Encoding::Utf16).character, 0u);
  EXPECT_EQ(lines.position(text, 999, Encoding::Utf16).line, 2u);
}

struct Update {
  const char* name;
  std::string before;
  size_t pos, removed;
  std::string added;
};

TEST(LspText, UpdateMatchesAFreshBuild) {
  const Update rows[] = {
      {"lf_after_lone_cr_joins_them", "a\rb\nc", 2, 0, "\n"},
      {"cr_before_lf_joins_them", "a\nb", 1, 0, "\r"},
      {"split_crlf", "a\r\nb", 2, 0, "x"},
      {"delete_lf_of_crlf", "a\r\nb\nc", 2, 1, ""},
      {"insert_lines", "one\ntwo\nthree", 4, 3, "2\n2b\r\n2c"},
      {"delete_everything", "x\ny\nz", 0, 5, ""},
      {"append_at_end", "x\r", 2, 0, "\ny\rz"},
      {"replace_at_start", "\r\n\r\nq", 0, 2, "\r"},
  };
  for (const Update& u : rows) {
    LineIndex kept, fresh;
    kept.build(u.before);
    std::string after = u.before;
    after.replace(u.pos, u.removed, u.added);
    kept.update(after, u.pos, u.removed, u.added.size());
    fresh.build(after);
    ASSERT_EQ(kept.line_count(), fresh.line_count()) << u.name;
    for (uint32_t l = 0; l < fresh.line_count(); l++)
      EXPECT_EQ(kept.line_start(l), fresh.line_start(l)) << u.name << " line " << l;
  }
}

}  // namespace
