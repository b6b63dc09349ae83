// The re-indenter: the words of the code (what the plug-in did not colour
// comment or string) followed line by line with a stack of open blocks;
// each line that starts a statement is indented by the depth it stands at.
#include "format.h"

#include <assert.h>
#include <string.h>

#include "chars.h"

namespace wyn {

namespace {

// The words after which the plug-in's smart indent starts the new line one
// tab deeper (its own table, which it does not export), with the words that
// close them. repeat ... until and function ... begin are followed too: a
// script indents their bodies, and leaving them out would pull those
// bodies out to the level of the word.
enum Kind { K_IF, K_WHILE, K_FOR, K_SWITCH, K_CASE, K_BEGIN, K_PROGRAM, K_REPEAT, K_FUNCTION };
struct Closer {
  const char* word;
  Kind kind;
};
const Closer closers[] = {{"endif", K_IF},         {"endwhile", K_WHILE}, {"endfor", K_FOR},
                          {"endswitch", K_SWITCH}, {"end", K_BEGIN},      {"endprogram", K_PROGRAM},
                          {"until", K_REPEAT}};
struct Opener {
  const char* word;
  Kind kind;
};
const Opener openers[] = {{"while", K_WHILE},
                          {"for", K_FOR},
                          {"switch", K_SWITCH},
                          {"program", K_PROGRAM},
                          {"repeat", K_REPEAT}};
// Every word above and the ones that continue a block: a word among these
// in any other letter case makes the blocks unsure.
const char* const structure_words[] = {"if",         "then",      "else",  "elseif",  "endif",
                                       "while",      "endwhile",  "for",   "endfor",  "switch",
                                       "case",       "endswitch", "begin", "end",     "program",
                                       "endprogram", "repeat",    "until", "function"};

bool word_char(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '#' || c >= 128;
}

bool is_structure_word(const std::string& w) {
  for (const char* s : structure_words)
    if (w == s) return true;
  return false;
}

// A character after which a statement goes on to the next line.
bool continues(char c) {
  return strchr(",+-*/^&|=<>!\\", c) != nullptr;
}

struct Token {
  size_t from, to;
  long line;
  char ch;           // ';', '(', ')', ':' or 0 for a word
  std::string word;  // words only
};

// What each line is, before the nesting is followed.
struct LineInfo {
  size_t start = 0, lead_end = 0, end = 0;  // end: before its line break
  bool keep = false;                        // its indentation is left as it is
  bool comment_only = false;
  bool preprocessor = false;
  size_t first_token = 0, token_end = 0;  // its tokens
};

class Reindenter {
 public:
  Reindenter(const std::string& text, const std::vector<signed char>& cats, const IndentUnit& unit)
      : text_(text), cats_(cats), unit_(unit) {}

  bool run(long first, long last, std::vector<LineIndent>* out) {
    split_lines();
    mark_comments();
    if (!tokenize()) return false;
    long count = (long)lines_.size();
    if (last < 0 || last > count) last = count;
    if (first < 1) first = 1;
    bool open_statement = false;  // the line before ended inside a statement
    for (long n = 1; n <= count; n++) {
      LineInfo& li = lines_[(size_t)n - 1];
      if (li.preprocessor) continue;
      bool continuation = open_statement;
      long depth = (long)stack_.size();
      bool indent_here = !li.keep && !continuation && !label(li);
      if (li.first_token < li.token_end && !continuation) {
        const Token& t = tokens_[li.first_token];
        if (t.ch == 0 && !leading_depth(t, li, &depth)) return false;
      }
      for (size_t k = li.first_token; k < li.token_end; k++)
        if (!step(k)) return false;
      open_statement = statement_open(li);
      if (li.comment_only) {
        // A comment in the first column stays there (banners, code
        // commented out); one indented goes with the code around it.
        indent_here = !li.keep && !continuation && li.lead_end > li.start;
      }
      if (!indent_here || n < first || n > last) continue;
      std::string want = unit_.render(depth * unit_.columns());
      if (text_.compare(li.start, li.lead_end - li.start, want) != 0)
        out->push_back(LineIndent{n, li.start, li.lead_end, want});
    }
    return stack_.empty();
  }

