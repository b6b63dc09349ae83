// The script checker: block words matched with a stack over the words of
// the code, and the comments and strings the plug-in coloured walked to
// find the one left open.
#include "diagnostics.h"

#include <assert.h>
#include <string.h>

#include <algorithm>

namespace wyn {

namespace {

// Bytes 128 and up count as word characters here: a block word glued to
// one is no block word, and taking it for one could raise a false alarm.
bool word_char(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '#' || c >= 128;
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

bool is_block_word_folded(const std::string& lower) {
  for (const Pair& p : pairs)
    if (lower == p.open || lower == p.close) return true;
  for (const char* w : other_block_words)
    if (lower == w) return true;
  return false;
}

std::string lower_of(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
  return out;
}

enum TokKind { TOK_WORD, TOK_SEMI };
struct Token {
  TokKind kind;
  size_t from, to;
  std::string word;  // TOK_WORD
};

struct Open {
  const Pair* pair;
  size_t from, to;
  long line;
};

class Checker {
 public:
  Checker(const std::string& text, const std::vector<signed char>& cats)
      : text_(text), cats_(cats) {
    line_starts_.push_back(0);
    for (size_t i = 0; i < text_.size(); i++)
      if (text_[i] == '\n') line_starts_.push_back(i + 1);
  }

  std::vector<Diagnostic> run() {
    comments();
    strings();
    blocks();
    std::stable_sort(out_.begin(), out_.end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.from < b.from; });
    return out_;
  }

 private:
  const std::string& text_;
  const std::vector<signed char>& cats_;
  std::vector<size_t> line_starts_;
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
  // The blanks a line starts with.
  std::string indent_of(long line) const {
    size_t s = line_start(line), e = s;
    while (e < text_.size() && (text_[e] == ' ' || text_[e] == '\t')) e++;
    return text_.substr(s, e - s);
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
    for (size_t i = 0; i < text_.size();) {
      if (cat(i) != category) {
        i++;
        continue;
      }
      size_t j = i;
      while (j < text_.size() && cat(j) == category) j++;
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
          if (!nested && text_.compare(j, 2, "/*") == 0) {
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
  // when the blocks cannot be checked with confidence.
  std::vector<Token> code_tokens(bool* unsure) const {
    std::vector<Token> out;
    // Open preprocessor conditionals: whether each has had an #else or
    // #elif, and whether a block word stands inside it.
    struct Cond {
      bool alternative = false, block_words = false;
    };
    std::vector<Cond> conds;
    auto close_cond = [&]() {
      if (conds.back().alternative && conds.back().block_words) *unsure = true;
      conds.pop_back();
    };
    long directive_line = 0;  // the line of the directive being read, 0 if none
    std::string directive;
    for (size_t i = 0; i < text_.size();) {
      unsigned char c = (unsigned char)text_[i];
      if (!code(i)) {
        i++;
        continue;
      }
      if (c == ';') {
        if (directive_line == 0) out.push_back({TOK_SEMI, i, i + 1, std::string()});
        i++;
        continue;
      }
      if (!word_char(c)) {
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
      std::string word = text_.substr(i, j - i);
      long line = line_of(i);
      if (directive_line == 0 && word[0] == '#' && preprocessor_line(line)) {
        directive_line = line;
        directive = word;
        if (word == "#if" || word == "#ifdef" || word == "#ifndef") {
          conds.emplace_back();
        } else if ((word == "#else" || word == "#elif") && !conds.empty()) {
          conds.back().alternative = true;
        } else if (word == "#endif" && !conds.empty()) {
          close_cond();
        }
      } else {
        std::string lower = lower_of(word);
        bool block = is_block_word_folded(lower);
        if (block) {
          // A block word in a macro's body, in another letter case than
          // the plug-in's vocabulary has it, or not coloured as a keyword
          // (a word the plug-in reads otherwise): the blocks are unsure.
          if (directive_line != 0 || lower != word || cat(i) != CAT_KEYWORD) *unsure = true;
          for (Cond& cond : conds) cond.block_words = true;
        }
        if (directive_line == 0) out.push_back({TOK_WORD, i, j, word});
      }
      i = j;
    }
    while (!conds.empty()) close_cond();
    return out;
  }

  static const Pair* opened_by(const std::string& w) {
    for (const Pair& p : pairs)
      if (w == p.open) return &p;
    return nullptr;
  }
  static const Pair* closed_by(const std::string& w) {
    for (const Pair& p : pairs)
      if (w == p.close) return &p;
    return nullptr;
  }

  // Whether the if (or elseif) at tokens[i] has its then before the end
  // of its statement: only "if ... then" opens a block.
  static bool has_then(const std::vector<Token>& tokens, size_t i) {
    for (size_t k = i + 1; k < tokens.size(); k++) {
      if (tokens[k].kind == TOK_SEMI) return false;
      const std::string& w = tokens[k].word;
      if (w == "then") return true;
      if (is_block_word_folded(w)) return false;
    }
    return false;
  }

  std::string what(const Pair* p) const {
    return std::string("`") + p->open + (strcmp(p->open, "if") == 0 ? " ... then`" : "`");
  }

  // An open block's closing word, to insert at byte at: on its own line,
  // indented as the line that opened the block.
  void fix(Diagnostic& d, const Open& o, size_t at) const {
    d.has_fix = true;
    d.fix_at = at;
    d.fix_text = indent_of(o.line) + o.pair->close +
                 (strcmp(o.pair->close, "until") == 0 ? " ();" : ";") + "\n";
    if (at > 0 && text_[at - 1] != '\n') d.fix_text.insert(0, "\n");
  }

  void blocks() {
    bool unsure = false;
    std::vector<Token> tokens = code_tokens(&unsure);
    if (unsure) return;
    std::vector<Open> stack;
    // How many blocks of each kind are open, so that a closer with none
    // open, or an else outside every if, costs no walk down the stack.
    size_t open_count[sizeof pairs / sizeof pairs[0]] = {};
    auto kind = [](const Pair* p) { return (size_t)(p - pairs); };
    for (size_t i = 0; i < tokens.size(); i++) {
      const Token& t = tokens[i];
      if (t.kind != TOK_WORD) continue;
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
              "`" + t.word + "` at line " + std::to_string(line) + " is outside any `if ... then`");
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
      std::string indent = indent_of(line);
      if (k > 0 && line_start(line) + indent.size() == t.from &&
          indent_of(stack[k - 1].line) != indent)
        // Only a few blocks further out: a deep stack is not searched at
        // each closer.
        for (size_t m = k - 1; m > 0 && k - m <= kIndentSearch; m--)
          if (stack[m - 1].pair == p && indent_of(stack[m - 1].line) == indent) {
            k = m;
            break;
          }
      if (k == 0) {
        // "end" closes a routine's begin and nothing else; without one open
        // it is no block word to judge.
        if (p->close != std::string("end"))
          add(Diagnostic::ERROR, t.from, t.to,
              "`" + t.word + "` at line " + std::to_string(line) + " closes no open " + what(p));
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
                : "`" + t.word + "` at line " + std::to_string(line) + " closes " + what(o.pair) +
                      " opened at line " + std::to_string(o.line) + ": insert `" + o.pair->close +
                      "` before it";
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
};

}  // namespace

std::vector<Diagnostic> check_text(const std::string& text, const std::vector<signed char>& cats) {
  return Checker(text, cats).run();
}

bool check_document(Document& doc, std::vector<Diagnostic>* out, std::string* error) {
  if (!doc.colour_whole(error)) return false;
  *out = check_text(doc.text(), doc.categories());
  return true;
}

}  // namespace wyn
