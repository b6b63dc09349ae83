// Content-Length framing: header lines up to a blank line, then exactly
// that many bytes of body. Bad framing costs one message, never the stream.
#include "transport.h"

#include <stdint.h>
#include <string.h>

namespace wyn::lsp {

namespace {

bool name_is(const std::string& line, size_t colon, const char* name) {
  size_t n = strlen(name);
  return colon == n && strncasecmp(line.data(), name, n) == 0;
}

// Parses a decimal length; false for anything else or more than max.
bool parse_length(const std::string& v, size_t max, size_t* out, bool* over) {
  size_t i = 0, end = v.size();
  while (i < end && (v[i] == ' ' || v[i] == '\t')) i++;
  while (end > i && (v[end - 1] == ' ' || v[end - 1] == '\t')) end--;
  if (i == end) return false;
  size_t n = 0;
  *over = false;
  for (; i < end; i++) {
    if (v[i] < '0' || v[i] > '9') return false;
    size_t d = (size_t)(v[i] - '0');
    // Past what a size can hold: whatever follows is skipped to the end.
    n = n > (SIZE_MAX - d) / 10 ? SIZE_MAX : n * 10 + d;
  }
  if (n > max) *over = true;
  *out = n;
  return true;
}

}  // namespace

bool FrameReader::fill() {
  if (head_ > 0 && head_ == buffer_.size()) {
    buffer_.clear();
    head_ = 0;
  } else if (head_ > 65536) {
    buffer_.erase(0, head_);
    head_ = 0;
  }
  char chunk[65536];
  size_t n = source_(chunk, sizeof chunk);
  if (n == 0) return false;
  buffer_.append(chunk, n);
  return true;
}

// The header block up to its blank line, without it. *too_long when it
// ran past kHeaderLimit (the rest of it was skipped).
bool FrameReader::read_header_block(std::string* block, bool* too_long) {
  block->clear();
  *too_long = false;
  size_t scanned = 0;  // bytes after head_ known to hold no line feed
  for (;;) {
    size_t nl = buffer_.find('\n', head_ + scanned);
    if (nl == std::string::npos) {
      if (buffer_.size() - head_ > kHeaderLimit) {  // drop what cannot be a header
        *too_long = true;
        head_ = buffer_.size() - 3;  // a "\r\n\r" may be cut at the end
      }
      scanned = buffer_.size() - head_;
      if (!fill()) return false;  // may move the buffer: offsets are from head_
      continue;
    }
    std::string line = buffer_.substr(head_, nl - head_);
    head_ = nl + 1;
    scanned = 0;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
      if (block->empty() && !*too_long) continue;  // stray blank lines between messages
      return true;
    }
    if (block->size() + line.size() > kHeaderLimit)
      *too_long = true;
    else
      *block += line + "\n";
  }
}

bool FrameReader::take(size_t n, std::string* out) {
  if (out) {
    out->clear();
    out->reserve(n);  // a document's text arrives in many reads: grown once
  }
  while (n > 0) {
    if (!has_buffered() && !fill()) return false;
    size_t k = buffer_.size() - head_;
    if (k > n) k = n;
    if (out) out->append(buffer_, head_, k);
    head_ += k;
    n -= k;
  }
  return true;
}

ReadStatus FrameReader::next(std::string* body, std::string* problem) {
  if (skip_ > 0) {
    if (!take(skip_, nullptr)) return ReadStatus::End;
    skip_ = 0;
  }
  std::string block;
  bool too_long = false;
  if (!read_header_block(&block, &too_long)) return ReadStatus::End;
  if (too_long) {
    *problem = "header block longer than " + std::to_string(kHeaderLimit) + " bytes";
    return ReadStatus::Malformed;
  }
  bool have_length = false, over = false;
  size_t length = 0;
  size_t at = 0;
  while (at < block.size()) {
    size_t nl = block.find('\n', at);
    std::string line = block.substr(at, nl - at);
    at = nl + 1;
    size_t colon = line.find(':');
    if (colon == std::string::npos) {
      *problem = "header line without a colon";
      return ReadStatus::Malformed;
    }
    if (!name_is(line, colon, "Content-Length")) continue;  // Content-Type and the like
    if (have_length || !parse_length(line.substr(colon + 1), limit_, &length, &over)) {
      *problem = "Content-Length is not one decimal number";
      return ReadStatus::Malformed;
    }
    have_length = true;
  }
  if (!have_length) {
    *problem = "no Content-Length header";
    return ReadStatus::Malformed;
  }
  if (over) {
    // Refused at once; the body is skipped as it streams by, never held.
    *problem = "message longer than the limit of " + std::to_string(limit_) + " bytes";
    skip_ = length;
    return ReadStatus::TooLarge;
  }
  if (!take(length, body)) return ReadStatus::End;
  return ReadStatus::Message;
}

std::string frame(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace wyn::lsp
