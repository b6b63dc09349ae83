// Content-Length framing: what each byte stream yields, message by message,
// however the bytes are split into reads; bad framing costs one message.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "transport.h"

namespace {

using wyn::lsp::FrameReader;
using wyn::lsp::ReadStatus;

// "M:body" for a message, "X" malformed, "L" too large, then "E" at the end.
std::vector<std::string> outcomes(const std::string& stream, size_t chunk, size_t limit) {
  size_t at = 0;
  FrameReader reader(
      [&](char* buf, size_t n) {
        size_t k = std::min(std::min(n, chunk), stream.size() - at);
        memcpy(buf, stream.data() + at, k);
        at += k;
        return k;
      },
      limit);
  std::vector<std::string> out;
  for (int guard = 0; guard < 100; guard++) {
    std::string body, problem;
    ReadStatus s = reader.next(&body, &problem);
    if (s == ReadStatus::End) break;
    out.push_back(s == ReadStatus::Message     ? "M:" + body
                  : s == ReadStatus::Malformed ? std::string("X")
                                               : std::string("L"));
    if (s != ReadStatus::Message) {
      EXPECT_FALSE(problem.empty());
    }
  }
  out.push_back("E");
  return out;
}

struct Stream {
  const char* name;
  std::string bytes;
  std::vector<std::string> want;
};

TEST(LspTransport, FramesMessagesAndSkipsBadOnes) {
  const std::string big(100, 'x');
  const Stream rows[] = {
      {"two_messages",
       "Content-Length: 2\r\n\r\n{}Content-Length: 3\r\n\r\n[1]",
       {"M:{}", "M:[1]", "E"}},
      {"content_type_and_case",
       "content-length: 2\r\nContent-Type: application/vscode-jsonrpc; charset=utf-8\r\n\r\n{}",
       {"M:{}", "E"}},
      {"bare_lf_headers", "Content-Length: 2\n\n{}", {"M:{}", "E"}},
      {"blank_lines_between", "\r\n\r\nContent-Length: 1\r\n\r\n1", {"M:1", "E"}},
      {"no_length_then_good", "Foo: 1\r\n\r\nContent-Length: 1\r\n\r\n1", {"X", "M:1", "E"}},
      {"bad_number", "Content-Length: 1x\r\n\r\nContent-Length: 1\r\n\r\n2", {"X", "M:2", "E"}},
      {"negative", "Content-Length: -1\r\n\r\n", {"X", "E"}},
      {"two_lengths", "Content-Length: 1\r\nContent-Length: 1\r\n\r\n1", {"X", "E"}},
      {"no_colon", "garbage\r\n\r\nContent-Length: 1\r\n\r\n3", {"X", "M:3", "E"}},
      {"over_limit_skipped",
       "Content-Length: 100\r\n\r\n" + big + "Content-Length: 1\r\n\r\n4",
       {"L", "M:4", "E"}},
      {"huge_claim_then_end", "Content-Length: 99999999999999999999999\r\n\r\nabc", {"L", "E"}},
      {"cut_short", "Content-Length: 10\r\n\r\nabc", {"E"}},
      {"endless_header",
       std::string(20000, 'h') + "\r\n\r\nContent-Length: 1\r\n\r\n5",
       {"X", "M:5", "E"}},
      {"empty", "", {"E"}},
  };
  for (const Stream& s : rows)
    for (size_t chunk : {(size_t)1, (size_t)7, (size_t)65536})
      EXPECT_EQ(outcomes(s.bytes, chunk, 64), s.want) << s.name << " in reads of " << chunk;
}

TEST(LspTransport, FrameWritesTheLength) {
  EXPECT_EQ(wyn::lsp::frame("{}"), "Content-Length: 2\r\n\r\n{}");
}

}  // namespace
