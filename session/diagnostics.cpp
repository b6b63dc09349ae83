// The script checker: block words matched with a stack over the words of
// the code, and the comments and strings the plug-in coloured walked to
// find the one left open.
#include "diagnostics.h"

#include <assert.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string_view>

#include "chars.h"

namespace wyn {

namespace {

// Bytes 128 and up count as word characters here: a block word glued to
// one is no block word, and taking it for one could raise a false alarm.
// Asked of every byte of code, so read from a table built at compile time.
struct WordTable {
  bool is[256] = {};
  constexpr WordTable() {
    for (int b = 0; b < 256; b++)
      is[b] = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
              b == '_' || b == '#' || b >= 128;
  }
};
constexpr WordTable kWordTable;
inline bool word_char(unsigned char c) {
  return kWordTable.is[c];
}

// A block's opening word and the word that closes it.
struct Pair {
  const char* open;
  const char* close;
};
const Pair pairs[] = {{"if", "endif"},          {"while", "endwhile"}, {"for", "endfor"},
                      {"switch", "endswitch"},  {"repeat", "until"},   {"begin", "end"},
                      {"program", "endprogram"}};
// How far out past the nearest opener of its kind a closer looks for one
// indented as it is.
const size_t kIndentSearch = 16;

const char* const other_block_words[] = {"then", "else", "elseif"};

// The longest block word, "endprogram": a longer word is none, and need
// not be folded to be sure.
const size_t kLongestBlockWord = 10;

// Whether word, in any letter case, is a block word; *exact says whether
// it is written as the vocabulary has it. Asked of nearly every word of a
// script, so the words are held as strings once, by length, and only
// those of the word's length are compared; nothing is copied.
bool is_block_word_folded(std::string_view word, bool* exact) {
  using Words = std::vector<std::string>;
  static const std::vector<Words> by_length = [] {
    std::vector<Words> out(kLongestBlockWord + 1);
    auto put = [&](const char* w) {
      assert(strlen(w) <= kLongestBlockWord);
      out[strlen(w)].push_back(w);
    };
    for (const Pair& p : pairs) {
      put(p.open);
      put(p.close);
    }
    for (const char* w : other_block_words) put(w);
    return out;
  }();
  if (word.size() > kLongestBlockWord) return false;
  for (const std::string& w : by_length[word.size()]) {
    size_t k = 0;
    while (k < w.size() && ascii_lower(word[k]) == w[k]) k++;
    if (k < w.size()) continue;
    *exact = word == w;
    return true;
  }
  return false;
}

enum TokKind { TOK_WORD, TOK_SEMI };
struct Token {
  TokKind kind;
  size_t from, to;
  std::string_view word;  // TOK_WORD, in the checked text
  bool block = false;     // a block word in some letter case
};

struct Open {
  const Pair* pair;
  size_t from, to;
  long line;
};

class Checker {
 public:
  // The outline of the text, when the routine rules need it; null when it
  // cannot be had.
  using OutlineSource = std::function<const std::vector<Routine>*()>;

  // reserved and source are for the routine rules when routines
  // is null: the outline is asked for only where those rules could find
  // something, which most scripts never give them.
  Checker(const std::string& text, const std::vector<signed char>& cats,
          const std::vector<Routine>* routines, const std::vector<std::string>* reserved = nullptr,
          OutlineSource source = nullptr)
      : text_(text), cats_(cats), routines_(routines), reserved_(reserved), source_(source) {
    line_starts_.push_back(0);
    const char* at = text_.data();
    const char* end = at + text_.size();
    while ((at = (const char*)memchr(at, '\n', (size_t)(end - at))) != nullptr)
      line_starts_.push_back((size_t)(++at - text_.data()));
  }

  std::vector<Diagnostic> run() {
    comments();
    strings();
    bool unsure = false;
    std::vector<Token> tokens = code_tokens(&unsure);
    if (!unsure) blocks(tokens);
    if (routines_ == nullptr && source_ && (has_goto(tokens) || repeated_header_names()))
      routines_ = source_();
    if (routines_ != nullptr) {
      twice_defined();
      gotos(tokens);
    }
    std::stable_sort(out_.begin(), out_.end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.from < b.from; });
    return out_;
  }

