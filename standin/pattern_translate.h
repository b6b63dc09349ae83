/*
** The editor's search-pattern dialect, read without a regular-expression
** engine: its translation into PCRE2 pattern text, and the place where a
** search may split a pattern at a closure over everything.
*/
#ifndef CW_PATTERN_TRANSLATE_H
#define CW_PATTERN_TRANSLATE_H

#include <stddef.h>

#include <string>

namespace cw {

/* Translates the dialect p[0..n) into PCRE2 syntax, for compiling with
** multi-line mode and LF line ends, and stores it in *out. Each \c becomes
** an empty capture, and is the only capture: bare parentheses do not
** capture. Closures are minimal, and a CR right before an LF belongs to
** that line end. Returns false for a malformed pattern; *out is then
** unspecified. */
bool pattern_translate(const char* p, size_t n, std::string* out);

/* Where a pattern of the shape P (.|\n)* L S splits: P is p[0..head_length),
** L S is p[tail_start..n), and L is one literal byte, no line-end byte and
** with no closure of its own. */
struct PatternSplit {
  size_t head_length;
  size_t tail_start;
  unsigned char literal; /* L, escapes resolved */
};

/* Finds the first top-level "(.|\n)*" (or "(\n|.)*", \n either the byte or
** its escape) that a literal byte follows, in a pattern with no top-level
** '|'. Returns false, *out untouched, if there is none. */
bool pattern_split(const char* p, size_t n, PatternSplit* out);

}  // namespace cw

#endif /* CW_PATTERN_TRANSLATE_H */
