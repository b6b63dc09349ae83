/*
** Pattern search in the editor's own dialect, built on PCRE2.
** The dialect is translated once per pattern and the compiled code kept.
*/
#include "search.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace cw {

/*
** Line ends are LF. A CR standing right before an LF belongs to that line
** end: '.' and classes never take it alone, "\n" takes "\r\n" whole and '$'
** holds before it, so CR LF text matches exactly where LF text does.
**
** Closures are minimal: '*' and '+' become '*?' and '+?'. A search for a
** header then stops at the first ')' that lets the rest match, not the last.
**
** Patterns of the shape P (.|\n)* L S, with L a literal byte, would cost
** PCRE2 a scan to the end of the buffer from every start that fails. Such
** a pattern is split: P is matched alone, L is looked up in a sorted index
** of its positions in the text, and L S is tried at each of them in turn.
** Whether L S matches at a position does not depend on where the match
** began, so a search remembers from which occurrence on all of them fail.
**
** Single-threaded, as the editor is: the caches below are plain statics.
*/

enum {
  CACHE_SIZE = 8,             /* compiled patterns kept */
  INDEX_SIZE = 4,             /* literal indexes kept */
  MATCH_LIMIT = 10000000,     /* PCRE2 backtracking steps per start */
  DEPTH_LIMIT = 1000000,      /* PCRE2 nested backtracking points */
  HEAP_LIMIT_KIB = 64 * 1024, /* PCRE2 backtracking memory */
  MAX_ENDS = 1 << 20          /* ways of ending the head tried per start */
};

struct End {     /* one way the head part can end */
  size_t at;     /* position just past the head */
  size_t cursor; /* where \c stood, or PCRE2_UNSET */
};

struct Code { /* one compiled pattern, ready to match */
  pcre2_code* code;
  pcre2_match_data* data;
};

struct Compiled {
  bool filled;           /* the slot holds a pattern */
  std::string source;    /* the pattern as the caller passed it */
  bool usable;           /* false: malformed, finds nothing */
  bool line_anchored;    /* every match starts a line */
  int first_byte;        /* every match starts with it, or -1 */
  Code whole;            /* the whole pattern */
  Code anchored;         /* the same, matching only at the start */
  bool split;            /* head and tail below are in use */
  unsigned char literal; /* L */
  Code head;             /* P, anchored, reporting each end by callout */
  Code tail;             /* L S, anchored */
};

struct LiteralIndex {
  bool valid;
  unsigned char literal;
  const char* text;
  size_t length;
  unsigned long long generation;
  std::vector<size_t> at; /* ascending positions of literal */
};

/* Written by find_compiled and find_index, read by the searches. */
static Compiled cache[CACHE_SIZE];
static int cache_next; /* slot replaced next */
static LiteralIndex indexes[INDEX_SIZE];
static int index_next;
static pcre2_compile_context* compile_context;
static pcre2_match_context* match_context; /* limits only */
static pcre2_match_context* head_context;  /* limits and callout */
static pcre2_jit_stack* jit_stack;
static std::vector<End> head_ends; /* filled by the head callout */

/* {====== translation ==================================================== */

static bool is_alnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

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