 private:
  const std::string& text_;
  const std::vector<signed char>& cats_;
  const std::vector<Routine>* routines_;  // null: the routine rules are off
  const std::vector<std::string>* reserved_;
  OutlineSource source_;
  std::vector<size_t> line_starts_;
  // The preprocessor conditionals, #if to #endif (or to the end of the
  // text when never closed), and what the #defines say; set by code_tokens.
  struct Conditional {
    size_t from, to;
    bool alternative;  // has an #else or #elif, or is "#if 0": not every line is built
  };
  std::vector<Conditional> conditionals_;
  std::vector<std::string> defined_;  // the names #defined
  bool macro_may_label_ = false;      // a #define's code holds ':' or "##"
  std::vector<size_t> includes_;      // where each #include stands
  std::vector<Diagnostic> out_;
  bool comment_to_end_ = false;  // a block comment is never closed

  signed char cat(size_t i) const { return i < cats_.size() ? cats_[i] : (signed char)CAT_NONE; }
  bool code(size_t i) const { return cat(i) != CAT_COMMENT && cat(i) != CAT_STRING; }

  long line_of(size_t pos) const {
    return (long)(std::upper_bound(line_starts_.begin(), line_starts_.end(), pos) -
                  line_starts_.begin());
  }
  size_t line_start(long line) const {
    assert(line >= 1 && (size_t)line <= line_starts_.size());
    return line_starts_[(size_t)line - 1];
  }
  // How many blanks a line starts with, and those blanks.
  size_t indent_length(long line) const {
    size_t s = line_start(line), e = s;
    while (e < text_.size() && (text_[e] == ' ' || text_[e] == '\t')) e++;
    return e - s;
  }
  std::string indent_of(long line) const {
    return text_.substr(line_start(line), indent_length(line));
  }
  bool same_indent(long a, long b) const {
    size_t n = indent_length(a);
    return n == indent_length(b) && text_.compare(line_start(a), n, text_, line_start(b), n) == 0;
  }
  // A line whose first non-blank byte is a '#' in code: a preprocessor line.
  bool preprocessor_line(long line) const {
    size_t i = line_start(line);
    while (i < text_.size() && (text_[i] == ' ' || text_[i] == '\t')) i++;
    return i < text_.size() && text_[i] == '#' && code(i);
  }

  Diagnostic& add(Diagnostic::Severity severity, size_t from, size_t to, std::string message) {
    Diagnostic d;
    d.severity = severity;
    d.from = from;
    d.to = to;
    d.line = line_of(from);
    d.col = (long)(from - line_start(d.line));
    d.end_line = line_of(to);
    d.end_col = (long)(to - line_start(d.end_line));
    d.message = std::move(message);
    out_.push_back(std::move(d));
    return out_.back();
  }

  // The runs of one category: [from, to) each.
  std::vector<std::pair<size_t, size_t>> runs(signed char category) const {
    std::vector<std::pair<size_t, size_t>> out;
    // Bytes past the colours are of no category.
    size_t coloured = std::min(cats_.size(), text_.size());
    const signed char* cats = cats_.data();
    for (size_t i = 0; i < coloured;) {
      const void* found = memchr(cats + i, (unsigned char)category, coloured - i);
      if (found == nullptr) break;
      i = (size_t)((const signed char*)found - cats);
      size_t j = i;
      while (j < coloured && cats[j] == category) j++;
      out.emplace_back(i, j);
      i = j;
    }
    return out;
  }

  // Walks each comment the plug-in coloured. A block comment closes at the
  // first '/' after its opener that follows a '*' ("/*/" is a whole one),
  // as the plug-in closes it; one that reaches the end of the text is
  // never closed. A run the walk cannot account for is left alone.
  void comments() {
    for (auto run : runs(CAT_COMMENT)) {
      size_t p = run.first;
      while (p < run.second) {
        if (text_.compare(p, 2, "//") == 0) {
          p = text_.find('\n', p);
          if (p == std::string::npos) p = text_.size();
          continue;
        }
        if (text_.compare(p, 2, "/*") != 0) break;
        size_t j = p + 2;
        bool nested = false;
        while (j < text_.size() && !(text_[j] == '/' && text_[j - 1] == '*')) {
          // Asked of every byte of every block comment: read in place.
          if (!nested && text_[j] == '/' && j + 1 < text_.size() && text_[j + 1] == '*') {
            // Most often the closer of the comment before was lost: this
            // comment has swallowed code up to another comment's end.
            nested = true;
            add(Diagnostic::WARNING, j, j + 2,
                "`/*` inside the comment opened at line " + std::to_string(line_of(p)) +
                    ": is that comment closed?");
          }
          j++;
        }
        if (j >= text_.size()) {
          if (run.second == text_.size()) comment_to_end_ = true;
          if (run.second == text_.size())
            add(Diagnostic::ERROR, p, p + 2, "`/*` opens a comment that is never closed");
          break;
        }
        p = j + 1;
      }
    }
  }

