/*
** Pattern search in the editor's own dialect, built on PCRE2: a small
** cache of compiled patterns and the forward and backward search drivers.
** The dialect is translated once per pattern and the compiled code kept.
*/
#include "search.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "literal_index.h"
#include "pattern_translate.h"

namespace cw {

/*
** Patterns of the shape P (.|\n)* L S, with L a literal byte, would cost
** PCRE2 a scan to the end of the buffer from every start that fails. Such
** a pattern is split: P is matched alone, L is looked up in a sorted index
** of its positions in the text, and L S is tried at each of them in turn.
** Whether L S matches at a position does not depend on where the match
** began, so a search remembers from which occurrence on all of them fail.
*/

enum {
  CACHE_SIZE = 8,             /* compiled patterns kept */
  MATCH_LIMIT = 10000000,     /* PCRE2 backtracking steps per start */
  DEPTH_LIMIT = 1000000,      /* PCRE2 nested backtracking points */
  HEAP_LIMIT_KIB = 64 * 1024, /* PCRE2 backtracking memory */
  MAX_ENDS = 1 << 20          /* ways of ending the head tried per start */
};

struct End {     /* one way the head part can end */
  size_t at;     /* position just past the head */
  size_t cursor; /* where \c stood, or PCRE2_UNSET */
};
typedef std::vector<End> Ends;

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

/* Everything the search keeps between calls. The editor is single-threaded,
** so there is one, below; its destructor gives PCRE2's memory back at exit. */
struct Searcher {
  Compiled cache[CACHE_SIZE];
  int cache_next; /* slot replaced next */
  LiteralIndexes indexes;
  pcre2_compile_context* compile_context;
  pcre2_match_context* match_context; /* limits only */
  pcre2_match_context* head_context;  /* limits, and the callout filling head_ends */
  pcre2_jit_stack* jit_stack;
  Ends head_ends; /* reached by the callout through its data pointer */
  ~Searcher();
};

/* Written by find_compiled and the head callout, read by the searches. */
static Searcher searcher;

/* {====== compiled patterns ============================================== */

/* Records where the head part ended and fails, so that PCRE2 backtracks
** into the next way it can end. data is the Ends to fill. */
static int head_callout(pcre2_callout_block* block, void* data) {
  Ends* ends = (Ends*)data;
  End end;
  end.at = block->current_position;
  end.cursor = PCRE2_UNSET;
  if (block->capture_top > 1) end.cursor = block->offset_vector[2];
  ends->push_back(end);
  if (ends->size() >= MAX_ENDS) return PCRE2_ERROR_NOMATCH; /* stop here, keep these */
  return 1;
}

static void release_contexts(Searcher* s) {
  pcre2_jit_stack_free(s->jit_stack);
  pcre2_match_context_free(s->head_context);
  pcre2_match_context_free(s->match_context);
  pcre2_compile_context_free(s->compile_context);
  s->jit_stack = NULL;
  s->head_context = s->match_context = NULL;
  s->compile_context = NULL;
}

/* Creates the contexts once; false, with none kept, if PCRE2 cannot. */
static bool set_up_contexts(Searcher* s) {
  if (s->match_context) return true;
  s->compile_context = pcre2_compile_context_create(NULL);
  s->match_context = pcre2_match_context_create(NULL);
  s->head_context = pcre2_match_context_create(NULL);
  if (!s->compile_context || !s->match_context || !s->head_context) {
    /* a half set-up would later pass for a whole one */
    release_contexts(s);
    return false;
  }
  pcre2_set_newline(s->compile_context, PCRE2_NEWLINE_LF);
  pcre2_set_match_limit(s->match_context, MATCH_LIMIT);
  pcre2_set_depth_limit(s->match_context, DEPTH_LIMIT);
  pcre2_set_heap_limit(s->match_context, HEAP_LIMIT_KIB);
  pcre2_set_match_limit(s->head_context, MATCH_LIMIT);
  pcre2_set_depth_limit(s->head_context, DEPTH_LIMIT);
  pcre2_set_heap_limit(s->head_context, HEAP_LIMIT_KIB);
  pcre2_set_callout(s->head_context, head_callout, &s->head_ends);
  /* without it long lines would overflow the small default machine stack */
  s->jit_stack = pcre2_jit_stack_create(32 * 1024, 8 * 1024 * 1024, NULL);
  if (s->jit_stack) {
    pcre2_jit_stack_assign(s->match_context, NULL, s->jit_stack);
    pcre2_jit_stack_assign(s->head_context, NULL, s->jit_stack);
  }
  return true;
}

/* Compiles a translated pattern, machine code too where the platform
** allows; false if PCRE2 refuses it. */
static bool compile(Code* k, const std::string& translated, uint32_t extra,
                    pcre2_compile_context* context) {
  int error;
  PCRE2_SIZE offset;
  k->code = pcre2_compile((PCRE2_SPTR)translated.data(), translated.size(),
                          PCRE2_MULTILINE | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP | extra, &error,
                          &offset, context);
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

Searcher::~Searcher() {
  for (Compiled& c : cache) release(&c);
  release_contexts(this);
}

/* One match from start. Should the machine code give up (its stack, say),
** the interpreter tries again under its own limits; ends, when the head
** callout fills it, is emptied first, as the ends come again. */
static int run(const Code* k, const unsigned char* text, size_t length, size_t start,
               pcre2_match_context* context, Ends* ends) {
  int rc = pcre2_match(k->code, text, length, start, 0, k->data, context);
  if (rc < 0 && rc != PCRE2_ERROR_NOMATCH) {
    if (ends) ends->clear();
    rc = pcre2_match(k->code, text, length, start, PCRE2_NO_JIT, k->data, context);
  }
  return rc;
}

/* Sets up the split form of c; leaves c unsplit if any part fails. */
static void compile_split(Compiled* c, const char* p, size_t n, pcre2_compile_context* context) {
  PatternSplit at;
  std::string head, tail;
  if (!pattern_split(p, n, &at)) return;
  if (!pattern_translate(p, at.head_length, &head) ||
      !pattern_translate(p + at.tail_start, n - at.tail_start, &tail))
    return;
  c->literal = at.literal;
  head.append("(?C1)");
  /* no optimisation may skip a way the head can end */
  c->split = compile(&c->head, head,
                     PCRE2_ANCHORED | PCRE2_NO_AUTO_POSSESS | PCRE2_NO_START_OPTIMIZE |
                         PCRE2_NO_DOTSTAR_ANCHOR,
                     context) &&
             compile(&c->tail, tail, PCRE2_ANCHORED, context);
}

/* The compiled form of pattern, from s's cache or made now. */
static Compiled* find_compiled(Searcher* s, const char* pattern) {
  size_t n = strlen(pattern);
  std::string translated;
  uint32_t type = 0, unit = 0;
  Compiled* c;
  for (Compiled& kept : s->cache)
    if (kept.filled && kept.source == pattern) return &kept;
  c = &s->cache[s->cache_next];
  s->cache_next = (s->cache_next + 1) % CACHE_SIZE;
  release(c);
  c->filled = true;
  c->source = pattern;
  c->line_anchored = false;
  c->first_byte = -1;
  if (!pattern_translate(pattern, n, &translated)) return c;
  if (!compile(&c->whole, translated, 0, s->compile_context) ||
      !compile(&c->anchored, translated, PCRE2_ANCHORED, s->compile_context))
    return c;
  pcre2_pattern_info(c->whole.code, PCRE2_INFO_FIRSTCODETYPE, &type);
  if (type == 2) c->line_anchored = true;
  if (type == 1 && pcre2_pattern_info(c->whole.code, PCRE2_INFO_FIRSTCODEUNIT, &unit) == 0)
    c->first_byte = (int)unit;
  compile_split(c, pattern, n, s->compile_context);
  c->usable = true;
  return c;
}

/* }====== */

/* {====== matching ======================================================= */

/* One search: the pattern, the text and the searcher's contexts. */
struct Search {
  Searcher* s;
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
  int rc = run(&c->anchored, x->text, x->length, s, x->s->match_context, NULL);
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
  Ends& ends = x->s->head_ends;
  ends.clear();
  run(&c->head, x->text, x->length, s, x->s->head_context, &ends);
  for (size_t e = 0; e < ends.size(); e++) {
    End end = ends[e];
    size_t i = (size_t)(std::lower_bound(at.begin(), at.end(), end.at) - at.begin());
    for (size_t j = i; j < x->fail_from; j++) {
      int rc = run(&c->tail, x->text, x->length, at[j], x->s->match_context, NULL);
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

/* Last c in t[0..n), or NULL. A backward search of a line pattern calls
** this for every line it passes: the C library's scan where it has one. */
static const unsigned char* find_back(const unsigned char* t, int c, size_t n) {
#if defined(__GLIBC__)
  return (const unsigned char*)memrchr(t, c, n);
#else
  while (n > 0)
    if (t[--n] == c) return t + n;
  return NULL;
#endif
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
    rc = run(&x->c->whole, x->text, x->length, cursor, x->s->match_context, NULL);
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
  if (!set_up_contexts(&searcher)) return false;
  x.s = &searcher;
  x.c = find_compiled(&searcher, pattern);
  if (!x.c->usable) return false;
  x.text = (const unsigned char*)text;
  x.length = length;
  x.at = NULL;
  x.fail_from = 0;
  if (x.c->split) {
    x.at = &searcher.indexes.find(x.c->literal, text, length, generation);
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
