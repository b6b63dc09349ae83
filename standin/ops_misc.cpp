/*
** Registration, the routine view, display holds and messages.
*/
#include "model.h"

#include <string.h>

using cw::ed;

namespace {

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

/* ARG_LONG or ARG_STRING for an argument type word, -1 for anything else. */
int arg_type(const std::string& word) {
  if (word == "long" || word == "int") return cw::ARG_LONG;
  if (word == "LPSTR") return cw::ARG_STRING;
  return -1;
}

/* "[BOOL|long|int] name [long|int|LPSTR ...]", words split by single
** blanks. Fills *e and answers true when the prototype is well formed. */
bool parse_prototype(const char* prototype, cw::Export* e) {
  std::vector<std::string> words(1);
  for (const char* p = prototype; *p != '\0'; p++) {
    if (*p == ' ')
      words.push_back(std::string());
    else
      words.back() += *p;
  }
  for (size_t i = 0; i < words.size(); i++)
    if (words[i].empty()) return false; /* leading, trailing or double blank */
  size_t at = 0;
  const std::string& first = words[0];
  e->has_result = words.size() > 1 && (first == "BOOL" || first == "long" || first == "int");
  if (e->has_result) at = 1;
  e->name = words[at++];
  if (e->name[0] >= '0' && e->name[0] <= '9') return false;
  for (size_t i = 0; i < e->name.size(); i++)
    if (!is_name_char(e->name[i])) return false;
  if (words.size() - at > cw::MAX_ARGS) return false;
  e->argc = 0;
  for (; at < words.size(); at++) {
    int type = arg_type(words[at]);
    if (type < 0) return false;
    e->args[e->argc++] = type;
  }
  e->prototype = prototype;
  return true;
}

}  // namespace

extern "C" {

/* Logged and counted only; answers 1. */
CWEXPORT cw_long CWAPI HostStartup(cw_long a, cw_long b) {
  CW_ENTER("HostStartup", "ii", a, b);
  return 1;
}

/* Records a well-formed prototype and answers 1; refuses anything else
** with 0. While a module's _init runs, the name is bound to that module's
** export of the same name, otherwise to the running program's own. */
CWEXPORT cw_long CWAPI ExportFunction(const char* prototype) {
  CW_ENTER("ExportFunction", "s", prototype);
  if (prototype == NULL) return 0;
  try {
    cw::Export e = cw::Export();
    if (!parse_prototype(prototype, &e)) return 0;
    e.from_module = ed.loading && ed.module != NULL;
    e.owner = ed.owner;
    e.fn = e.from_module ? cw::module_symbol(ed.module, e.name.c_str())
                         : cw::self_symbol(e.name.c_str());
    ed.exports.push_back(e);
  } catch (const std::bad_alloc&) {
    cw::refused();
    return 0;
  }
  return 1;
}

/* (0, 0, CW_MARK_CLEAR) clears every mark; a nonzero flag adds
** first..last; any other call does nothing. Answers 1. */
CWEXPORT cw_long CWAPI MarkLines(cw_long first, cw_long last, cw_long flag) {
  CW_ENTER("MarkLines", "iii", first, last, flag);
  if (first == 0 && last == 0 && flag == CW_MARK_CLEAR) {
    ed.marks.clear();
  } else if (flag != 0) {
    cw_mark m = {first, last};
    try {
      ed.marks.push_back(m);
    } catch (const std::bad_alloc&) {
      cw::refused();
      return 0;
    }
  }
  return 1;
}

/* The routine view itself is not modelled: these are logged and counted. */
#define CW_LOGGED_ONLY_OP(name)       \
  CWEXPORT cw_long CWAPI name(void) { \
    CW_ENTER(#name, "");              \
    return 1;                         \
  }
CW_LOGGED_ONLY_OP(MarkCommit)
CW_LOGGED_ONLY_OP(RoutineViewReset)
CW_LOGGED_ONLY_OP(RoutineViewShow)
#undef CW_LOGGED_ONLY_OP

/* Holds and releases are counted against each other; the count may go
** below 0, which shows an unbalanced release. */
CWEXPORT cw_long CWAPI DisplayHold(void) {
  CW_ENTER("DisplayHold", "");
  return ++ed.display_holds;
}

CWEXPORT cw_long CWAPI DisplayRelease(void) {
  CW_ENTER("DisplayRelease", "");
  return --ed.display_holds;
}

/* Keeps a copy of text; NULL leaves the last message as it was. */
CWEXPORT cw_long CWAPI ShowMessage(const char* text) {
  CW_ENTER("ShowMessage", "s", text);
  if (text == NULL) return 0;
  try {
    ed.message = text;
  } catch (const std::bad_alloc&) {
    cw::refused();
    return 0;
  }
  ed.has_message = true;
  return 1;
}

} /* extern "C" */
