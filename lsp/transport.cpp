// Content-Length framing: header lines up to a blank line, then exactly
// that many bytes of body. Bad framing costs one message, never the stream:
// after a header that cannot be used the body's end is found from its
// JSON, or failing that the reader passes on to the next "Content-Length:".
#include "transport.h"

#include <stdint.h>
#include <string.h>

#include <exception>
#include <new>

namespace wyn::lsp {

namespace {

const char kLengthName[] = "content-length:";
const size_t kLengthNameSize = sizeof kLengthName - 1;
const size_t npos = std::string::npos;

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

// Where "Content-Length:", in any case, occurs in s[from, to): the first
// or the last occurrence; npos when none does.
size_t find_length_name(const std::string& s, size_t from, size_t to, bool last) {
  size_t found = npos;
  for (size_t i = from; i + kLengthNameSize <= to; i++) {
    size_t k = 0;
    while (k < kLengthNameSize && lower(s[i + k]) == kLengthName[k]) k++;
    if (k < kLengthNameSize) continue;
    if (!last) return i;
    found = i;
  }
  return found;
}

bool is_token_char(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         (c != 0 && strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

// True when block[at, end) reads "Name: ...".
bool header_shaped(const std::string& block, size_t at, size_t end) {
  size_t i = at;
  while (i < end && is_token_char((unsigned char)block[i])) i++;
  return i > at && i < end && block[i] == ':';
}

// Where the header proper starts in a block. Lines before it that are no
// header are the tail of a body longer than its Content-Length said, and a
// "Content-Length:" inside a line is a header glued to such a tail (or to a
// frame whose lines end in a bare CR): the last one on the line starts it.
// 0 when the block holds no header at all, so it is reported whole.
size_t header_start(const std::string& block) {
  size_t at = 0;
  while (at < block.size()) {
    size_t nl = block.find('\n', at);
    if (nl == npos) nl = block.size();
    size_t name = find_length_name(block, at, nl, true);
    if (name != npos) return name;
    if (header_shaped(block, at, nl)) return at;
    at = nl + 1;
  }
  return 0;
}

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
    // Past what a size can hold: refused as too large, skipped as it streams.
    n = n > (SIZE_MAX - d) / 10 ? SIZE_MAX : n * 10 + d;
  }
  if (n > max) *over = true;
  *out = n;
  return true;
}

}  // namespace

ValueEnd::Step ValueEnd::feed(const char* p, size_t n, size_t* used) {
  size_t i = 0;
  for (; i < n; i++) {
    unsigned char c = (unsigned char)p[i];
    if (in_string_) {
      if (c < 0x20) break;
      if (escaped_)
        escaped_ = false;
      else if (c == '\\')
        escaped_ = true;
      else if (c == '"')
        in_string_ = false;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == 'C' || c == 'c') break;
    if (depth_ == 0 && c != '{' && c != '[') break;  // a body is an object or an array
    if (c == '"') {
      in_string_ = true;
    } else if (c == '{' || c == '[') {
      depth_++;
    } else if (c == '}' || c == ']') {
      if (--depth_ == 0) {
        *used = i + 1;
        return Done;
      }
    }
  }
  *used = i;
  return i < n ? Broken : More;
}

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
  out->clear();
  while (n > 0) {
    if (head_ == buffer_.size() && !fill()) return false;
    size_t k = buffer_.size() - head_;
    if (k > n) k = n;
    out->append(buffer_, head_, k);
    head_ += k;
    n -= k;
  }
  return true;
}

// Passes over the body of a refused message as it streams by, never held:
// its announced length, or less where its JSON ends or breaks off first,
// so that a length far too large does not swallow the messages after it.
bool FrameReader::skip_body() {
  while (skip_ > 0) {
    if (head_ == buffer_.size() && !fill()) return false;
    size_t k = buffer_.size() - head_, used = 0;
    if (k > skip_) k = skip_;
    ValueEnd::Step step = skipping_.feed(buffer_.data() + head_, k, &used);
    head_ += used;
    skip_ -= used;
    if (step != ValueEnd::More) skip_ = 0;
    if (step == ValueEnd::Broken) lost_ = true;
  }
  return true;
}

