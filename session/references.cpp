// The uses of a name: the code's words and punctuation read once into
// tokens, the routines' scopes and the declaration lists found among them,
// then each word with the name classified by where it stands.
#include "references.h"

#include <assert.h>
#include <string.h>

#include <algorithm>

#include "session.h"

namespace wyn {

namespace {

bool is_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool is_word_char(char c) {
  return is_letter(c) || (c >= '0' && c <= '9');
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// The type words a declaration list starts with, as the plug-in's tables
// spell them.
const char* const kTypeWords[] = {"STRING", "string", "NUMBER", "number",  "BOOL",   "LIST",
                                  "INT",    "int",    "CHAR",   "char",    "LONG",   "long",
                                  "SHORT",  "short",  "HWND",   "POINTER", "pointer"};

// Words after which a new statement starts on the same line.
const char* const kStatementOpeners[] = {"begin", "then", "else", "repeat", "program", "for"};

}  // namespace

bool is_identifier(const std::string& word) {
  if (word.empty() || !is_letter(word[0])) return false;
  return std::all_of(word.begin(), word.end(), is_word_char);
}

NameMap::NameMap(const std::string& text, const std::vector<signed char>& cats,
                 const std::vector<RoutinePlace>& routines)
    : text_(text) {
  tokenise(cats);
  read_scopes(routines);
}

// Words ("#define" with its '#') and single characters of punctuation,
// outside comments and strings.
void NameMap::tokenise(const std::vector<signed char>& cats) {
  auto cat_at = [&](size_t i) -> signed char {
    return i < cats.size() ? cats[i] : (signed char)CAT_NONE;
  };
  int depth = 0;
  for (size_t i = 0; i < text_.size();) {
    signed char cat = cat_at(i);
    char c = text_[i];
    if (cat == CAT_COMMENT || cat == CAT_STRING || is_space(c)) {
      i++;
      continue;
    }
    size_t e = i + 1;
    if (is_word_char(c) || (c == '#' && e < text_.size() && is_letter(text_[e]))) {
      while (e < text_.size() && is_word_char(text_[e]) && cat_at(e) != CAT_COMMENT &&
             cat_at(e) != CAT_STRING)
        e++;
    } else if (c == ')' && depth > 0) {
      depth--;
    } else if (c == ';') {
      depth = 0;
    }
    tokens_.push_back(Token{i, e, cat, depth});
    if (c == '(') depth++;
    i = e;
  }
}

bool NameMap::is_name(size_t k) const {
  assert(k < tokens_.size());
  return tokens_[k].cat == CAT_NONE && is_letter(text_[tokens_[k].start]);
}

bool NameMap::is_word(size_t k, const char* word) const {
  if (k >= tokens_.size()) return false;
  const Token& t = tokens_[k];
  size_t n = strlen(word);
  return t.end - t.start == n && text_.compare(t.start, n, word) == 0;
}

bool NameMap::is_char(size_t k, char c) const {
  return k < tokens_.size() && tokens_[k].end - tokens_[k].start == 1 &&
         text_[tokens_[k].start] == c;
}

std::string NameMap::word(size_t k) const {
  assert(k < tokens_.size());
  return text_.substr(tokens_[k].start, tokens_[k].end - tokens_[k].start);
}

size_t NameMap::token_at(size_t pos) const {
  auto it = std::lower_bound(tokens_.begin(), tokens_.end(), pos,
                             [](const Token& t, size_t p) { return t.end < p; });
  return (size_t)(it - tokens_.begin());
}

// First on its line, or after what ends a statement or opens a block.
bool NameMap::starts_statement(size_t k) const {
  assert(k < tokens_.size());
  if (k == 0) return true;
  const Token& prev = tokens_[k - 1];
  if (is_char(k - 1, ';') || is_char(k - 1, ':')) return true;
  if (prev.cat == CAT_KEYWORD)
    for (const char* w : kStatementOpeners)
      if (is_word(k - 1, w)) return true;
  if (tokens_[k].depth != 0 || is_word(k - 1, "case")) return false;
  return memchr(text_.data() + prev.end, '\n', tokens_[k].start - prev.end) != nullptr;
}

void NameMap::read_scopes(const std::vector<RoutinePlace>& routines) {
  std::vector<bool> inside(tokens_.size(), false);  // in a body's scope or a prototype's list
  for (size_t r = 0; r < routines.size(); r++) {
    const RoutinePlace& place = routines[r];
    assert(place.start <= place.end && place.end <= text_.size());
    size_t k = token_at(place.name_start);
    if (k >= tokens_.size() || tokens_[k].start != place.name_start) continue;
    declared_.push_back(k);
    // The parameter list: from the '(' after the name to its ')'.
    size_t open = k + 1, close = open;
    if (is_char(open, '(')) {
      for (close = open + 1; close < tokens_.size() && tokens_[close].start < place.end; close++)
        if (is_char(close, ')') && tokens_[close].depth == tokens_[open].depth) break;
    }
    if (place.declaration) {
      // A prototype's list holds types, and maybe names that stand for
      // nothing outside it.
      for (size_t i = open; i < close && i < tokens_.size(); i++) skipped_.push_back(i);
      continue;
    }
    Scope scope{place.start, place.end, (long)r, {}, place.name_start};
    for (size_t i = open + 1; i < close && i < tokens_.size(); i++)
      if (is_name(i)) {
        scope.locals.push_back(word(i));
        declared_.push_back(i);
      }
    size_t begin = close + 1;
    while (begin < tokens_.size() && tokens_[begin].start < place.end &&
           !(is_word(begin, "begin") && tokens_[begin].cat == CAT_KEYWORD))
      begin++;
    if (begin < tokens_.size() && tokens_[begin].start < place.end)
      read_declarations(close + 1, begin, &scope);
    std::sort(scope.locals.begin(), scope.locals.end());
    for (size_t i = token_at(place.start); i < tokens_.size() && tokens_[i].start < place.end; i++)
      inside[i] = true;
    scopes_.push_back(std::move(scope));
  }
  for (size_t s : skipped_) inside[s] = true;
  // Declarations outside every routine are global; read them a run of
  // outside tokens at a time.
  for (size_t k = 0; k < tokens_.size();) {
    if (inside[k]) {
      k++;
      continue;
    }
    size_t e = k;
    while (e < tokens_.size() && !inside[e]) e++;
    read_declarations(k, e, nullptr);
    k = e;
  }
  std::sort(scopes_.begin(), scopes_.end(),
            [](const Scope& a, const Scope& b) { return a.start < b.start; });
  std::sort(declared_.begin(), declared_.end());
  std::sort(skipped_.begin(), skipped_.end());
}

// Declaration lists among tokens [from, to): a type word, or a name (a
// type of the script's own) then a name, at the start of a statement, and
// the names after it separated by commas; and "#define NAME".
void NameMap::read_declarations(size_t from, size_t to, Scope* scope) {
  assert(from <= to && to <= tokens_.size());
  for (size_t k = from; k < to; k++) {
    if (is_word(k, "#define") && k + 1 < to && is_name(k + 1)) {
      declared_.push_back(k + 1);
      continue;
    }
    if (!starts_statement(k) || tokens_[k].depth != 0) continue;
    bool typed = false;
    if (tokens_[k].cat == CAT_KEYWORD)
      for (const char* w : kTypeWords) typed = typed || is_word(k, w);
    if (!typed && !(is_name(k) && k + 1 < to && is_name(k + 1))) continue;
    // name [ [size] ] { , name [ [size] ] } up to anything else
    size_t i = k + 1;
    while (i < to && is_name(i)) {
      declared_.push_back(i);
      if (scope != nullptr) scope->locals.push_back(word(i));
      i++;
      if (is_char(i, '[')) {
        while (i < to && !is_char(i, ']')) i++;
        i++;
      }
      if (!is_char(i, ',')) break;
      i++;
    }
    k = i > k ? i - 1 : k;
  }
}

const NameMap::Scope* NameMap::scope_of(size_t pos) const {
  auto it = std::upper_bound(scopes_.begin(), scopes_.end(), pos,
                             [](size_t p, const Scope& s) { return p < s.start; });
  if (it == scopes_.begin()) return nullptr;
  --it;
  return pos < it->end ? &*it : nullptr;
}

NameSymbol NameMap::classify(size_t k) const {
  assert(k < tokens_.size() && is_name(k));
  NameSymbol s;
  if (std::binary_search(skipped_.begin(), skipped_.end(), k)) return s;  // no symbol
  s.name = word(k);
  const Scope* scope = scope_of(tokens_[k].start);
  bool label_def = is_char(k + 1, ':') && starts_statement(k) && tokens_[k].depth == 0;
  if ((k > 0 && is_word(k - 1, "goto")) || label_def) {
    s.label = true;
    s.routine = scope ? scope->routine : -1;
    return s;
  }
  if (scope != nullptr && tokens_[k].start != scope->name_start &&
      std::binary_search(scope->locals.begin(), scope->locals.end(), s.name))
    s.routine = scope->routine;
  return s;
}

bool NameMap::symbol_at(size_t pos, NameSymbol* out, size_t* start, size_t* end) const {
  size_t k = token_at(pos);
  // Just after a name and just before something else: the name.
  if (k < tokens_.size() && tokens_[k].end == pos && !is_name(k) && k + 1 < tokens_.size() &&
      tokens_[k + 1].start == pos)
    k++;
  if (k >= tokens_.size() || tokens_[k].start > pos || !is_name(k)) return false;
  NameSymbol s = classify(k);
  if (s.name.empty()) return false;
  *out = std::move(s);
  if (start) *start = tokens_[k].start;
  if (end) *end = tokens_[k].end;
  return true;
}

std::vector<NameUse> NameMap::uses(const NameSymbol& symbol) const {
  std::vector<NameUse> out;
  const std::string& name = symbol.name;
  for (size_t k = 0; k < tokens_.size(); k++) {
    const Token& t = tokens_[k];
    if (t.end - t.start != name.size() || text_.compare(t.start, name.size(), name) != 0 ||
        !is_name(k))
      continue;
    NameSymbol s = classify(k);
    if (s.name.empty() || s.label != symbol.label || s.routine != symbol.routine) continue;
    NameUse use{t.start, t.end, false, false};
    use.declaration = std::binary_search(declared_.begin(), declared_.end(), k) ||
                      (s.label && is_char(k + 1, ':'));
    // "name = ..." as a statement; "==" and a '=' in a condition compare.
    if (!use.declaration && !s.label && is_char(k + 1, '=') && t.depth == 0 &&
        starts_statement(k)) {
      size_t after = tokens_[k + 1].end;
      use.write = after >= text_.size() || text_[after] != '=';
    }
    out.push_back(use);
  }
  return out;
}

}  // namespace wyn
