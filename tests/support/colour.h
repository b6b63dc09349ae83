// Shared set-up and readers for the colouring tests: a fresh stand-in with
// the keyword tables built, one small colour value per category, and the
// colour runs written as "tag@position+length".
#ifndef WYN_SUPPORT_COLOUR_H
#define WYN_SUPPORT_COLOUR_H

#include <string>
#include <vector>

#include "cwedit.h"
#include "editor.h"
#include "frame/exports.h"
#include "frame/module.h"

namespace colour_test {

// Colour values 1..7 in category order, so a run's colour names its tag.
inline void fresh(const std::string& text) {
  support::fresh_editor(text, support::KEYWORD_TABLES);
  for (int c = 0; c < CW_CATEGORY_COUNT; c++) cw_set_category_colour(c, c + 1);
  cw_clear_runs();
}

inline std::string tag(cw_long colour) {
  static const char* const tags[] = {"z", "c", "k0", "k1", "k2", "s", "n", "o"};
  return colour >= 0 && colour <= 7 ? tags[colour] : "?" + std::to_string(colour);
}

// Every ColorRun since the last clear, as "c@0+4 k1@5+2".
inline std::string runs() {
  std::string out;
  for (size_t i = 0; i < cw_run_count(); i++) {
    cw_run r = cw_run_at(i);
    if (!out.empty()) out += ' ';
    out += tag(r.colour) + "@" + std::to_string(r.pos) + "+" + std::to_string(r.length);
  }
  return out;
}

// The text with one '@' marking a position: the text without it, and where.
struct marked {
  std::string text;
  cw_long at;
};

inline marked unmark(const std::string& s) {
  marked m;
  size_t at = s.find('@');
  m.at = at == std::string::npos ? -1 : (cw_long)at;
  m.text = s;
  if (at != std::string::npos) m.text.erase(at, 1);
  return m;
}

// The call log, without the character reads and position queries that make
// up most of it, so the order of the other calls reads at a glance.
inline bool is_read(const std::string& line) {
  return line == "ScanNext()" || line == "ScanPrev()" || line == "ScanChar()" ||
         line == "ScanGetPos()";
}

inline std::vector<std::string> calls_without_reads() {
  return support::call_log(is_read);
}

inline bool ledger_clear() {
  return cw_live_since_baseline() == 0 && cw_bad_frees() == 0;
}

}  // namespace colour_test

#endif
