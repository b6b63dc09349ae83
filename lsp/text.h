// Lines and positions as a language client counts them. A client ends a
// line at LF, CR LF or a lone CR and counts columns in UTF-16 code units
// unless both sides agreed on UTF-8; the plug-in sees the document's bytes
// and knows only LF. This index keeps the client's line starts over the
// bytes and converts positions both ways.
#ifndef WYN_LSP_TEXT_H
#define WYN_LSP_TEXT_H

#include <assert.h>
#include <stddef.h>
#include <stdint.h>

#include <string_view>
#include <vector>

namespace wyn::lsp {

enum class Encoding { Utf16, Utf8 };

// The largest document kept, in bytes.
constexpr size_t kDocumentLimit = 256u << 20;

// A client position: 0-based line and column in the negotiated units.
struct Position {
  uint32_t line = 0;
  uint32_t character = 0;
};

// Units the code point at text[i] takes, and the bytes it spans there
// (*bytes >= 1). A byte that does not start a well-formed UTF-8 sequence
// (stray continuation, overlong form, surrogate, beyond U+10FFFF,
// truncated) stands for one replacement character: one unit, one byte.
uint32_t code_point_units(std::string_view text, size_t i, Encoding enc, size_t* bytes);

// Client units in text[from, to).
uint32_t units_between(std::string_view text, size_t from, size_t to, Encoding enc);

class LineIndex {
 public:
  void build(std::string_view text);
  // After text[pos, pos + removed) became added bytes, text being the new
  // whole: re-reads only the lines around the change.
  void update(std::string_view text, size_t pos, size_t removed, size_t added);

  uint32_t line_count() const { return (uint32_t)starts_.size(); }
  // A line the index holds: positions from the client are clamped first.
  size_t line_start(uint32_t line) const {
    assert(line < starts_.size());
    return starts_[line];
  }
  // End of the line's text, before its break.
  size_t content_end(std::string_view text, uint32_t line) const;
  // The line holding byte offset pos (a break belongs to the line it ends).
  uint32_t line_of(size_t pos) const;

  // Byte offset of a client position, clamped: a line past the last gives
  // the end of the text, a column past the line's text its end, a column
  // inside a character the start of that character.
  size_t offset(std::string_view text, Position p, Encoding enc) const;
  Position position(std::string_view text, size_t offset, Encoding enc) const;

 private:
  std::vector<uint32_t> starts_{0};  // documents stay below 4 GiB (see kDocumentLimit)
};

}  // namespace wyn::lsp

#endif