  // Walks each string the plug-in coloured, as it reads one: a backslash
  // passes over an escaped quote or backslash, and the line end ends the
  // literal unclosed. Preprocessor lines are left alone: an apostrophe in
  // an #error's text is no string.
  void strings() {
    for (auto run : runs(CAT_STRING)) {
      size_t p = run.first;
      while (p < run.second) {
        char q = text_[p];
        if (q != '"' && q != '\'') break;
        size_t j = p + 1;
        bool closed = false;
        while (j < text_.size() && text_[j] != '\n') {
          if (text_[j] == '\\') {
            j++;
            if (j < text_.size() && (text_[j] == q || text_[j] == '\\')) j++;
            continue;
          }
          if (text_[j] == q) {
            closed = true;
            j++;
            break;
          }
          j++;
        }
        if (!closed && !preprocessor_line(line_of(p))) {
          size_t end = j;
          while (end > p + 1 && text_[end - 1] == '\r') end--;
          add(Diagnostic::ERROR, p, end, "string not closed on its line");
        }
        p = j;
      }
    }
  }

  // The words and ';'s of the code, less preprocessor lines. Sets *unsure
  // when the blocks cannot be checked with confidence. Records the
  // conditionals and what the #defines say on the way.
  std::vector<Token> code_tokens(bool* unsure) {
    std::vector<Token> out;
    out.reserve(text_.size() / 8);  // about a word in eight bytes of script
    // Open preprocessor conditionals: where each starts, whether it has
    // had an #else or #elif, and whether a block word stands inside it.
    struct Cond {
      size_t from = 0;
      bool alternative = false, block_words = false, zero = false;
    };
    std::vector<Cond> conds;
    auto close_cond = [&](size_t to) {
      const Cond& c = conds.back();
      if (c.alternative && c.block_words) *unsure = true;
      conditionals_.push_back({c.from, to, c.alternative || c.zero});
      conds.pop_back();
    };
    long directive_line = 0;  // the line of the directive being read, 0 if none
    std::string directive;
    bool define_name = false;  // the next word is the name a #define defines
    for (size_t i = 0; i < text_.size();) {
      unsigned char c = (unsigned char)text_[i];
      if (!code(i)) {
        i++;
        continue;
      }
      if (c == ';') {
        if (directive_line == 0) out.push_back({TOK_SEMI, i, i + 1, std::string_view()});
        i++;
        continue;
      }
      if (!word_char(c)) {
        if (c == ':' && directive_line != 0 && directive == "#define") macro_may_label_ = true;
        if (c == '\n' && directive_line != 0) {
          // A macro's body goes on past a line that ends with '\'.
          size_t k = i;
          while (k > 0 && text_[k - 1] == '\r') k--;
          if (!(directive == "#define" && k > 0 && text_[k - 1] == '\\')) directive_line = 0;
        }
        i++;
        continue;
      }
      size_t j = i;
      while (j < text_.size() && word_char((unsigned char)text_[j]) && code(j)) j++;
      std::string_view word(text_.data() + i, j - i);
      if (directive_line == 0 && word[0] == '#' && preprocessor_line(line_of(i))) {
        directive_line = line_of(i);
        directive = word;
        define_name = word == "#define";
        if (word == "#include") includes_.push_back(i);
        if (word == "#if" || word == "#ifdef" || word == "#ifndef") {
          conds.emplace_back();
          conds.back().from = i;
          size_t k = j;
          while (k < text_.size() && (text_[k] == ' ' || text_[k] == '\t')) k++;
          conds.back().zero = word == "#if" && k < text_.size() && text_[k] == '0' &&
                              (k + 1 == text_.size() || !word_char((unsigned char)text_[k + 1]));
        } else if ((word == "#else" || word == "#elif") && !conds.empty()) {
          conds.back().alternative = true;
        } else if (word == "#endif" && !conds.empty()) {
          close_cond(j);
        }
      } else {
        if (directive_line != 0 && directive == "#define") {
          if (define_name) defined_.emplace_back(word);
          define_name = false;
          if (word.find("##") != std::string::npos) macro_may_label_ = true;
        }
        bool block = false, exact = false;
        if (word.size() <= kLongestBlockWord) {
          block = is_block_word_folded(word, &exact);
          // A block word in a macro's body, in another letter case than
          // the plug-in's vocabulary has it, or not coloured as a keyword
          // (a word the plug-in reads otherwise): the blocks are unsure.
          if (block && (directive_line != 0 || !exact || cat(i) != CAT_KEYWORD)) *unsure = true;
        }
        if (block) {
          for (Cond& cond : conds) cond.block_words = true;
        }
        if (directive_line == 0) out.push_back({TOK_WORD, i, j, word, block});
      }
      i = j;
    }
    while (!conds.empty()) close_cond(text_.size());
    return out;
  }

