/*
** The call log: "Name(arg, arg)" per host operation while logging is on.
** Integers in decimal, strings quoted with C escapes, tables as T1, T2...
*/
#include "model.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace cw {

std::string quote(const char* s, size_t n) {
  if (s == NULL) return "NULL";
  std::string out = "\"";
  for (size_t i = 0; i < n; i++) {
    unsigned char c = (unsigned char)s[i];
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c < 32 || c >= 127) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\x%02x", c);
          out += buf;
        } else {
          out += (char)c;
        }
    }
  }
  return out + "\"";
}

std::string table_name(const void* t) {
  if (t == NULL) return "NULL";
  for (size_t i = 0; i < ed.tables.size(); i++)
    if (ed.tables[i]->handle == (uintptr_t)t) return "T" + std::to_string(i + 1);
  return "P";
}

static std::string range_name(cw_long value) {
  if (value >= 1 && (size_t)value <= ed.ranges.size()) {
    const cw_mark& r = ed.ranges[(size_t)value - 1];
    return "LineRange(" + std::to_string(r.first) + ", " + std::to_string(r.last) + ")";
  }
  return std::to_string(value);
}

/* One log line; throws std::bad_alloc when memory runs out. */
static void log_line(const char* name, const char* format, va_list ap) {
  std::string line = name;
  line += "(";
  for (const char* f = format; *f != '\0'; f++) {
    if (f != format) line += ", ";
    switch (*f) {
      case 'i':
        line += std::to_string(va_arg(ap, cw_long));
        break;
      case 'r':
        line += range_name(va_arg(ap, cw_long));
        break;
      case 's': {
        const char* s = va_arg(ap, const char*);
        line += quote(s, s == NULL ? 0 : strlen(s));
        break;
      }
      case 'k': { /* keys need no NUL: print the length given */
        const char* key = va_arg(ap, const char*);
        cw_long n = va_arg(ap, cw_long);
        line += n < 0 ? (key == NULL ? "NULL" : "P") : quote(key, (size_t)n);
        line += ", " + std::to_string(n);
        break;
      }
      case 't':
        line += table_name(va_arg(ap, const void*));
        break;
      case 'p':
        line += va_arg(ap, const void*) == NULL ? "NULL" : "P";
        break;
      default:
        break;
    }
  }
  line += ")";
  ed.log.push_back(line);
}

/* Without memory the line is left out: the call itself goes on. */
void log_call(const char* name, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  try {
    log_line(name, format, ap);
  } catch (const std::bad_alloc&) {
    refused();
  }
  va_end(ap);
}

}  // namespace cw