/* Translates the dialect p[0..n) into PCRE2 syntax. Each \c becomes an
** empty capture, and is the only capture: bare parentheses do not capture.
** Returns false for a malformed pattern. */
static bool translate(const char* p, size_t n, std::string* out) {
  bool atom = false; /* a closure may follow */
  int depth = 0;
  size_t i = 0;
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

/* }====== */

/* {====== splitting at a closure over everything ========================= */

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

/* Finds the first top-level "(.|\n)*" followed by a literal byte, in a
** pattern with no top-level '|'. On success *head_len is the length of P,
** *tail_at the index of L, and *literal is L. */
static bool find_split(const char* p, size_t n, size_t* head_len, size_t* tail_at,
                       unsigned char* literal) {
  int depth = 0;
  bool found = false;
  size_t i = 0, len;
  while (i < n) {
    if (depth == 0 && p[i] == '|') return false;
    if (!found && depth == 0 && (len = any_closure(p, n, i)) != 0 &&
        single_literal(p, n, i + len, literal) != 0) {
      *head_len = i;
      *tail_at = i + len;
      found = true;
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
  return found;
}

/* }====== */

/* {====== compiled patterns ============================================== */

/* Records where the head part ended and fails, so that PCRE2 backtracks
** into the next way it can end. */
static int head_callout(pcre2_callout_block* block, void*) {
  End end;
  end.at = block->current_position;
  end.cursor = PCRE2_UNSET;
  if (block->capture_top > 1) end.cursor = block->offset_vector[2];
  head_ends.push_back(end);
  if (head_ends.size() >= MAX_ENDS) return PCRE2_ERROR_NOMATCH; /* stop here, keep these */
  return 1;
}

static bool set_up_contexts(void) {
  if (match_context) return true;
  compile_context = pcre2_compile_context_create(NULL);
  match_context = pcre2_match_context_create(NULL);
  head_context = pcre2_match_context_create(NULL);
  if (!compile_context || !match_context || !head_context) return false;
  pcre2_set_newline(compile_context, PCRE2_NEWLINE_LF);
  pcre2_set_match_limit(match_context, MATCH_LIMIT);
  pcre2_set_depth_limit(match_context, DEPTH_LIMIT);
  pcre2_set_heap_limit(match_context, HEAP_LIMIT_KIB);
  pcre2_set_match_limit(head_context, MATCH_LIMIT);
  pcre2_set_depth_limit(head_context, DEPTH_LIMIT);
  pcre2_set_heap_limit(head_context, HEAP_LIMIT_KIB);
  pcre2_set_callout(head_context, head_callout, NULL);
  /* without it long lines would overflow the small default machine stack */
  jit_stack = pcre2_jit_stack_create(32 * 1024, 8 * 1024 * 1024, NULL);
  if (jit_stack) {
    pcre2_jit_stack_assign(match_context, NULL, jit_stack);
    pcre2_jit_stack_assign(head_context, NULL, jit_stack);
  }
  return true;
}

/* Compiles a translated pattern, machine code too where the platform
** allows; false if PCRE2 refuses it. */
static bool compile(Code* k, const std::string& translated, uint32_t extra) {
  int error;
  PCRE2_SIZE offset;
  k->code = pcre2_compile((PCRE2_SPTR)translated.data(), translated.size(),
                          PCRE2_MULTILINE | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP | extra, &error,
                          &offset, compile_context);
  if (!k->code) return false;
  pcre2_jit_compile(k->code, PCRE2_JIT_COMPLETE);
  k->data = pcre2_match_data_create_from_pattern(k->code, NULL);
  return k->data != NULL;
}

static void release_code(Code* k) {
  pcre2_match_data_free(k->data);
  pcre2_code_free(k->code);
  k->data = NULL;
  k->code = NULL;
}

static void release(Compiled* c) {
  release_code(&c->whole);
  release_code(&c->anchored);
  release_code(&c->head);
  release_code(&c->tail);
  c->usable = c->split = false;
}

/* One match from start. Should the machine code give up (its stack, say),
** the interpreter tries again under its own limits. */
static int run(const Code* k, const unsigned char* text, size_t length, size_t start,
               pcre2_match_context* context) {
  int rc = pcre2_match(k->code, text, length, start, 0, k->data, context);
  if (rc < 0 && rc != PCRE2_ERROR_NOMATCH) {
    if (context == head_context) head_ends.clear(); /* the ends come again */
    rc = pcre2_match(k->code, text, length, start, PCRE2_NO_JIT, k->data, context);
  }
  return rc;
}

/* Sets up the split form of c; leaves c unsplit if any part fails. */
static void compile_split(Compiled* c, const char* p, size_t n) {
  size_t head_len, tail_at;
  std::string head, tail;
  if (!find_split(p, n, &head_len, &tail_at, &c->literal)) return;
  if (!translate(p, head_len, &head) || !translate(p + tail_at, n - tail_at, &tail)) return;
  head.append("(?C1)");
  /* no optimisation may skip a way the head can end */
  c->split = compile(&c->head, head,
                     PCRE2_ANCHORED | PCRE2_NO_AUTO_POSSESS | PCRE2_NO_START_OPTIMIZE |
                         PCRE2_NO_DOTSTAR_ANCHOR) &&
             compile(&c->tail, tail, PCRE2_ANCHORED);
}

/* The compiled form of pattern, from the cache or made now. */
static Compiled* find_compiled(const char* pattern) {
  size_t n = strlen(pattern);
  std::string translated;
  uint32_t type = 0, unit = 0;
  Compiled* c;
  for (int i = 0; i < CACHE_SIZE; i++)
    if (cache[i].filled && cache[i].source == pattern) return &cache[i];
  c = &cache[cache_next];
  cache_next = (cache_next + 1) % CACHE_SIZE;
  release(c);
  c->filled = true;
  c->source = pattern;
  c->line_anchored = false;
  c->first_byte = -1;
  if (!translate(pattern, n, &translated)) return c;
  if (!compile(&c->whole, translated, 0) || !compile(&c->anchored, translated, PCRE2_ANCHORED))
    return c;
  pcre2_pattern_info(c->whole.code, PCRE2_INFO_FIRSTCODETYPE, &type);
  if (type == 2) c->line_anchored = true;
  if (type == 1 && pcre2_pattern_info(c->whole.code, PCRE2_INFO_FIRSTCODEUNIT, &unit) == 0)
    c->first_byte = (int)unit;
  compile_split(c, pattern, n);
  c->usable = true;
  return c;
}

/* The ascending positions of literal in text, built once per generation. */
static const std::vector<size_t>& find_index(unsigned char literal, const char* text, size_t length,
                                             unsigned long long generation) {
  LiteralIndex* x;
  for (int i = 0; i < INDEX_SIZE; i++) {
    x = &indexes[i];
    if (x->valid && x->literal == literal && x->text == text && x->length == length &&
        x->generation == generation)
      return x->at;
  }
  x = &indexes[index_next];
  index_next = (index_next + 1) % INDEX_SIZE;
  x->valid = true;
  x->literal = literal;
  x->text = text;
  x->length = length;
  x->generation = generation;
  x->at.clear();
  for (const char* q = text; (q = (const char*)memchr(q, literal, (size_t)(text + length - q)));
       q++)
    x->at.push_back((size_t)(q - text));
  return x->at;
}

/* }====== */

/* {====== matching ======================================================= */

struct Search {
  const Compiled* c;
  const unsigned char* text;
  size_t length;
  const std::vector<size_t>* at; /* positions of the literal (split) */
  size_t fail_from;              /* the tail fails at every at[i], i >= this */
};

/* Stores where a match at s leaves the cursor. */
static void cursor_of(size_t s, size_t marked, size_t* out) {
  *out = marked != PCRE2_UNSET ? marked : s;
}

/* Tries the whole pattern anchored at s. */
static bool whole_at(const Search* x, size_t s, size_t* out) {
  const Compiled* c = x->c;
  int rc = run(&c->anchored, x->text, x->length, s, match_context);
  PCRE2_SIZE* v;
  if (rc <= 0) return false;
  v = pcre2_get_ovector_pointer(c->anchored.data);
  cursor_of(s, rc > 1 ? v[2] : PCRE2_UNSET, out);
  return true;
}

/* Tries the split pattern anchored at s: each way the head ends, in the
** order backtracking would meet them, then the literal occurrences from
** there on, nearest first, as the minimal closure would take them. */
static bool split_at(Search* x, size_t s, size_t* out) {
  const Compiled* c = x->c;
  const std::vector<size_t>& at = *x->at;
  head_ends.clear();
  run(&c->head, x->text, x->length, s, head_context);
  for (size_t e = 0; e < head_ends.size(); e++) {
    End end = head_ends[e];
    size_t i = (size_t)(std::lower_bound(at.begin(), at.end(), end.at) - at.begin());
    for (size_t j = i; j < x->fail_from; j++) {
      int rc = run(&c->tail, x->text, x->length, at[j], match_context);
      if (rc > 0) {
        PCRE2_SIZE* v = pcre2_get_ovector_pointer(c->tail.data);
        if (end.cursor == PCRE2_UNSET && rc > 1) end.cursor = v[2];
        cursor_of(s, end.cursor, out);
        return true;
      }
    }
    if (i < x->fail_from) x->fail_from = i;
  }
  return false;
}

static bool match_at(Search* x, size_t s, size_t* out) {
  return x->c->split ? split_at(x, s, out) : whole_at(x, s, out);
}

/* Next candidate start at or after s, or length + 1 if none. */
static size_t next_start(const Search* x, size_t s) {
  const unsigned char* q;
  if (s > x->length) return x->length + 1;
  if (x->c->line_anchored) {
    if (s == 0 || x->text[s - 1] == '\n') return s;
    q = (const unsigned char*)memchr(x->text + s, '\n', x->length - s);
    return q ? (size_t)(q - x->text) + 1 : x->length + 1;
  }
  if (x->c->first_byte >= 0) {
    q = (const unsigned char*)memchr(x->text + s, x->c->first_byte, x->length - s);
    return q ? (size_t)(q - x->text) : x->length + 1;
  }
  return s;
}

/* Last c in t[0..n), or NULL. */
static const unsigned char* find_back(const unsigned char* t, int c, size_t n) {
  while (n > 0)
    if (t[--n] == c) return t + n;
  return NULL;
}

/* Previous candidate start at or before s; false if none. */
static bool prev_start(const Search* x, size_t* s) {
  const unsigned char* q;
  if (x->c->line_anchored) {
    if (*s == 0 || x->text[*s - 1] == '\n') return true;
    q = find_back(x->text, '\n', *s);
    *s = q ? (size_t)(q - x->text) + 1 : 0;
    return true;
  }
  if (x->c->first_byte >= 0) {
    if (*s < x->length && x->text[*s] == x->c->first_byte) return true;
    q = find_back(x->text, x->c->first_byte, *s);
    if (!q) return false;
    *s = (size_t)(q - x->text);
  }
  return true;
}

/* A match never begins between the CR and the LF of a line end. */
static bool inside_line_end(const Search* x, size_t s) {
  return s > 0 && s < x->length && x->text[s] == '\n' && x->text[s - 1] == '\r';
}

/* The first start whose head ends beyond every literal where the tail can
** still match: no start from there on can match. */
static size_t split_reach(const Search* x) {
  return x->fail_from == 0 ? 0 : (*x->at)[x->fail_from - 1] + 1;
}

static bool search_forward(Search* x, size_t cursor, size_t* out) {
  int rc;
  PCRE2_SIZE* v;
  if (x->c->split) {
    for (size_t s = next_start(x, cursor); s <= x->length; s = next_start(x, s + 1)) {
      if (s >= split_reach(x)) return false;
      if (!inside_line_end(x, s) && split_at(x, s, out)) return true;
    }
    return false;
  }
  for (;;) {
    rc = run(&x->c->whole, x->text, x->length, cursor, match_context);
    if (rc <= 0) return false;
    v = pcre2_get_ovector_pointer(x->c->whole.data);
    if (!inside_line_end(x, v[0])) break;
    cursor = v[0] + 1;
  }
  cursor_of(v[0], rc > 1 ? v[2] : PCRE2_UNSET, out);
  return true;
}

static bool search_backward(Search* x, size_t cursor, size_t* out) {
  size_t s = cursor;
  while (prev_start(x, &s)) {
    if (x->c->split && x->fail_from == 0) return false;
    if (!inside_line_end(x, s) && match_at(x, s, out)) return true;
    if (s == 0) return false;
    s--;
  }
  return false;
}

/* }====== */

bool pattern_search(const char* text, size_t length, unsigned long long generation, size_t cursor,
                    const char* pattern, bool backward, size_t* out) {
  Search x;
  size_t found;
  if (!pattern || !out || (!text && length > 0)) return false;
  if (!text) text = "";
  if (!set_up_contexts()) return false;
  x.c = find_compiled(pattern);
  if (!x.c->usable) return false;
  x.text = (const unsigned char*)text;
  x.length = length;
  x.at = NULL;
  x.fail_from = 0;
  if (x.c->split) {
    x.at = &find_index(x.c->literal, text, length, generation);
    x.fail_from = x.at->size();
  }
  if (cursor > length) {
    if (!backward) return false;
    cursor = length;
  }
  if (!(backward ? search_backward(&x, cursor, &found) : search_forward(&x, cursor, &found)))
    return false;
  *out = found;
  return true;
}

}  // namespace cw
