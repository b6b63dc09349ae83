// Shared set-up and checks for the editing-aid tests: a fresh stand-in with
// the vocabulary built, the settled state every call must leave behind, one
// call or a table of them checked whole, and the loop that fails each
// allocation in turn.
#ifndef WYN_SUPPORT_EDIT_H
#define WYN_SUPPORT_EDIT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cwedit.h"
#include "editor.h"
#include "frame/exports.h"
#include "frame/module.h"

namespace edit_test {

inline void start(const std::string& text, cw_long cursor) {
  support::fresh_editor(text, support::ALL_TABLES, cursor);
}

using support::buffer_text;

// Nothing obtained is still held, no saved cursor or display hold is left.
inline void expect_settled() {
  EXPECT_EQ(cw_live_since_baseline(), 0u);
  EXPECT_EQ(cw_bad_frees(), 0u);
  EXPECT_EQ(cw_position_depth(), 0);
  EXPECT_EQ(cw_display_holds(), 0);
}

// The logged lines, scan-position moves and reads left out.
inline std::vector<std::string> host_calls() {
  return support::call_log(support::is_scan_call);
}

// The same lines cut to the host operations' names.
inline std::vector<std::string> call_names() {
  std::vector<std::string> names = host_calls();
  for (std::string& line : names) line.erase(line.find('('));
  return names;
}

// Runs an aid on text with the cursor at `cursor`: its answer, the buffer
// and cursor it leaves, and nothing left held.
inline void expect_aid(cw_long (*aid)(void), const std::string& text, cw_long cursor,
                       cw_long answer, const std::string& after, cw_long cursor_after) {
  start(text, cursor);
  EXPECT_EQ(aid(), answer);
  EXPECT_EQ(buffer_text(), after);
  EXPECT_EQ(cw_cursor(), cursor_after);
  expect_settled();
}

// Runs an aid on each case: answer 1 and the case's text and cursor after
// it, or, for a case without `after`, answer 0 and both left as they were.
template <size_t N>
void expect_aid_cases(cw_long (*aid)(void), const support::edit_case (&cases)[N]) {
  for (const support::edit_case& c : cases) {
    SCOPED_TRACE(c.text);
    if (c.after)
      expect_aid(aid, c.text, c.cursor, 1, c.after, c.cursor_after);
    else
      expect_aid(aid, c.text, c.cursor, 0, c.text, c.cursor);
  }
}

// Fails each allocating host call in turn, from the first, until the aid
// completes: every failure leaves the buffer and cursor as they were and
// nothing held. A run that ends undone by twenty failures fails the test.
inline void expect_survives_each_failed_allocation(const std::string& text, cw_long cursor,
                                                   cw_long (*aid)(void)) {
  bool done = false;
  for (unsigned long k = 1; k < 20 && !done; k++) {
    SCOPED_TRACE(k);
    start(text, cursor);
    cw_fail_alloc_at(k);
    cw_long result = aid();
    cw_fail_alloc_at(0);
    expect_settled();
    done = result == 1;
    if (!done) {
      EXPECT_EQ(buffer_text(), text);
      EXPECT_EQ(cw_cursor(), cursor);
    }
  }
  EXPECT_TRUE(done);
}

}  // namespace edit_test

#endif
