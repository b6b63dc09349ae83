// JSON-RPC messages framed by a Content-Length header, over any byte
// stream. The server sees only whole message bodies; how bytes arrive (a
// pipe, a string in a test, a fuzzer's input) is the source's business.
#ifndef WYN_LSP_TRANSPORT_H
#define WYN_LSP_TRANSPORT_H

#include <stddef.h>

#include <functional>
#include <string>

namespace wyn::lsp {

// The largest message body taken; a longer one is skipped unread.
constexpr size_t kMessageLimit = 64u << 20;
// The largest header block taken (all header lines together).
constexpr size_t kHeaderLimit = 8u << 10;

enum class ReadStatus {
  Message,    // *body holds one message
  Malformed,  // a message whose framing is wrong; *body holds it when its end could be told
  TooLarge,   // a body over the limit; skipped
  Skipped,    // bytes outside any message were passed over; nothing to answer
  End         // the stream ended (a message cut short ends it too)
};

// Finds where one JSON object or array ends as its bytes stream by, without
// parsing it: brackets are counted outside strings. It gives up where a
// body cannot go on: a control byte inside a string, or a letter C outside
// one, which is where a header glued to a cut body begins.
class ValueEnd {
 public:
  enum Step { More, Done, Broken };
  // Scans p[0..n); *used counts the bytes taken (through the closing
  // bracket when Done, up to the offending byte when Broken).
  Step feed(const char* p, size_t n, size_t* used);

 private:
  size_t depth_ = 0;
  bool in_string_ = false, escaped_ = false;
};

class FrameReader {
 public:
  // Reads up to n bytes into buf: the count, 0 at the end of the stream.
  using Source = std::function<size_t(char* buf, size_t n)>;
  explicit FrameReader(Source source, size_t limit = kMessageLimit)
      : source_(std::move(source)), limit_(limit) {}

  ReadStatus next(std::string* body, std::string* problem);
  // Bytes already read and not yet handed out.
  bool has_buffered() const { return head_ < buffer_.size() || !pending_.empty(); }

 private:
  bool fill();  // reads more; false at the end
  bool read_header_block(std::string* block, bool* too_long);
  bool take(size_t n, std::string* out);
  bool skip_body();
  bool seek_header();
  ReadStatus bad_frame(std::string* body);
  bool split_short_body(std::string* body);

  Source source_;
  size_t limit_;
  std::string buffer_;
  size_t head_ = 0;      // bytes of buffer_ already consumed
  size_t skip_ = 0;      // body bytes of a refused message still to pass over
  ValueEnd skipping_;    // the JSON of that body, to stop early if it ends early
  bool lost_ = false;    // after a bad header whose body's end is unknown
  std::string pending_;  // a header block found behind skipped bytes
};

// The framed form of one message body.
std::string frame(const std::string& body);

}  // namespace wyn::lsp

#endif