 private:
  const std::string& text_;
  const std::vector<signed char>& cats_;
  const IndentUnit& unit_;
  std::vector<LineInfo> lines_;
  std::vector<Token> tokens_;
  std::vector<Kind> stack_;
  int parens_ = 0;
  bool if_header_ = false;  // an if or elseif waits for its then

  signed char cat(size_t i) const { return i < cats_.size() ? cats_[i] : (signed char)CAT_NONE; }
  bool code(size_t i) const { return cat(i) != CAT_COMMENT && cat(i) != CAT_STRING; }

  void split_lines() {
    size_t s = 0;
    for (;;) {
      LineInfo li;
      li.start = s;
      size_t nl = text_.find('\n', s);
      size_t e = nl == std::string::npos ? text_.size() : nl;
      li.end = e;
      while (li.end > s && text_[li.end - 1] == '\r') li.end--;
      li.lead_end = s;
      while (li.lead_end < li.end && (text_[li.lead_end] == ' ' || text_[li.lead_end] == '\t'))
        li.lead_end++;
      li.keep = li.lead_end == li.end;  // blank lines keep what they have
      lines_.push_back(li);
      if (nl == std::string::npos) break;
      s = nl + 1;
    }
  }

  size_t line_of(size_t pos) const {
    size_t lo = 0, hi = lines_.size();
    while (hi - lo > 1) {
      size_t mid = (lo + hi) / 2;
      if (lines_[mid].start <= pos)
        lo = mid;
      else
        hi = mid;
    }
    return lo;
  }

  // Lines that lie in a block comment past its first line, or open one
  // that goes on past its line, keep their indentation; a line that is
  // nothing but comment is marked so.
  void mark_comments() {
    for (size_t i = 0; i < text_.size();) {
      if (cat(i) != CAT_COMMENT) {
        i++;
        continue;
      }
      size_t end = i;
      if (text_.compare(i, 2, "/*") == 0) {
        // The first '/' after the opener that follows a '*' closes it.
        size_t j = i + 2;
        while (j < text_.size() && !(text_[j] == '/' && text_[j - 1] == '*')) j++;
        end = j < text_.size() ? j + 1 : j;
      } else {
        while (end < text_.size() && cat(end) == CAT_COMMENT && text_[end] != '\n') end++;
      }
      size_t a = line_of(i), b = line_of(end > i ? end - 1 : i);
      LineInfo& first = lines_[a];
      if (first.lead_end == i) first.comment_only = true;
      if (b > a) {
        if (first.lead_end == i) first.keep = true;
        for (size_t k = a + 1; k <= b; k++) lines_[k].keep = true;
      }
      i = end > i ? end : i + 1;
    }
    for (LineInfo& li : lines_)
      if (li.comment_only) {
        // Code after the comment's end on the same line makes it code.
        size_t k = li.lead_end;
        while (k < li.end && (!code(k) || text_[k] == ' ' || text_[k] == '\t')) k++;
        if (k < li.end) li.comment_only = false;
      }
  }

  // The tokens of the code, each line's noted; false when a block word is
  // written so that the plug-in would not read it as one.
  bool tokenize() {
    bool macro_goes_on = false;  // the line before ended a directive's line with '\'
    for (size_t n = 0; n < lines_.size(); n++) {
      LineInfo& li = lines_[n];
      li.first_token = tokens_.size();
      li.preprocessor =
          macro_goes_on || (li.lead_end < li.end && text_[li.lead_end] == '#' && code(li.lead_end));
      macro_goes_on = li.preprocessor && li.end > li.start && text_[li.end - 1] == '\\';
      for (size_t i = li.lead_end; i < li.end;) {
        unsigned char c = (unsigned char)text_[i];
        if (!code(i)) {
          i++;
          continue;
        }
        if (c == ';' || c == '(' || c == ')' || c == ':') {
          tokens_.push_back(Token{i, i + 1, (long)n + 1, (char)c, std::string()});
          i++;
          continue;
        }
        if (!word_char(c)) {
          i++;
          continue;
        }
        size_t j = i;
        while (j < li.end && word_char((unsigned char)text_[j]) && code(j)) j++;
        std::string word = text_.substr(i, j - i);
        std::string lower = lower_of(word);
        if (is_structure_word(lower) && (lower != word || cat(i) != CAT_KEYWORD || li.preprocessor))
          return false;
        tokens_.push_back(Token{i, j, (long)n + 1, 0, std::move(word)});
        i = j;
      }
      li.token_end = tokens_.size();
      if (li.preprocessor) {
        if (!conditional(li)) return false;
        li.token_end = li.first_token;  // conditional took them out
      }
    }
    return true;
  }