  static const Pair* opened_by(std::string_view w) {
    for (const Pair& p : pairs)
      if (w == p.open) return &p;
    return nullptr;
  }
  static const Pair* closed_by(std::string_view w) {
    for (const Pair& p : pairs)
      if (w == p.close) return &p;
    return nullptr;
  }

  // Whether the if (or elseif) at tokens[i] has its then before the end
  // of its statement: only "if ... then" opens a block.
  static bool has_then(const std::vector<Token>& tokens, size_t i) {
    for (size_t k = i + 1; k < tokens.size(); k++) {
      if (tokens[k].kind == TOK_SEMI) return false;
      // With the blocks checked, every block word is in its one letter case.
      if (tokens[k].block) return tokens[k].word == "then";
    }
    return false;
  }

  std::string what(const Pair* p) const {
    return std::string("`") + p->open + (strcmp(p->open, "if") == 0 ? " ... then`" : "`");
  }

  // An open block's closing word, to insert at byte at: on its own line,
  // indented as the line that opened the block, and ended as that line is
  // (CR LF or LF), so a fix does not mix line ends in a file.
  void fix(Diagnostic& d, const Open& o, size_t at) const {
    size_t next = (size_t)o.line < line_starts_.size() ? line_start(o.line + 1) : 0;
    const char* eol = next >= 2 && text_[next - 2] == '\r' ? "\r\n" : "\n";
    d.has_fix = true;
    d.fix_at = at;
    d.fix_text = indent_of(o.line) + o.pair->close +
                 (strcmp(o.pair->close, "until") == 0 ? " ();" : ";") + eol;
    if (at > 0 && text_[at - 1] != '\n') d.fix_text.insert(0, eol);
  }

  void blocks(const std::vector<Token>& tokens) {
    std::vector<Open> stack;
    // How many blocks of each kind are open, so that a closer with none
    // open, or an else outside every if, costs no walk down the stack.
    size_t open_count[sizeof pairs / sizeof pairs[0]] = {};
    auto kind = [](const Pair* p) { return (size_t)(p - pairs); };
    for (size_t i = 0; i < tokens.size(); i++) {
      const Token& t = tokens[i];
      if (t.kind != TOK_WORD || !t.block) continue;
      long line = line_of(t.from);
      if (const Pair* p = opened_by(t.word)) {
        if (strcmp(p->open, "if") != 0 || has_then(tokens, i)) {
          stack.push_back({p, t.from, t.to, line});
          open_count[kind(p)]++;
        }
        continue;
      }
      if (t.word == "else" || t.word == "elseif") {
        if (open_count[0] == 0)  // pairs[0]: if
          add(Diagnostic::ERROR, t.from, t.to,
              "`" + std::string(t.word) + "` at line " + std::to_string(line) +
                  " is outside any `if ... then`");
        continue;
      }
      const Pair* p = closed_by(t.word);
      if (p == nullptr) continue;
      size_t k = stack.size();
      if (open_count[kind(p)] == 0)
        k = 0;
      else
        while (stack[k - 1].pair != p) k--;
      // Where the nearest opener is indented otherwise than this word and
      // one further out is indented alike, the closer of the blocks
      // between was lost, not this block's: say so of those.
      if (k > 0 && line_start(line) + indent_length(line) == t.from &&
          !same_indent(stack[k - 1].line, line))
        // Only a few blocks further out: a deep stack is not searched at
        // each closer.
        for (size_t m = k - 1; m > 0 && k - m <= kIndentSearch; m--)
          if (stack[m - 1].pair == p && same_indent(stack[m - 1].line, line)) {
            k = m;
            break;
          }
      if (k == 0) {
        // "end" closes a routine's begin and nothing else; without one open
        // it is no block word to judge.
        if (strcmp(p->close, "end") != 0)
          add(Diagnostic::ERROR, t.from, t.to,
              "`" + std::string(t.word) + "` at line " + std::to_string(line) + " closes no open " +
                  what(p));
        continue;
      }
      // Each block opened inside the one this word closes was left open.
      size_t at = line_start(line);
      for (size_t m = stack.size(); m > k; m--) {
        const Open& o = stack[m - 1];
        bool same = o.pair == p;
        std::string message =
            same
                ? what(o.pair) + " opened at line " + std::to_string(o.line) + " is not closed: `" +
                      o.pair->close + "` is missing before line " + std::to_string(line)
                : "`" + std::string(t.word) + "` at line " + std::to_string(line) + " closes " +
                      what(o.pair) + " opened at line " + std::to_string(o.line) + ": insert `" +
                      o.pair->close + "` before it";
        Diagnostic& d = same ? add(Diagnostic::ERROR, o.from, o.to, message)
                             : add(Diagnostic::ERROR, t.from, t.to, message);
        fix(d, o, at);
      }
      for (size_t m = k - 1; m < stack.size(); m++) open_count[kind(stack[m].pair)]--;
      stack.resize(k - 1);
    }
    // A comment that runs to the end hides the closers after its opener:
    // that comment is the one thing to tell.
    if (comment_to_end_) return;
    for (const Open& o : stack) {
      Diagnostic& d = add(Diagnostic::ERROR, o.from, o.to,
                          what(o.pair) + " opened at line " + std::to_string(o.line) +
                              " is never closed: `" + o.pair->close + "` is missing");
      fix(d, o, text_.size());
    }
  }

