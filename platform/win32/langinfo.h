// nl_langinfo(CODESET) on Windows: the tool sets its console to UTF-8
// (output_win32.cpp), so that is the charset of a terminal it writes to.
#ifndef WYN_TOOLS_WIN32_LANGINFO_H
#define WYN_TOOLS_WIN32_LANGINFO_H

#define CODESET 14

static inline const char* nl_langinfo(int item) {
  return item == CODESET ? "UTF-8" : "";
}

#endif