  // Preprocessor conditionals: a block word in a conditional that has an
  // alternative branch means the blocks read two ways.
  struct Cond {
    bool alternative = false;
    size_t tokens_at = 0;
  };
  std::vector<Cond> conds_;
  bool conditional(const LineInfo& li) {
    if (li.first_token == li.token_end) return true;
    std::string w = tokens_[li.first_token].word;
    // The directive's own tokens are not code.
    tokens_.resize(li.first_token);
    if (w == "#if" || w == "#ifdef" || w == "#ifndef") {
      conds_.push_back(Cond{false, tokens_.size()});
    } else if ((w == "#else" || w == "#elif") && !conds_.empty()) {
      conds_.back().alternative = true;
    } else if (w == "#endif" && !conds_.empty()) {
      Cond c = conds_.back();
      conds_.pop_back();
      if (c.alternative)
        for (size_t k = c.tokens_at; k < tokens_.size(); k++)
          if (tokens_[k].ch == 0 && is_structure_word(tokens_[k].word)) return false;
    }
    return true;
  }

  // Whether the if at token k has its then before its statement ends.
  bool has_then(size_t k) const {
    for (size_t m = k + 1; m < tokens_.size(); m++) {
      if (tokens_[m].ch == ';') return false;
      if (tokens_[m].word == "then") return true;
      if (is_structure_word(tokens_[m].word)) return false;
    }
    return false;
  }

  bool top(Kind k) const { return !stack_.empty() && stack_.back() == k; }
  bool is_case_label(size_t k) const {
    const Token& t = tokens_[k];
    if (t.word == "case") return true;
    return t.word == "default" && k + 1 < tokens_.size() && tokens_[k + 1].ch == ':' &&
           (top(K_SWITCH) || top(K_CASE));
  }

  // The depth of a line that starts with word t: closers and the words
  // that continue a block stand at the level of its opener. False when
  // the word closes no block open here.
  bool leading_depth(const Token& t, const LineInfo& li, long* depth) const {
    long size = (long)stack_.size();
    const std::string& w = t.word;
    for (const Closer& c : closers)
      if (w == c.word) {
        if (c.kind == K_SWITCH && top(K_CASE)) {
          *depth = size - 2;
          return size >= 2 && stack_[(size_t)size - 2] == K_SWITCH;
        }
        *depth = size - 1;
        return top(c.kind);
      }
    if (w == "else" || w == "elseif") {
      *depth = size - 1;
      return top(K_IF);
    }
    if (is_case_label(li.first_token)) *depth = top(K_CASE) ? size - 1 : size;
    if (w == "begin" && top(K_FUNCTION)) *depth = size - 1;
    return true;
  }

  // Follows token k's effect on the open blocks; false on a word that
  // closes a block not open.
  bool step(size_t k) {
    const Token& t = tokens_[k];
    switch (t.ch) {
      case ';':
        if (parens_ == 0) if_header_ = false;
        return true;
      case '(':
        parens_++;
        return true;
      case ')':
        if (parens_ > 0) parens_--;
        return true;
      case ':':
        return true;
      default:
        break;
    }
    const std::string& w = t.word;
    if (w == "if" || w == "elseif") {
      if (w == "elseif" && !top(K_IF)) return false;
      bool block = has_then(k);
      if (w == "if" && block) stack_.push_back(K_IF);
      if_header_ = block;
      return true;
    }
    if (w == "then") {
      if_header_ = false;
      return true;
    }
    if (w == "else") return top(K_IF);
    for (const Opener& o : openers)
      if (w == o.word) {
        stack_.push_back(o.kind);
        return true;
      }
    if (is_case_label(k)) {
      if (top(K_CASE)) stack_.pop_back();
      if (!top(K_SWITCH)) return false;
      stack_.push_back(K_CASE);
      return true;
    }
    if (w == "begin") {
      if (top(K_FUNCTION)) stack_.pop_back();
      stack_.push_back(K_BEGIN);
      return true;
    }
    if (w == "function") {
      if (!stack_.empty()) return false;  // routines do not nest
      // A header whose list is followed by ';' declares the routine.
      size_t m = k + 1;
      while (m < tokens_.size() && tokens_[m].ch != '(' && tokens_[m].ch != ';') m++;
      int depth = 0;
      for (; m < tokens_.size(); m++) {
        if (tokens_[m].ch == '(') depth++;
        if (tokens_[m].ch == ')' && --depth == 0) break;
        if (tokens_[m].ch == ';') break;
      }
      bool declaration =
          m < tokens_.size() &&
          (tokens_[m].ch == ';' || (m + 1 < tokens_.size() && tokens_[m + 1].ch == ';'));
      if (!declaration) stack_.push_back(K_FUNCTION);
      return true;
    }
    for (const Closer& c : closers)
      if (w == c.word) {
        if (c.kind == K_SWITCH && top(K_CASE)) stack_.pop_back();
        if (!top(c.kind)) return false;
        stack_.pop_back();
        return true;
      }
    return true;
  }