  // Whether the code at a and at b is built, or left out, together: the
  // same conditionals hold both, and none of them has other branches.
  bool built_together(size_t a, size_t b) const {
    for (const Conditional& c : conditionals_) {
      bool holds_a = c.from <= a && a < c.to, holds_b = c.from <= b && b < c.to;
      if (holds_a != holds_b || (holds_a && c.alternative)) return false;
    }
    return true;
  }
  bool in_alternative(size_t pos) const {
    for (const Conditional& c : conditionals_)
      if (c.alternative && c.from <= pos && pos < c.to) return true;
    return false;
  }

  // Where r's name stands in the text; npos when the outline and the text
  // disagree (an outline of another text).
  size_t name_position(const Routine& r) const {
    if (r.marked.first < 1 || (size_t)r.marked.first > line_starts_.size())
      return std::string::npos;
    size_t at = line_start(r.marked.first) + r.name_at;
    if (r.name.empty() || text_.compare(at, r.name.size(), r.name) != 0) return std::string::npos;
    return at;
  }

  // A routine defined twice in code built together. Names compare byte
  // for byte, as the plug-in's vocabulary compares words; a name qualified
  // with a '.' belongs to a library and is left alone.
  void twice_defined() {
    std::vector<std::pair<std::string, size_t>> defs;  // name, where it stands
    for (const Routine& r : *routines_) {
      size_t at = name_position(r);
      if (r.declaration || at == std::string::npos) continue;
      if (r.name_at > 0 && r.header[r.name_at - 1] == '.') continue;
      defs.emplace_back(r.name, at);
    }
    std::sort(defs.begin(), defs.end());
    for (size_t i = 0; i < defs.size();) {
      size_t e = i + 1;
      while (e < defs.size() && defs[e].first == defs[i].first) e++;
      for (size_t k = i + 1; k < e; k++)
        for (size_t m = i; m < k; m++) {
          if (!built_together(defs[m].second, defs[k].second)) continue;
          const std::string& name = defs[k].first;
          add(Diagnostic::ERROR, defs[k].second, defs[k].second + name.size(),
              "`" + name + "` is defined twice: at line " +
                  std::to_string(line_of(defs[m].second)) + " and at line " +
                  std::to_string(line_of(defs[k].second)));
          break;
        }
      i = e;
    }
  }

