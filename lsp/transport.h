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
  Malformed,  // a header block without a usable Content-Length; skipped
  TooLarge,   // a body over the limit; skipped
  End         // the stream ended (a message cut short ends it too)
};

class FrameReader {
 public:
  // Reads up to n bytes into buf: the count, 0 at the end of the stream.
  using Source = std::function<size_t(char* buf, size_t n)>;
  explicit FrameReader(Source source, size_t limit = kMessageLimit)
      : source_(std::move(source)), limit_(limit) {}

  ReadStatus next(std::string* body, std::string* problem);
  // Bytes already read and not yet handed out.
  bool has_buffered() const { return head_ < buffer_.size(); }

 private:
  bool fill();  // reads more; false at the end
  bool read_header_block(std::string* block, bool* too_long);
  bool take(size_t n, std::string* out);  // out null: discard

  Source source_;
  size_t limit_;
  std::string buffer_;
  size_t head_ = 0;  // bytes of buffer_ already consumed
  size_t skip_ = 0;  // body bytes of a refused message still to pass over
};

// The framed form of one message body.
std::string frame(const std::string& body);

}  // namespace wyn::lsp

#endif