  // A line that is a label and nothing else ("done:") keeps its place.
  bool label(const LineInfo& li) const {
    if (li.token_end - li.first_token != 2) return false;
    const Token& a = tokens_[li.first_token];
    const Token& b = tokens_[li.first_token + 1];
    return a.ch == 0 && b.ch == ':' && a.word != "case" && a.word != "default";
  }

  // Whether the statement on li goes on to the next line: a parenthesis
  // open, an if still waiting for its then, or a last character that
  // needs more after it.
  bool statement_open(const LineInfo& li) const {
    if (parens_ > 0 || if_header_) return true;
    for (size_t k = li.end; k > li.lead_end; k--)
      if (code(k - 1) && text_[k - 1] != ' ' && text_[k - 1] != '\t')
        return continues(text_[k - 1]);
    return false;
  }
};

}  // namespace

std::string IndentUnit::render(long cols) const {
  std::string out;
  if (cols <= 0) return out;
  if (tabs && tab_width > 0) out.assign((size_t)(cols / tab_width), '\t');
  out.append((size_t)(tabs && tab_width > 0 ? cols % tab_width : cols), ' ');
  return out;
}

long IndentUnit::width(const std::string& indent) const {
  long cols = 0;
  for (char c : indent)
    cols = c == '\t' && tab_width > 0 ? (cols / tab_width + 1) * tab_width : cols + 1;
  return cols;
}

bool parse_indent_unit(const std::string& text, IndentUnit* out) {
  IndentUnit unit;
  if (text == "tab") {
    *out = unit;
    return true;
  }
  if (text.empty() || text.size() > 2) return false;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n < 1 || n > 16) return false;
  unit.tabs = false;
  unit.size = n;
  *out = unit;
  return true;
}

std::string plugin_indent_in_unit(const std::string& above, const std::string& got,
                                  const IndentUnit& unit) {
  // A unit of one tab is the plug-in's own: what it put stands.
  if (got != above + "\t" || (unit.tabs && unit.columns() == unit.tab_width)) return got;
  return unit.render(unit.width(above) + unit.columns());
}

FormatResult format_text(const std::string& text, const std::vector<signed char>& cats,
                         const IndentUnit& unit, long first, long last) {
  FormatResult result;
  for (Diagnostic& d : check_text(text, cats))
    if (d.severity == Diagnostic::ERROR) result.problems.push_back(std::move(d));
  if (!result.problems.empty()) return result;
  Reindenter r(text, cats, unit);
  if (!r.run(first, last, &result.changes)) {
    result.changes.clear();
    result.unsure = true;
  }
  return result;
}

std::string apply_indents(const std::string& text, const std::vector<LineIndent>& changes) {
  std::string out;
  out.reserve(text.size());
  size_t at = 0;
  for (const LineIndent& c : changes) {
    assert(c.from >= at && c.from <= c.to && c.to <= text.size());  // in order, from this text
    out.append(text, at, c.from - at);
    out += c.indent;
    at = c.to;
  }
  out.append(text, at, std::string::npos);
  return out;
}

bool format_document(Document& doc, const IndentUnit& unit, long first, long last,
                     FormatResult* out, std::string* error) {
  if (!doc.colour_whole(error)) return false;
  *out = format_text(doc.text(), doc.categories(), unit, first, last);
  return true;
}

}  // namespace wyn
