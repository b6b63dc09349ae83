// The stand-in editor as tests, benchmarks and fuzz targets meet it: a
// fresh one holding a text and the plug-in's tables as start-up builds
// them, the buffer read back as a string, the call log as lines, and the
// row an edit's table is written in.
#ifndef WYN_SUPPORT_EDITOR_H
#define WYN_SUPPORT_EDITOR_H

#include <string>
#include <vector>

#include "cwedit.h"
#include "frame/module.h"

namespace support {

// One edit: the text with the cursor at `cursor` before it, and the text
// and cursor it must leave. Where the edit must change nothing, `after` is
// left out (null).
struct edit_case {
  const char* text;
  cw_long cursor;
  const char* after = nullptr;
  cw_long cursor_after = 0;
};

// Which of start-up's tables a fresh editor gets.
enum tables { NO_TABLES = 0, KEYWORD_TABLES = 1, TEMPLATE_TABLE = 2, ALL_TABLES = 3 };

// Forgets everything, builds the tables asked for and loads text with the
// cursor at `cursor`. A table not asked for is absent, as before start-up,
// never a handle the reset has made stale. Everything live afterwards (the
// keyword copies) is the baseline, so the ledger counts only what follows.
inline void fresh_editor(const std::string& text, int which = ALL_TABLES, cw_long cursor = 0) {
  cw_reset();
  for (int c = 0; c < WYN_CLASS_COUNT; c++) wyn_keyword_tables[c] = 0;
  wyn_template_table = 0;
  if (which & KEYWORD_TABLES) wyn_build_keyword_tables();
  if (which & TEMPLATE_TABLE) wyn_build_template_table();
  cw_set_text(text.data(), text.size());
  cw_set_cursor(cursor);
  cw_ledger_baseline();
}

inline std::string buffer_text() {
  size_t n = 0;
  const char* p = cw_text(&n);
  return std::string(p, n);
}

// The call log, one "Name(args)" line per host call, without the lines
// `skip` picks out (none when it is null).
inline std::vector<std::string> call_log(bool (*skip)(const std::string& line) = nullptr) {
  std::vector<std::string> out;
  for (size_t i = 0; i < cw_log_count(); i++) {
    std::string line = cw_log_at(i);
    if (!skip || !skip(line)) out.push_back(line);
  }
  return out;
}

// Scan-position moves and reads: what the comment probes and the scanner
// make most of the log of.
inline bool is_scan_call(const std::string& line) {
  return line.compare(0, 4, "Scan") == 0;
}

}  // namespace support

#endif
