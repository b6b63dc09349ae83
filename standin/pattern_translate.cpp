/*
** The editor's search-pattern dialect turned into PCRE2 pattern text, and
** the split point of patterns that close over everything. Pure text work:
** nothing here compiles or matches.
*/
#include "pattern_translate.h"

#include <stdio.h>
#include <string.h>

namespace cw {

/*
** Line ends are LF. A CR standing right before an LF belongs to that line
** end: '.' and classes never take it alone, "\n" takes "\r\n" whole and '$'
** holds before it, so CR LF text matches exactly where LF text does.
**
** Closures are minimal: '*' and '+' become '*?' and '+?'. A search for a
** header then stops at the first ')' that lets the rest match, not the last.
*/

/* ASCII only, so that the translation never depends on the locale. */
static bool is_alnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

/* Every byte but a letter or digit goes out as \x{..}: never a
** metacharacter, whatever PCRE2 makes of it. */
static void put_byte(std::string* out, unsigned char c) {
  char hex[8];
  if (is_alnum(c)) {
    out->push_back((char)c);
    return;
  }
  snprintf(hex, sizeof hex, "\\x{%02x}", c);
  out->append(hex);
}

/* Emits a set of bytes as one PCRE2 atom, keeping the CR of a CR LF with
** its LF: a set holding LF takes a CR LF whole, one without LF never takes
** the CR of a CR LF. */
static void put_set(std::string* out, const bool* in) {
  bool lf = in[(unsigned char)'\n'], cr = in[(unsigned char)'\r'];
  bool any = false;
  std::string body;
  for (int c = 0; c < 256; c++) {
    if (!in[c]) continue;
    int hi = c;
    while (hi < 255 && in[hi + 1]) hi++;
    put_byte(&body, (unsigned char)c);
    if (hi > c) {
      body.push_back('-');
      put_byte(&body, (unsigned char)hi);
    }
    any = true;
    c = hi;
  }
  if (!any) {
    out->append("(?!)");
    return;
  }
  if (lf && cr)
    out->append("(?:\\r\\n|(?!\\r\\n)[" + body + "])");
  else if (lf)
    out->append("(?:\\r\\n|[" + body + "])");
  else if (cr)
    out->append("(?:(?!\\r\\n)[" + body + "])");
  else
    out->append("[" + body + "]");
}

/* Position just past the class opening at p[i] == '[', or 0 if it never
** closes. A ']' first in the class (after any '^') is a member. */
static size_t class_end(const char* p, size_t n, size_t i) {
  size_t k = i + 1;
  if (k < n && p[k] == '^') k++;
  if (k < n && p[k] == ']') k++;
  while (k < n && p[k] != ']') {
    if (p[k] == '\\') k++;
    k++;
  }
  return k < n ? k + 1 : 0;
}

/* One class member at p[*k], escapes resolved; false if malformed. */
static bool class_member(const char* p, size_t end, size_t* k, unsigned char* c) {
  unsigned char d;
  if (p[*k] != '\\') {
    *c = (unsigned char)p[(*k)++];
    return true;
  }
  if (*k + 1 >= end) return false;
  d = (unsigned char)p[*k + 1];
  *k += 2;
  if (d == 't')
    *c = '\t';
  else if (d == 'n')
    *c = '\n';
  else if (is_alnum(d))
    return false;
  else
    *c = d;
  return true;
}

/* Translates the class p[i..end), end just past its ']'. */
static bool put_class(std::string* out, const char* p, size_t i, size_t end) {
  bool in[256] = {false};
  bool negated = false;
  size_t k = i + 1, last = end - 1; /* last: the closing ']' */
  if (p[k] == '^') {
    negated = true;
    k++;
  }
  while (k < last) {
    unsigned char lo, hi;
    if (!class_member(p, last, &k, &lo)) return false;
    hi = lo;
    if (k + 1 < last && p[k] == '-') {
      k++;
      if (!class_member(p, last, &k, &hi) || hi < lo) return false;
    }
    for (int c = lo; c <= hi; c++) in[c] = true;
  }
  if (negated)
    for (int c = 0; c < 256; c++) in[c] = !in[c];
  put_set(out, in);
  return true;
}

bool pattern_translate(const char* p, size_t n, std::string* out) {
  bool atom = false; /* a closure may follow */
  int depth = 0;
  size_t i = 0;
  out->clear();
  while (i < n) {
    unsigned char c = (unsigned char)p[i];
    size_t end;
    switch (c) {
      case '\\':
        if (i + 1 >= n) return false;
        c = (unsigned char)p[i + 1];
        i += 2;
        if (c == 'c') {
          out->append("()");
          atom = false;
        } else if (c == 'n') {
          out->append("(?:\\r?\\n)");
          atom = true;
        } else if (c == 't') {
          put_byte(out, '\t');
          atom = true;
        } else if (is_alnum(c)) {
          return false;
        } else {
          put_byte(out, c);
          atom = true;
        }
        continue;
      case '(':
        out->append("(?:");
        depth++;
        atom = false;
        break;
      case ')':
        if (--depth < 0) return false;
        out->push_back(')');
        atom = true;
        break;
      case '|':
        out->push_back('|');
        atom = false;
        break;
      case '^':
        out->push_back('^');
        atom = false;
        break;
      case '$':
        out->append("(?=\\r?\\n|\\z)");
        atom = false;
        break;
      case '.': {
        bool in[256];
        for (int k = 0; k < 256; k++) in[k] = k != '\n';
        put_set(out, in);
        atom = true;
        break;
      }
      case '[':
        end = class_end(p, n, i);
        if (end == 0 || !put_class(out, p, i, end)) return false;
        i = end;
        atom = true;
        continue;
      case '*':
      case '+':
        if (!atom) return false;
        out->push_back((char)c);
        out->push_back('?');
        atom = false;
        break;
      case '\n':
        out->append("(?:\\r?\\n)");
        atom = true;
        break;
      default:
        put_byte(out, c);
        atom = true;
        break;
    }
    i++;
  }
  return depth == 0;
}

/* Length of the alternative "." or "\n" (either spelling) at p[i], 0 if
** neither; *dot tells which. */
static size_t any_part(const char* p, size_t n, size_t i, bool* dot) {
  if (i < n && p[i] == '.') {
    *dot = true;
    return 1;
  }
  *dot = false;
  if (i < n && p[i] == '\n') return 1;
  if (i + 1 < n && p[i] == '\\' && p[i + 1] == 'n') return 2;
  return 0;
}

/* Length of "(.|\n)*" or "(\n|.)*" at p[i], 0 if not there. */
static size_t any_closure(const char* p, size_t n, size_t i) {
  size_t k = i + 1, len;
  bool first_dot, second_dot;
  if (p[i] != '(') return 0;
  if ((len = any_part(p, n, k, &first_dot)) == 0) return 0;
  k += len;
  if (k >= n || p[k] != '|') return 0;
  if ((len = any_part(p, n, k + 1, &second_dot)) == 0 || first_dot == second_dot) return 0;
  k += 1 + len;
  if (k + 1 >= n || p[k] != ')' || p[k + 1] != '*') return 0;
  return k + 2 - i;
}

/* Length of a single literal byte at p[i] that no closure follows, 0 if
** there is none; the byte goes to *c. Line-end bytes do not qualify. */
static size_t single_literal(const char* p, size_t n, size_t i, unsigned char* c) {
  size_t len = 1;
  if (i >= n) return 0;
  *c = (unsigned char)p[i];
  if (*c == '\\') {
    if (i + 1 >= n) return 0;
    *c = (unsigned char)p[i + 1];
    if (*c == 't')
      *c = '\t';
    else if (is_alnum(*c))
      return 0;
    len = 2;
  } else if (strchr("()[]|*+.^$", *c)) {
    return 0;
  }
  if (*c == '\n' || *c == '\r') return 0;
  if (i + len < n && (p[i + len] == '*' || p[i + len] == '+')) return 0;
  return len;
}

bool pattern_split(const char* p, size_t n, PatternSplit* out) {
  PatternSplit found = {0, 0, 0};
  bool have = false;
  int depth = 0;
  size_t i = 0, len;
  while (i < n) {
    if (depth == 0 && p[i] == '|') return false;
    if (!have && depth == 0 && (len = any_closure(p, n, i)) != 0 &&
        single_literal(p, n, i + len, &found.literal) != 0) {
      found.head_length = i;
      found.tail_start = i + len;
      have = true;
      i += len;
      continue;
    }
    if (p[i] == '\\')
      i += 2;
    else if (p[i] == '[') {
      size_t end = class_end(p, n, i);
      if (end == 0) return false;
      i = end;
    } else {
      if (p[i] == '(') depth++;
      if (p[i] == ')') depth--;
      i++;
    }
  }
  if (have) *out = found;
  return have;
}

}  // namespace cw
