// Semantic tokens of one document, kept per client line, and what changed
// since the client was last sent them. Tokens come from the categories the
// plug-in's colouring left on the bytes; this file only groups, encodes and
// diffs them.
#ifndef WYN_LSP_TOKENS_H
#define WYN_LSP_TOKENS_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "text.h"

namespace wyn::lsp {

// The legend, in the order announced. ORDER: token_types in tokens.cpp.
enum TokenType : uint8_t {
  TOK_COMMENT,
  TOK_STRING,
  TOK_NUMBER,
  TOK_OPERATOR,
  TOK_KEYWORD,
  TOK_FUNCTION,
  TOK_VARIABLE,
  TOK_TYPE_COUNT
};
enum TokenModifier : uint8_t { MOD_READONLY = 1, MOD_DEFAULT_LIBRARY = 2 };
extern const char* const token_types[TOK_TYPE_COUNT];
extern const char* const token_modifiers[2];

// A run of one category within one client line, in client units; eight
// bytes, as a large document holds hundreds of thousands.
struct Token {
  static constexpr uint32_t kMaxLength = 0xFFFFFF;
  Token() = default;
  Token(uint32_t start_, uint32_t length_, uint8_t type_)
      : start(start_), packed((length_ & kMaxLength) | (uint32_t)type_ << 24) {}
  uint32_t length() const { return packed & kMaxLength; }
  uint8_t type() const { return (uint8_t)(packed >> 24); }
  uint32_t start = 0;
  uint32_t packed = 0;  // length in the low 24 bits, type in the high 8
};
uint32_t token_modifiers_of(uint8_t type);

// The token type of a category (a wyn::Category), or -1 for CAT_NONE and
// any value that is no category.
int token_type_of_category(int category);

// Appends the tokens of the client line text[from, to): maximal runs of
// one category, cats holding one category per byte of text[from, to).
// Answers how many it appended.
uint32_t line_tokens(std::string_view text, size_t from, size_t to, const signed char* cats,
                     Encoding enc, std::vector<Token>* out);

// The LSP edit of a full/delta answer, in integers of the encoded array.
struct TokenEdit {
  uint32_t start = 0;
  uint32_t delete_count = 0;
  std::vector<uint32_t> data;
};

class TokenStore {
 public:
  void clear(uint32_t lines);  // that many lines, no tokens, nothing pending
  uint32_t line_count() const { return (uint32_t)first_.size() - 1; }
  size_t token_count() const { return tokens_.size(); }
  // Replaces lines [a, b) by the given lines (their count may differ):
  // counts[k] tokens of flat for the k-th new line.
  void replace(uint32_t a, uint32_t b, const std::vector<Token>& flat,
               const std::vector<uint32_t>& counts);
  // The same; into a store holding no tokens yet (a document just opened),
  // flat is moved rather than copied.
  void replace(uint32_t a, uint32_t b, std::vector<Token>&& flat,
               const std::vector<uint32_t>& counts);
  void replace(uint32_t a, uint32_t b, const std::vector<std::vector<Token>>& lines);
  // The tokens of line as stored.
  const Token* line_begin(uint32_t line) const { return tokens_.data() + first_[line]; }
  const Token* line_end(uint32_t line) const { return tokens_.data() + first_[line + 1]; }
  bool line_equals(uint32_t line, const Token* tokens, size_t n) const;

  // Encoded data of lines [a, b), as the JSON array's text.
  void encode(uint32_t a, uint32_t b, std::string* out) const;
  // What turns the last sent array into the current one; marks it sent.
  bool pending() const { return pending_; }
  TokenEdit take_edit();
  void mark_sent() { pending_ = false; }

 private:
  template <class Flat>
  void replace_lines(uint32_t a, uint32_t b, Flat&& flat, const std::vector<uint32_t>& counts);
  uint32_t line_of_token(size_t index) const;
  void append_encoded(size_t from, size_t to, std::vector<uint32_t>* out) const;

  std::vector<Token> tokens_;
  std::vector<uint32_t> first_{0};  // first_[line] indexes tokens_; one more at the end
  // Since the last answer: lines [dirty_a_, dirty_b_) in today's lines stand
  // where the client's array held sent_count_ tokens.
  bool pending_ = false;
  uint32_t dirty_a_ = 0, dirty_b_ = 0, sent_count_ = 0;
};

}  // namespace wyn::lsp

#endif
