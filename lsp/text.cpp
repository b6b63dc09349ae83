// Client lines and columns over the document's bytes.
#include "text.h"

#include <string.h>

#include <algorithm>

namespace wyn::lsp {

namespace {

bool continuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Appends to out the starts of the lines that begin in text[from, to),
// judging a CR at to - 1 by the byte after it.
void scan_starts(std::string_view text, size_t from, size_t to, std::vector<uint32_t>* out) {
  // With no CR in reach, line feeds alone end lines, and memchr finds them
  // many bytes at a time.
  const char* base = text.data();
  if (from >= to) return;
  if (memchr(base + from, '\r', to - from) == nullptr) {
    const char* end = base + to;
    for (const char* p = base + from; (p = (const char*)memchr(p, '\n', (size_t)(end - p)));)
      out->push_back((uint32_t)(++p - base));
    return;
  }
  for (size_t i = from; i < to; i++) {
    char c = text[i];
    if (c == '\n') {
      out->push_back((uint32_t)(i + 1));
    } else if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') continue;  // the LF ends this line
      out->push_back((uint32_t)(i + 1));
    }
  }
}

}  // namespace

uint32_t code_point_units(std::string_view text, size_t i, Encoding enc, size_t* bytes) {
  unsigned char c = (unsigned char)text[i];
  *bytes = 1;
  if (c < 0x80) return 1;
  size_t n = 0;
  uint32_t cp = 0, min = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, cp = c & 0x1Fu, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, cp = c & 0x0Fu, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, cp = c & 0x07u, min = 0x10000;
  } else {
    return 1;
  }
  if (i + n > text.size()) return 1;
  for (size_t k = 1; k < n; k++) {
    unsigned char d = (unsigned char)text[i + k];
    if (!continuation(d)) return 1;
    cp = (cp << 6) | (d & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 1;
  *bytes = n;
  if (enc == Encoding::Utf8) return (uint32_t)n;
  return cp >= 0x10000 ? 2 : 1;
}

uint32_t units_between(std::string_view text, size_t from, size_t to, Encoding enc) {
  if (enc == Encoding::Utf8) return (uint32_t)(to - from);
  uint32_t units = 0;
  size_t i = from;
  while (i < to) {
    if ((unsigned char)text[i] < 0x80) {  // the common case, byte by byte
      units++, i++;
      continue;
    }
    size_t n = 1;
    units += code_point_units(text, i, enc, &n);
    i += n;
  }
  return units;
}

void LineIndex::build(std::string_view text) {
  starts_.assign(1, 0);
  scan_starts(text, 0, text.size(), &starts_);
}

void LineIndex::update(std::string_view text, size_t pos, size_t removed, size_t added) {
  // Re-read from the start of the line holding pos - 1: a CR just before
  // the change may now be followed by an LF, or no longer be.
  uint32_t first = line_of(pos > 0 ? pos - 1 : 0);
  // Lines that start past the old change and its following byte keep
  // their start, moved by the change's growth.
  size_t old_end = pos + removed + 1;
  auto keep = std::upper_bound(starts_.begin() + first + 1, starts_.end(), old_end);
  std::vector<uint32_t> tail(keep, starts_.end());
  starts_.erase(starts_.begin() + first + 1, starts_.end());
  // Up to the last byte of the break before the first kept line, whose
  // start is already in tail.
  size_t rescan_to = tail.empty() ? text.size() : tail.front() - removed + added - 1;
  scan_starts(text, starts_[first], rescan_to, &starts_);
  for (uint32_t s : tail) starts_.push_back((uint32_t)(s - removed + added));
}

size_t LineIndex::content_end(std::string_view text, uint32_t line) const {
  assert(line < starts_.size() && starts_.back() <= text.size());  // the index is of this text
  size_t end = line + 1 < starts_.size() ? (size_t)starts_[line + 1] : text.size();
  if (end > starts_[line] && text[end - 1] == '\n') end--;
  if (end > starts_[line] && text[end - 1] == '\r') end--;
  return end;
}

uint32_t LineIndex::line_of(size_t pos) const {
  auto it = std::upper_bound(starts_.begin(), starts_.end(), pos);
  return (uint32_t)(it - starts_.begin() - 1);
}

size_t LineIndex::offset(std::string_view text, Position p, Encoding enc) const {
  if (p.line >= starts_.size()) return text.size();
  size_t i = starts_[p.line], end = content_end(text, p.line);
  uint32_t left = p.character;
  while (i < end && left > 0) {
    size_t n = 1;
    uint32_t u = code_point_units(text, i, enc, &n);
    if (u > left) break;  // inside this character: its start
    left -= u;
    i += n;
  }
  return i;
}

Position LineIndex::position(std::string_view text, size_t offset, Encoding enc) const {
  if (offset > text.size()) offset = text.size();
  assert(starts_.back() <= text.size());
  Position p;
  p.line = line_of(offset);
  size_t from = starts_[p.line];
  size_t to = std::min(offset, content_end(text, p.line));
  // An offset inside a character counts from that character's start.
  size_t i = from;
  uint32_t units = 0;
  while (i < to) {
    size_t n = 1;
    uint32_t u = code_point_units(text, i, enc, &n);
    if (i + n > to) break;
    units += u;
    i += n;
  }
  p.character = units;
  return p;
}

}  // namespace wyn::lsp