  // The definitions' bodies as byte ranges, in order; false when they
  // cannot be told apart: one without its closing "end;" in code, or two
  // that overlap.
  bool bodies(std::vector<std::pair<size_t, size_t>>* out) const {
    for (const Routine& r : *routines_) {
      if (r.declaration) continue;
      if (name_position(r) == std::string::npos || r.extent.last < r.extent.first ||
          (size_t)r.extent.last > line_starts_.size())
        return false;
      size_t indent = 0;
      while (indent < r.header.size() && (r.header[indent] == ' ' || r.header[indent] == '\t'))
        indent++;
      size_t end = line_start(r.extent.last) + indent;
      if (text_.compare(end, 3, "end") != 0 || !code(end)) return false;
      size_t to = (size_t)r.extent.last < line_starts_.size() ? line_start(r.extent.last + 1)
                                                              : text_.size();
      out->emplace_back(line_start(r.extent.first), to);
    }
    std::sort(out->begin(), out->end());
    for (size_t i = 1; i < out->size(); i++)
      if ((*out)[i].first < (*out)[i - 1].second) return false;
    return true;
  }

  static bool has_goto(const std::vector<Token>& tokens) {
    for (const Token& t : tokens)
      if (t.kind == TOK_WORD && t.word == "goto") return true;
    return false;
  }

  // Whether two lines could be headers of one name: lines that start, in
  // code, in the first column (where the plug-in marks headers) or with
  // "function", named as the outline names a header, reserved words and
  // prototypes aside. A superset of the outline's definitions, found without it.
  bool repeated_header_names() const {
    std::vector<std::string> names;
    for (size_t n = 0; n < line_starts_.size(); n++) {
      size_t s = line_starts_[n];
      size_t e = n + 1 < line_starts_.size() ? line_starts_[n + 1] : text_.size();
      size_t p = s;
      if (n == 0 && text_.compare(0, 3, "\xEF\xBB\xBF") == 0) p = 3;
      while (p < e && (text_[p] == ' ' || text_[p] == '\t')) p++;
      if (p >= e || !code(p) || text_[p] == '\r' || text_[p] == '\n' || text_[p] == '#') continue;
      auto starts = [&](const char* word, size_t len) {
        return text_.compare(p, len, word) == 0 && p + len < e &&
               !word_char((unsigned char)text_[p + len]);
      };
      // A prototype is always a declaration.
      if ((p > s && !starts("function", 8)) || starts("prototype", 9)) continue;
      std::string name = routine_name(text_.substr(s, e - s), nullptr);
      if (name.empty() || std::find(reserved_->begin(), reserved_->end(), name) != reserved_->end())
        continue;
      names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) != names.end();
  }

  static bool plain_name(std::string_view w) {
    if (w.empty() || (w[0] >= '0' && w[0] <= '9')) return false;
    for (char c : w)
      if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
        return false;
    return true;
  }

