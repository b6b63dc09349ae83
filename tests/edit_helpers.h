// Shared set-up and checks for the editing-aid tests: a fresh stand-in with
// the vocabulary built, the buffer as text, and the settled state every
// call must leave behind.
#ifndef WYN_TESTS_EDIT_HELPERS_H
#define WYN_TESTS_EDIT_HELPERS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cwedit.h"
#include "frame/exports.h"
#include "frame/module.h"

namespace edit_test {

inline void start(const std::string& text, cw_long cursor) {
  cw_reset();
  wyn_build_keyword_tables();
  wyn_build_template_table();
  cw_ledger_baseline();
  cw_set_text(text.data(), text.size());
  cw_set_cursor(cursor);
}

inline std::string buffer() {
  size_t n = 0;
  const char* p = cw_text(&n);
  return std::string(p, n);
}

// Nothing obtained is still held, no saved cursor or display hold is left.
inline void expect_settled() {
  EXPECT_EQ(cw_live_since_baseline(), 0u);
  EXPECT_EQ(cw_bad_frees(), 0u);
  EXPECT_EQ(cw_position_depth(), 0);
  EXPECT_EQ(cw_display_holds(), 0);
}

// Host operation names in the call log, scan-position reads left out.
inline std::vector<std::string> call_names() {
  std::vector<std::string> names;
  for (size_t i = 0; i < cw_log_count(); i++) {
    std::string line = cw_log_at(i);
    std::string name = line.substr(0, line.find('('));
    if (name.compare(0, 4, "Scan") != 0) names.push_back(name);
  }
  return names;
}

}  // namespace edit_test

#endif
