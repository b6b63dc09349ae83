/*
** Colours: the seven category colours, per-character colouring from the
** scan position, clearing by lines, and the update/redisplay bookkeeping.
*/
#include "model.h"

using cw::ed;

/* CW_QUERY answers the category's colour; any other value sets it. */
static cw_long category(int which, cw_long colour) {
  if (colour != CW_QUERY) ed.category[which] = colour;
  return ed.category[which];
}

extern "C" {

/* One operation per category, each logged under its own name. */
#define CW_CATEGORY_OP(name, which)             \
  CWEXPORT cw_long CWAPI name(cw_long colour) { \
    CW_ENTER(#name, "i", colour);               \
    return category(which, colour);             \
  }
CW_CATEGORY_OP(ColorOfComments, CW_COMMENTS)
CW_CATEGORY_OP(ColorOfConstants, CW_CONSTANTS)
CW_CATEGORY_OP(ColorOfKeywords, CW_KEYWORDS)
CW_CATEGORY_OP(ColorOfFunctions, CW_FUNCTIONS)
CW_CATEGORY_OP(ColorOfStrings, CW_STRINGS)
CW_CATEGORY_OP(ColorOfNumbers, CW_NUMBERS)
CW_CATEGORY_OP(ColorOfOperators, CW_OPERATORS)
#undef CW_CATEGORY_OP

/* Colours n characters from the scan position, clamped to the buffer; the
** run is recorded as asked (unclamped) so tests see what the caller passed.
** Answers the number of characters coloured: 0 as well when the buffer
** already holds 255 other colours. */
CWEXPORT cw_long CWAPI ColorRun(cw_long colour, cw_long n) {
  CW_ENTER("ColorRun", "ii", colour, n);
  if (ed.record_runs) {
    cw_run run = {ed.scan, n, colour};
    try {
      ed.runs.push_back(run);
    } catch (const std::bad_alloc&) {
      cw::refused(); /* the record misses it; the colours do not */
    }
  }
  if (ed.run_low < 0 || ed.scan < ed.run_low) ed.run_low = ed.scan;
  cw_long room = cw::text_length() - ed.scan;
  if (n > room) n = room;
  if (n <= 0) return 0;
  return cw::fill_colour(ed.scan, n, colour) ? n : 0;
}

/* Removes the colours of lines first..last (clamped to the buffer) between
** columns col_from and col_to, counted from 1 and covering the line break
** too; the flag changes nothing. Answers 1. */
CWEXPORT cw_long CWAPI ColorClear(cw_long first, cw_long last, cw_long col_from, cw_long col_to,
                                  cw_long flag) {
  CW_ENTER("ColorClear", "iiiii", first, last, col_from, col_to, flag);
  if (first < 1) first = 1;
  if (last > cw::line_count()) last = cw::line_count();
  if (col_from < 1) col_from = 1;
  for (cw_long line = first; line <= last && col_from <= col_to; line++) {
    cw_long start = cw::line_start(line - 1);
    cw_long stop = line < cw::line_count() ? cw::line_start(line) : cw::text_length();
    cw_long a = col_from - 1 > stop - start ? stop : start + (col_from - 1);
    cw_long b = col_to > stop - start ? stop : start + col_to;
    if (a < b) cw::fill_colour(a, b - a, CW_NO_COLOUR);
  }
  return 1;
}

/* Logged and counted only; nothing is deferred. */
CWEXPORT cw_long CWAPI ColorUpdateBegin(cw_long how) {
  CW_ENTER("ColorUpdateBegin", "i", how);
  return 1;
}

CWEXPORT cw_long CWAPI ColorUpdateEnd(cw_long how) {
  CW_ENTER("ColorUpdateEnd", "i", how);
  return 1;
}

/* The value names the pair: its index among all LineRange calls, plus 1. */
CWEXPORT cw_long CWAPI LineRange(cw_long first, cw_long last) {
  CW_ENTER("LineRange", "ii", first, last);
  cw_mark range = {first, last};
  try {
    ed.ranges.push_back(range);
  } catch (const std::bad_alloc&) {
    cw::refused();
    return 0; /* names no pair */
  }
  return (cw_long)ed.ranges.size();
}

/* The log shows the pair the value names: RefreshLines(LineRange(4, 9)).
** The pair is recorded for cw_refresh_at. */
CWEXPORT cw_long CWAPI RefreshLines(cw_long range) {
  CW_ENTER("RefreshLines", "r", range);
  if (range < 1 || (size_t)range > ed.ranges.size()) return 0;
  try {
    ed.refreshed.push_back(ed.ranges[(size_t)range - 1]);
  } catch (const std::bad_alloc&) {
    cw::refused();
    return 0;
  }
  return 1;
}

} /* extern "C" */