  // "goto NAME;" where nothing in the same routine body (or, outside every
  // body, nothing outside them) can be NAME's label. Any other use of the
  // word there counts as one, "case NAME:" aside: a macro may make the
  // label from it. Letter case is not told apart here.
  void gotos(const std::vector<Token>& tokens) {
    if (macro_may_label_) return;
    std::vector<std::pair<size_t, size_t>> body;
    if (!bodies(&body)) return;
    // The scope of a position: the body holding it, or body.size() when none.
    auto scope_of = [&](size_t pos) {
      auto it = std::upper_bound(body.begin(), body.end(), std::make_pair(pos, std::string::npos));
      if (it == body.begin() || pos >= (it - 1)->second) return body.size();
      return (size_t)(it - body.begin()) - 1;
    };
    auto blanks = [&](size_t a, size_t b) {
      for (size_t k = a; k < b; k++)
        if (text_[k] != ' ' && text_[k] != '\t') return false;
      return true;
    };
    std::vector<bool> unsure(body.size() + 1, false);  // a scope holding an #include
    for (size_t at : includes_) unsure[scope_of(at)] = true;

    struct Goto {
      size_t token, scope;
      std::string name;  // folded to lower case
    };
    std::vector<Goto> jumps;
    std::vector<std::string> names;
    for (size_t g = 0; g + 2 < tokens.size(); g++) {
      const Token &t = tokens[g], &n = tokens[g + 1], &semi = tokens[g + 2];
      if (t.kind != TOK_WORD || t.word != "goto" || cat(t.from) != CAT_KEYWORD) continue;
      if (n.kind != TOK_WORD || semi.kind != TOK_SEMI || !plain_name(n.word)) continue;
      if (!blanks(t.to, n.from) || !blanks(n.to, semi.from) || in_alternative(t.from)) continue;
      if (std::find(defined_.begin(), defined_.end(), n.word) != defined_.end()) continue;
      size_t scope = scope_of(t.from);
      if (unsure[scope]) continue;
      jumps.push_back({g + 1, scope, lower_of(n.word)});
      names.push_back(jumps.back().name);
    }
    if (jumps.empty()) return;
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    // Every word of the script is looked for among the names: most differ
    // in length from all of them, and the rest are compared folded in
    // place, so no word is copied unless it is one of them.
    uint64_t lengths = 0;  // bit n: some name is n bytes long (n < 64)
    for (const std::string& n : names) lengths |= n.size() < 64 ? (uint64_t)1 << n.size() : 0;
    auto folded_less = [](const std::string& lower, std::string_view word) {
      for (size_t i = 0; i < lower.size() && i < word.size(); i++) {
        char w = ascii_lower(word[i]);
        if (lower[i] != w) return (unsigned char)lower[i] < (unsigned char)w;
      }
      return lower.size() < word.size();
    };
    auto is_name = [&](std::string_view word) {
      if (word.size() >= 64 || (lengths & ((uint64_t)1 << word.size())) == 0) return false;
      auto it = std::partition_point(names.begin(), names.end(),
                                     [&](const std::string& n) { return folded_less(n, word); });
      // The first name not below the word: equal unless it is above it.
      return it != names.end() && it->size() == word.size() &&
             std::equal(it->begin(), it->end(), word.begin(),
                        [](char lower, char w) { return lower == ascii_lower(w); });
    };
    // The scopes in which each name has a possible label.
    std::vector<std::pair<size_t, std::string>> labelled;
    for (size_t k = 0; k < tokens.size(); k++) {
      const Token& t = tokens[k];
      if (t.kind != TOK_WORD || !is_name(t.word)) continue;
      if (k > 0 && tokens[k - 1].kind == TOK_WORD && tokens[k - 1].word == "goto") continue;
      std::string lower = lower_of(t.word);
      if (k > 0 && tokens[k - 1].word == "case") {
        size_t c = t.to;
        while (c < text_.size() && (text_[c] == ' ' || text_[c] == '\t')) c++;
        if (c < text_.size() && text_[c] == ':') continue;
      }
      labelled.emplace_back(scope_of(t.from), lower);
    }
    std::sort(labelled.begin(), labelled.end());
    for (const Goto& j : jumps) {
      if (std::binary_search(labelled.begin(), labelled.end(), std::make_pair(j.scope, j.name)))
        continue;
      const Token& n = tokens[j.token];
      add(Diagnostic::ERROR, n.from, n.to,
          "`goto " + std::string(n.word) + "` at line " + std::to_string(line_of(n.from)) +
              ": no label `" + std::string(n.word) + ":` " +
              (j.scope < body.size() ? "in its routine" : "outside the routines"));
    }
  }
};

}  // namespace

std::vector<Diagnostic> check_text(const std::string& text, const std::vector<signed char>& cats,
                                   const std::vector<Routine>* routines) {
  return Checker(text, cats, routines).run();
}

bool check_coloured(Document& doc, const std::string& text,
                    const std::vector<std::string>& reserved, std::vector<Diagnostic>* out,
                    std::string* error) {
  return check_coloured(doc, text, doc.categories(), reserved, out, error);
}

bool check_coloured(Document& doc, const std::string& text, const std::vector<signed char>& cats,
                    const std::vector<std::string>& reserved, std::vector<Diagnostic>* out,
                    std::string* error, std::optional<std::vector<Routine>>* made) {
  assert(text.size() == doc.size());
  std::optional<std::vector<Routine>> outline;
  bool failed = false;
  auto source = [&]() -> const std::vector<Routine>* {
    std::vector<LineSpan> marks;
    std::string message;
    if (!doc.routines(&marks, &message, error)) {
      failed = true;
      return nullptr;
    }
    outline = routine_outline(doc, text, cats, marks, reserved);
    return &*outline;
  };
  *out = Checker(text, cats, nullptr, &reserved, source).run();
  if (made != nullptr) *made = std::move(outline);
  return !failed;
}

bool check_document(Document& doc, const std::vector<std::string>& reserved,
                    std::vector<Diagnostic>* out, std::string* error) {
  if (!doc.colour_whole(error)) return false;
  return check_coloured(doc, doc.text(), reserved, out, error);
}

}  // namespace wyn