// Passes over bytes up to the next "Content-Length:", in any case: where
// the next message most likely begins. False at the end of the stream.
bool FrameReader::seek_header() {
  for (;;) {
    size_t at = find_length_name(buffer_, head_, buffer_.size(), false);
    if (at != npos) {
      head_ = at;
      return true;
    }
    // What may be the name's start, cut by the read, stays.
    if (buffer_.size() - head_ >= kLengthNameSize) head_ = buffer_.size() - (kLengthNameSize - 1);
    if (!fill()) return false;
  }
}

// After a header that cannot be used. When what follows is a JSON object
// or array whose end shows, it is taken as the message's body and handed
// out with the error, so a request can be answered by its id; otherwise
// the next call looks for the next header.
ReadStatus FrameReader::bad_frame(std::string* body) {
  ValueEnd scan;
  size_t scanned = 0;  // bytes after head_ fed to scan; the buffer may move
  for (;;) {
    if (head_ + scanned == buffer_.size() && (scanned > limit_ || !fill())) break;
    size_t used = 0;
    ValueEnd::Step step =
        scan.feed(buffer_.data() + head_ + scanned, buffer_.size() - head_ - scanned, &used);
    scanned += used;
    if (step == ValueEnd::Broken) break;
    if (step == ValueEnd::Done) {
      body->assign(buffer_, head_, scanned);
      head_ += scanned;
      return ReadStatus::Malformed;
    }
  }
  lost_ = true;
  return ReadStatus::Malformed;
}

// A body whose JSON ends before its announced length, with more than
// blanks after it, was announced too long: it swallowed the start of what
// came next, most likely the next message's header. The value is kept as
// the body; the rest goes back to be read again.
bool FrameReader::split_short_body(std::string* body) {
  size_t last = body->find_last_not_of(" \t\r\n");
  if (last == npos) return false;
  // A whole message ends in a bracket, and a swallowed header in a body
  // ending in one names itself: most bodies need no scan.
  char c = (*body)[last];
  if ((c == '}' || c == ']') && body->find("ength:") == npos && body->find("ENGTH:") == npos)
    return false;
  ValueEnd scan;
  size_t used = 0;
  if (scan.feed(body->data(), body->size(), &used) != ValueEnd::Done) return false;
  size_t rest = body->find_first_not_of(" \t\r\n", used);
  if (rest == npos) return false;
  buffer_.insert(head_, *body, rest, npos);
  body->resize(used);
  return true;
}

ReadStatus FrameReader::next(std::string* body, std::string* problem) {
  body->clear();
  if (skip_ > 0 && !skip_body()) return ReadStatus::End;
  if (lost_) {
    lost_ = false;
    if (!seek_header()) return ReadStatus::End;
  }
  std::string block;
  if (!pending_.empty()) {
    block.swap(pending_);
  } else {
    bool too_long = false;
    if (!read_header_block(&block, &too_long)) return ReadStatus::End;
    if (too_long) {
      *problem = "header block longer than " + std::to_string(kHeaderLimit) + " bytes";
      return bad_frame(body);
    }
    size_t start = header_start(block);
    if (start > 0) {
      *problem = std::to_string(start) + " bytes outside any message skipped";
      pending_ = block.substr(start);
      return ReadStatus::Skipped;
    }
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
      return bad_frame(body);
    }
    if (!name_is(line, colon, "Content-Length")) continue;  // Content-Type and the like
    if (have_length || !parse_length(line.substr(colon + 1), limit_, &length, &over)) {
      *problem = "Content-Length is not one decimal number";
      return bad_frame(body);
    }
    have_length = true;
  }
  if (!have_length) {
    *problem = "no Content-Length header";
    return bad_frame(body);
  }
  if (over) {
    // Refused at once; the body is skipped as it streams by, never held.
    *problem = "message longer than the limit of " + std::to_string(limit_) + " bytes";
    skip_ = length;
    skipping_ = ValueEnd();
    return ReadStatus::TooLarge;
  }
  try {
    body->reserve(length);  // a document's text arrives in many reads: grown once
  } catch (const std::exception&) {
    // No room for it now (or, on a 32-bit system, more than a string can
    // hold at all): refused like a body over the limit, and the messages
    // after it still read.
    *problem = "no memory for a message of " + std::to_string(length) + " bytes";
    skip_ = length;
    skipping_ = ValueEnd();
    return ReadStatus::TooLarge;
  }
  if (!take(length, body)) return ReadStatus::End;
  if (split_short_body(body)) {
    *problem = "message body shorter than its Content-Length";
    return ReadStatus::Malformed;
  }
  return ReadStatus::Message;
}

std::string frame(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace wyn::lsp
