// The stand-in editor's cursor, edits and colours: template expansion,
// new lines, cursor moves, colouring runs and clearing by lines.
#include <gtest/gtest.h>

#include <string>

#include "cwedit.h"
#include "support/editor.h"

namespace {

void load(const std::string& text, cw_long cursor) {
  support::fresh_editor(text, support::NO_TABLES, cursor);
}

using support::buffer_text;

struct Expansion {
  const char* text;
  cw_long cursor;
  const char* tmpl;
  const char* after;
  cw_long cursor_after;
};

const Expansion expansions[] = {
    {"if", 0, "if ( & ) then\n\t\n@endif;", "if (  ) then\n\t\nendif;", 5},
    {"\tif", 1, "if ( & ) then\n\t\n@endif;", "\tif (  ) then\n\t\t\n\tendif;", 6},
    {"    repeat", 4, "repeat\n\t\n@until ( & );", "    repeat\n    \t\n    until (  );", 29},
    {"        x", 8, "x\n@y&", "        x\ny", 11},  // '@' takes 8 blanks
    {"          x", 10, "x\n@y&", "          x\n  y", 15},
    {"\t  x", 3, "x\n@y&", "\t  x\n\ty", 7},                // trailing blanks first
    {"GetMode(x)", 0, "GetMode ( );", "GetMode ( );", 12},  // no '&': at the end
    {"if (a)", 0, "if ( & ) then", "if (  ) then (a)", 5},  // only the word goes
    {"  VarSave", 2, "VarSave (X);\n&", "  VarSave (X);\n  ", 17},
    {"a\r\n  if\r\nb", 5, "if\n\t&\n@end", "a\r\n  if\r\n  \t\r\n  end\r\nb", 12},
    {"x = Delay", 4, "Delay (&nSeconds);", "x = Delay (nSeconds);", 11},
    {"ab", 0, "@x&", "@x", 2},   // '@' only after a line feed
    {"", 0, "a&b&c", "abc", 1},  // the first '&' counts
};

TEST(EditorText, ExpandTemplate) {
  for (const Expansion& e : expansions) {
    SCOPED_TRACE(e.tmpl);
    load(e.text, e.cursor);
    ExpandPrepare();
    EXPECT_EQ(ExpandTemplate(e.tmpl), 1);
    EXPECT_EQ(buffer_text(), e.after);
    EXPECT_EQ(cw_cursor(), e.cursor_after);
  }
}

TEST(EditorText, ExpandWithoutPrepareInsertsAtTheCursor) {
  load("ab", 1);
  EXPECT_EQ(ExpandTemplate("x&y"), 1);
  EXPECT_EQ(buffer_text(), "axyb");
  EXPECT_EQ(cw_cursor(), 2);
  EXPECT_EQ(ExpandTemplate(nullptr), 0);
  EXPECT_EQ(buffer_text(), "axyb");
}

TEST(EditorText, ExpandLeavesNewTextUncoloured) {
  load("x if y", 2);
  ScanSetPos(0);
  ColorRun(7, 6);
  ExpandPrepare();
  ExpandTemplate("if (&)");
  EXPECT_EQ(buffer_text(), "x if () y");
  const cw_long want[] = {7, 7, 0, 0, 0, 0, 0, 7, 7};
  for (cw_long i = 0; i < 9; i++) EXPECT_EQ(cw_colour_at(i), want[i]) << i;
}

const support::edit_case new_lines[] = {
    {"\t  foo", 6, "\t  foo\n\t  ", 10},
    {"\t\tfoo", 1, "\t\n\t\tfoo", 3},  // indentation up to the cursor only
    {"foo", 3, "foo\n", 4},
    {"ab\r\ncd", 6, "ab\r\ncd\r\n", 8},  // the last line asks the line above
    {"ab\r\ncd", 2, "ab\r\n\r\ncd", 4},
    {"ab\ncd\r\n", 1, "a\nb\ncd\r\n", 2},
};

TEST(EditorText, InsertNewLineInheritsIndentation) {
  for (const support::edit_case& n : new_lines) {
    SCOPED_TRACE(n.text);
    load(n.text, n.cursor);
    EXPECT_EQ(InsertNewLine(), 1);
    EXPECT_EQ(buffer_text(), n.after);
    EXPECT_EQ(cw_cursor(), n.cursor_after);
  }
}

TEST(EditorText, InsertChar) {
  load("ab", 1);
  InsertChar(9);
  InsertChar(0x141);  // the low byte
  EXPECT_EQ(buffer_text(), "a\tAb");
  EXPECT_EQ(cw_cursor(), 3);
}

TEST(EditorText, CursorQueries) {
  load("ab\n\tcd", 5);
  EXPECT_EQ(CursorLine(), 2);
  EXPECT_EQ(CursorColumn(), 3);  // the tab is one column
  EXPECT_EQ(CharAtCursor(), 'd');
  cw_set_cursor(6);
  EXPECT_EQ(CharAtCursor(), CW_NO_CHAR);
  EXPECT_EQ(CursorToTop(), 1);
  EXPECT_EQ(cw_cursor(), 0);
  EXPECT_EQ(CursorColumn(), 1);
}

struct Move {
  const char* text;
  cw_long from, n, result, to;
};

const Move moves[] = {
    {"a\nbb\nc", 3, 1, 1, 5},                             // to the start of the next line
    {"a\nbb\nc", 0, 2, 1, 5},  {"a\nbb\nc", 5, 1, 0, 5},  // no line below: stays
    {"a\nbb\nc", 3, 5, 0, 3},  {"a\n", 0, 1, 1, 2},       // the empty line after a final LF exists
    {"a\nbb\nc", 4, -1, 1, 0}, {"", 0, 1, 0, 0},
};

TEST(EditorText, CursorDown) {
  for (const Move& m : moves) {
    SCOPED_TRACE(std::string(m.text) + " " + std::to_string(m.from));
    load(m.text, m.from);
    EXPECT_EQ(CursorDown(m.n), m.result);
    EXPECT_EQ(cw_cursor(), m.to);
  }
}

TEST(EditorText, SavedPositions) {
  load("abcdef", 1);
  PushPosition();
  cw_set_cursor(4);
  PushPosition();
  cw_set_cursor(5);
  EXPECT_EQ(cw_position_depth(), 2);
  EXPECT_EQ(PopPosition(), 1);
  EXPECT_EQ(cw_cursor(), 4);
  EXPECT_EQ(DropPosition(CW_DROP_HOW), 1);
  EXPECT_EQ(cw_cursor(), 4);
  EXPECT_EQ(PopPosition(), 0);  // empty: harmless
  EXPECT_EQ(DropPosition(CW_DROP_HOW), 0);
  EXPECT_EQ(cw_cursor(), 4);
  EXPECT_EQ(cw_position_depth(), 0);
}

TEST(EditorText, SavedPositionsMoveWithInsertedText) {
  load("ab\ncd", 4);
  PushPosition();
  cw_set_cursor(0);
  InsertChar('x');
  PopPosition();
  EXPECT_EQ(cw_cursor(), 5);
  EXPECT_EQ(CharAtCursor(), 'd');
}

TEST(EditorText, ColorRunClampsAndRecords) {
  load("abcdef", 0);
  ScanSetPos(4);
  struct {
    cw_long colour, n, coloured;
  } cases[] = {{3, 10, 2}, {4, 0, 0}, {5, -2, 0}, {6, 1, 1}};
  for (const auto& c : cases) EXPECT_EQ(ColorRun(c.colour, c.n), c.coloured);
  EXPECT_EQ(ScanGetPos(), 4);
  EXPECT_EQ(cw_colour_at(4), 6);
  EXPECT_EQ(cw_colour_at(5), 3);
  EXPECT_EQ(cw_colour_at(3), 0);
  EXPECT_EQ(cw_colour_at(99), 0);
  ASSERT_EQ(cw_run_count(), 4u);
  cw_run r = cw_run_at(0);
  EXPECT_EQ(r.pos, 4);
  EXPECT_EQ(r.length, 10);  // as asked
  EXPECT_EQ(r.colour, 3);
  cw_clear_runs();
  EXPECT_EQ(cw_run_count(), 0u);
}

TEST(EditorText, ColorClearByLines) {
  const std::string text = "ab\r\ncd\nef\ngh";
  struct {
    cw_long first, last;
    const char* kept;
  } cases[] = {
      {2, 3, "111100000011"},  // one flag per character: 1 still coloured
      {3, 2, "111111111111"},  // first > last: nothing
      {-5, 1, "000011111111"},
      {4, 99, "111111111100"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    load(text, 0);
    ScanSetPos(0);
    ColorRun(9, 100);
    ColorClear(c.first, c.last, CW_FIRST_COLUMN, CW_LAST_COLUMN, CW_CLEAR_FLAG);
    std::string kept;
    for (cw_long i = 0; i < static_cast<cw_long>(text.size()); i++)
      kept += cw_colour_at(i) != 0 ? '1' : '0';
    EXPECT_EQ(kept, c.kept);
  }
  load("abcd\nefgh", 0);
  ScanSetPos(0);
  ColorRun(9, 100);
  ColorClear(1, 2, 2, 3, 0);  // columns 2..3 of both lines
  std::string kept;
  for (cw_long i = 0; i < 9; i++) kept += cw_colour_at(i) != 0 ? '1' : '0';
  EXPECT_EQ(kept, "100111001");
}

TEST(EditorText, CategoryColours) {
  cw_reset();
  cw_long (*ops[])(cw_long) = {ColorOfComments, ColorOfConstants, ColorOfKeywords, ColorOfFunctions,
                               ColorOfStrings,  ColorOfNumbers,   ColorOfOperators};
  for (int i = 0; i < CW_CATEGORY_COUNT; i++) {
    EXPECT_NE(ops[i](CW_QUERY), 0);
    EXPECT_EQ(ops[i](CW_QUERY), cw_category_colour(i));
    for (int j = 0; j < i; j++) EXPECT_NE(ops[i](CW_QUERY), ops[j](CW_QUERY));
  }
  EXPECT_EQ(ColorOfConstants(250), 250);
  EXPECT_EQ(cw_category_colour(CW_CONSTANTS), 250);
  cw_set_category_colour(CW_STRINGS, 0);
  EXPECT_EQ(ColorOfStrings(CW_QUERY), 0);
}

}  // namespace
