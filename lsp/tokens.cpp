// Semantic tokens: from categories to runs, runs to the encoded array, and
// the one edit that brings the client's last array up to date.
#include "tokens.h"

#include <string.h>

#include <algorithm>
#include <type_traits>
#include <utility>

#include "jsonw.h"
#include "session.h"

namespace wyn::lsp {

const char* const token_types[TOK_TYPE_COUNT] = {"comment", "string",   "number",  "operator",
                                                 "keyword", "function", "variable"};
const char* const token_modifiers[2] = {"readonly", "defaultLibrary"};

uint32_t token_modifiers_of(uint8_t type) {
  if (type == TOK_FUNCTION) return MOD_DEFAULT_LIBRARY;
  if (type == TOK_VARIABLE) return MOD_READONLY | MOD_DEFAULT_LIBRARY;
  return 0;
}

int token_type_of_category(int category) {
  switch (category) {
    case CAT_COMMENT:
      return TOK_COMMENT;
    case CAT_CONSTANT:
      return TOK_VARIABLE;
    case CAT_KEYWORD:
      return TOK_KEYWORD;
    case CAT_FUNCTION:
      return TOK_FUNCTION;
    case CAT_STRING:
      return TOK_STRING;
    case CAT_NUMBER:
      return TOK_NUMBER;
    case CAT_OPERATOR:
      return TOK_OPERATOR;
    default:
      return -1;
  }
}

namespace {

// token_type_of_category for every byte a category may be stored in.
struct TypeOfCategory {
  signed char type[256];
  TypeOfCategory() {
    for (int c = 0; c < 256; c++) type[c] = (signed char)token_type_of_category((signed char)c);
  }
};

// Where the run of category cat starting at i ends (at most n). Runs are
// mostly a few bytes long, so the end is found eight bytes at a time from
// the first byte that differs, rather than by a loop whose exit the
// processor cannot guess.
size_t run_end(const signed char* cats, size_t i, size_t n, signed char cat) {
  const uint64_t same = 0x0101010101010101ull * (unsigned char)cat;
  for (; i + 8 <= n; i += 8) {
    uint64_t c;
    memcpy(&c, cats + i, 8);
    uint64_t diff = c ^ same;
    if (diff == 0) continue;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return i + ((unsigned)__builtin_ctzll(diff) >> 3);
#else
    break;
#endif
  }
  while (i < n && cats[i] == cat) i++;
  return i;
}

// Whether text[from, to) holds a byte from 128 up.
bool any_high(std::string_view text, size_t from, size_t to) {
  uint64_t gathered = 0;
  size_t i = from;
  for (; i + 8 <= to; i += 8) {
    uint64_t t;
    memcpy(&t, text.data() + i, 8);
    gathered |= t;
  }
  unsigned char tail = 0;
  for (; i < to; i++) tail |= (unsigned char)text[i];
  return (gathered & 0x8080808080808080ull) != 0 || tail >= 0x80;
}

}  // namespace

uint32_t line_tokens(std::string_view text, size_t from, size_t to, const signed char* cats,
                     Encoding enc, std::vector<Token>* out) {
  static const TypeOfCategory types;
  size_t before = out->size();
  // A line of ASCII counts one unit a byte in every encoding.
  bool bytes_are_units = enc == Encoding::Utf8 || !any_high(text, from, to);
  uint32_t column = 0;  // client units from the line's start to byte i
  size_t i = from;
  while (i < to) {
    signed char cat = cats[i - from];
    // A run ends where the category changes; a character's bytes share the
    // category of its first byte, so a run never splits one.
    size_t j = from + run_end(cats, i - from, to - from, cat);
    uint32_t units = bytes_are_units ? (uint32_t)(j - i) : units_between(text, i, j, enc);
    int type = types.type[(unsigned char)cat];
    for (uint32_t left = units, at = column; type >= 0 && left > 0;) {
      uint32_t n = left < Token::kMaxLength ? left : Token::kMaxLength;
      out->push_back(Token(at, n, (uint8_t)type));
      at += n, left -= n;
    }
    column += units;
    i = j;
  }
  return (uint32_t)(out->size() - before);
}

void TokenStore::clear(uint32_t lines) {
  tokens_.clear();
  first_.assign((size_t)lines + 1, 0);
  pending_ = false;
  dirty_a_ = dirty_b_ = sent_count_ = 0;
}

void TokenStore::replace(uint32_t a, uint32_t b, const std::vector<Token>& flat,
                         const std::vector<uint32_t>& counts) {
  replace_lines(a, b, flat, counts);
}

void TokenStore::replace(uint32_t a, uint32_t b, std::vector<Token>&& flat,
                         const std::vector<uint32_t>& counts) {
  replace_lines(a, b, std::move(flat), counts);
}

template <class Flat>
void TokenStore::replace_lines(uint32_t a, uint32_t b, Flat&& flat,
                               const std::vector<uint32_t>& counts) {
  uint32_t now_in_ab = first_[b] - first_[a];
  if (!pending_) {
    pending_ = true;
    dirty_a_ = a, dirty_b_ = b, sent_count_ = now_in_ab;
  } else {
    // Tokens outside the dirty lines are still as the client has them.
    uint32_t ua = std::min(dirty_a_, a), ub = std::max(dirty_b_, b);
    sent_count_ += (first_[ub] - first_[ua]) - (first_[dirty_b_] - first_[dirty_a_]);
    dirty_a_ = ua, dirty_b_ = ub;
  }
  dirty_b_ = dirty_b_ - (b - a) + (uint32_t)counts.size();

  int64_t grow = (int64_t)flat.size() - (int64_t)now_in_ab;  // before flat may be moved
  if (flat.size() == now_in_ab) {
    std::copy(flat.begin(), flat.end(), tokens_.begin() + first_[a]);
  } else if (std::is_rvalue_reference<Flat&&>::value && tokens_.empty()) {
    tokens_ = std::move(flat);  // what an insert into nothing would copy
  } else {
    tokens_.erase(tokens_.begin() + first_[a], tokens_.begin() + first_[b]);
    tokens_.insert(tokens_.begin() + first_[a], flat.begin(), flat.end());
  }
  uint32_t at = first_[a];
  if (counts.size() == b - a) {  // as many lines: starts rewritten in place
    for (size_t k = 0; k < counts.size(); k++) first_[a + k] = at, at += counts[k];
  } else {
    std::vector<uint32_t> starts(counts.size());
    for (size_t k = 0; k < counts.size(); k++) starts[k] = at, at += counts[k];
    first_.erase(first_.begin() + a, first_.begin() + b);
    first_.insert(first_.begin() + a, starts.begin(), starts.end());
  }
  if (grow != 0)
    for (size_t k = a + counts.size(); k < first_.size(); k++)
      first_[k] = (uint32_t)((int64_t)first_[k] + grow);
}

void TokenStore::replace(uint32_t a, uint32_t b, const std::vector<std::vector<Token>>& lines) {
  std::vector<Token> flat;
  std::vector<uint32_t> counts;
  for (const auto& line : lines) {
    flat.insert(flat.end(), line.begin(), line.end());
    counts.push_back((uint32_t)line.size());
  }
  replace(a, b, std::move(flat), counts);
}

bool TokenStore::line_equals(uint32_t line, const Token* tokens, size_t n) const {
  const Token* p = line_begin(line);
  if ((size_t)(line_end(line) - p) != n) return false;
  for (size_t i = 0; i < n; i++)
    if (p[i].start != tokens[i].start || p[i].packed != tokens[i].packed) return false;
  return true;
}

uint32_t TokenStore::line_of_token(size_t index) const {
  // The last line whose first token is at or before index and which holds it.
  auto it = std::upper_bound(first_.begin(), first_.end(), (uint32_t)index);
  return (uint32_t)(it - first_.begin() - 1);
}

void TokenStore::append_encoded(size_t from, size_t to, std::vector<uint32_t>* out) const {
  if (from >= to) return;
  uint32_t line = line_of_token(from);
  uint32_t prev_line = 0, prev_start = 0;
  if (from > 0) {
    prev_line = line_of_token(from - 1);
    prev_start = tokens_[from - 1].start;
  }
  for (size_t i = from; i < to; i++) {
    while (first_[line + 1] <= i) line++;
    const Token& t = tokens_[i];
    uint32_t dl = line - prev_line;
    uint32_t ds = dl == 0 ? t.start - prev_start : t.start;
    out->insert(out->end(), {dl, ds, t.length(), (uint32_t)t.type(), token_modifiers_of(t.type())});
    prev_line = line, prev_start = t.start;
  }
}

void TokenStore::encode(uint32_t a, uint32_t b, std::string* out) const {
  // A range answer counts its first token from the document's start, as a
  // full one does; so the array is written as if nothing came before.
  if (b > line_count()) b = line_count();
  size_t from = a < b ? first_[a] : 0, to = a < b ? first_[b] : 0;
  // Written through a small buffer: sizing the string for the longest
  // numbers up front would clear megabytes that are then cut away.
  out->reserve(out->size() + 2 + (to - from) * 12);
  char buf[16384];
  const size_t kToken = 5 * 11;  // five 10-digit numbers and their commas
  char* p = buf;
  *p++ = '[';
  uint32_t prev_line = 0, prev_start = 0;
  uint32_t line = a;
  for (size_t i = from; i < to; i++) {
    while (first_[line + 1] <= i) line++;
    const Token& t = tokens_[i];
    uint32_t dl = line - prev_line;
    if ((size_t)(buf + sizeof buf - p) < kToken + 1) {
      out->append(buf, (size_t)(p - buf));
      p = buf;
    }
    p = put_uint(p, dl);
    *p++ = ',';
    p = put_uint(p, dl == 0 ? t.start - prev_start : t.start);
    *p++ = ',';
    p = put_uint(p, t.length());
    *p++ = ',';
    p = put_uint(p, t.type());
    *p++ = ',';
    p = put_uint(p, token_modifiers_of(t.type()));
    *p++ = ',';
    prev_line = line, prev_start = t.start;
  }
  if (to > from) p--;  // the last comma
  *p++ = ']';
  out->append(buf, (size_t)(p - buf));
}

TokenEdit TokenStore::take_edit() {
  TokenEdit edit;
  if (!pending_) return edit;
  size_t from = first_[dirty_a_], to = first_[dirty_b_];
  // The first token after the dirty lines counts its line from the token
  // before it, which may have changed: send it again.
  size_t follow = to < tokens_.size() ? 1 : 0;
  edit.start = (uint32_t)(5 * from);
  edit.delete_count = (uint32_t)(5 * (sent_count_ + follow));
  append_encoded(from, to + follow, &edit.data);
  pending_ = false;
  return edit;
}

}  // namespace wyn::lsp
