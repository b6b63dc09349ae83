// Content-Length framing: what each byte stream yields, message by message,
// however the bytes are split into reads; bad framing costs one message.
// Then how a message body is read: lone surrogates, nesting past the limit.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "protocol.h"
#include "transport.h"

namespace {

using wyn::lsp::FrameReader;
using wyn::lsp::json;
using wyn::lsp::ReadStatus;

// "M:body" for a message, "X" malformed ("X:body" when its body was found),
// "L" too large, "S" bytes skipped, then "E" at the end.
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
                  : s == ReadStatus::Malformed ? (body.empty() ? "X" : "X:" + body)
                  : s == ReadStatus::TooLarge  ? std::string("L")
                                               : std::string("S"));
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

// Every kind of bad frame, each followed by a good message: the bad one
// costs itself (handed out with its body where the body's end shows, so
// it can be answered by its id) and the good one always comes through.
TEST(LspTransport, ABadFrameCostsOnlyItself) {
  const std::string bad = "{\"id\":1}", good = "Content-Length: 8\r\n\r\n{\"id\":2}";
  const std::vector<std::string> answered = {"X:" + bad, "M:{\"id\":2}", "E"};
  const Stream rows[] = {
      {"letters", "Content-Length: x\r\n\r\n" + bad + good, answered},
      {"missing", "Content-Type: a/b\r\n\r\n" + bad + good, answered},
      {"negative", "Content-Length: -8\r\n\r\n" + bad + good, answered},
      {"plus", "Content-Length: +8\r\n\r\n" + bad + good, answered},
      {"fraction", "Content-Length: 8.0\r\n\r\n" + bad + good, answered},
      {"two_numbers", "Content-Length: 8 8\r\n\r\n" + bad + good, answered},
      {"empty", "Content-Length:\r\n\r\n" + bad + good, answered},
      {"twice", "Content-Length: 8\r\nContent-Length: 8\r\n\r\n" + bad + good, answered},
      {"no_colon", "Content-Length: 8\r\nbogus\r\n\r\n" + bad + good, answered},
      {"header_over_8k",
       "Content-Length: 8\r\nX-Pad: " + std::string(9000, 'p') + "\r\n\r\n" + bad + good, answered},
      {"body_shorter", "Content-Length: 20\r\n\r\n" + bad + good, answered},
      {"body_shorter_by_a_message",
       "Content-Length: 37\r\n\r\n" + bad + good + good,
       {"X:" + bad, "M:{\"id\":2}", "M:{\"id\":2}", "E"}},
      // The cut body is not JSON, which the server answers; its tail is
      // passed over up to the next header.
      {"body_longer",
       "Content-Length: 5\r\n\r\n" + bad + good,
       {"M:{\"id\"", "S", "M:{\"id\":2}", "E"}},
      {"body_longer_over_lines",
       "Content-Length: 3\r\n\r\n{\n\"id\":1\n}" + good,
       {"M:{\n\"", "S", "M:{\"id\":2}", "E"}},
      {"bare_cr_line_ends", "Content-Length: 8\r\r" + bad + good, {"S", "M:{\"id\":2}", "E"}},
      {"ten_to_the_23",
       "Content-Length: 100000000000000000000000\r\n\r\n" + bad + good,
       {"L", "M:{\"id\":2}", "E"}},
      {"two_to_the_63",
       "Content-Length: 9223372036854775808\r\n\r\n" + bad + good,
       {"L", "M:{\"id\":2}", "E"}},
      {"body_not_json", "Content-Length: x\r\n\r\nnot json" + good, {"X", "M:{\"id\":2}", "E"}},
      {"body_cut_in_a_string",
       "Content-Length: x\r\n\r\n{\"a\":\"b" + good,
       {"X", "M:{\"id\":2}", "E"}},
      {"brackets_in_strings",
       "Content-Length: x\r\n\r\n{\"a\":\"}\\\"]\"}" + good,
       {"X:{\"a\":\"}\\\"]\"}", "M:{\"id\":2}", "E"}},
  };
  for (const Stream& s : rows)
    for (size_t chunk : {(size_t)1, (size_t)7, (size_t)65536})
      EXPECT_EQ(outcomes(s.bytes, chunk, 64), s.want) << s.name << " in reads of " << chunk;
}

// A body there is no memory for is refused and skipped like one over the
// limit. Under a sanitizer an allocation this size stops the process.
#if !defined(__SANITIZE_ADDRESS__)
TEST(LspTransport, ABodyThereIsNoMemoryForIsSkipped) {
  const std::string stream =
      "Content-Length: 2305843009213693952\r\n\r\n{\"id\":1}"
      "Content-Length: 8\r\n\r\n{\"id\":2}";
  const std::vector<std::string> want = {"L", "M:{\"id\":2}", "E"};
  EXPECT_EQ(outcomes(stream, 65536, SIZE_MAX), want);
}
#endif

TEST(LspTransport, LoneSurrogatesAreReadAsReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD", smile = "\xF0\x9F\x98\x80";
  const struct {
    const char* name;
    std::string body;
    json want;
  } rows[] = {
      {"lone_high", R"(["\ud800"])", {fffd}},
      {"lone_low", R"(["\udc00x"])", {fffd + "x"}},
      {"high_then_other", R"(["\ud800\u0041"])", {fffd + "A"}},
      {"high_then_high_pair", R"(["\ud83d\ud83d\ude00"])", {fffd + smile}},
      {"high_at_string_end", R"(["a\uD800","b"])", {"a" + fffd, "b"}},
      {"pair_untouched", R"(["\ud83d\ude00"])", {smile}},
      {"last_pair", R"(["\uDBFF\uDFFF"])", {"\xF4\x8F\xBF\xBF"}},
      {"escaped_backslash", R"(["\\ud800"])", {"\\ud800"}},
      {"key", R"({"\udfff":1})", {{fffd, 1}}},
  };
  for (const auto& row : rows) {
    wyn::lsp::ParsedMessage m = wyn::lsp::parse_message(row.body);
    EXPECT_EQ(m.value, row.want) << row.name;
  }
}

TEST(LspTransport, NestingPastTheLimitIsLeftOutAndTold) {
  auto nested = [](size_t n) { return std::string(n, '[') + std::string(n, ']'); };
  auto objects = [](size_t n) {
    std::string s;
    for (size_t i = 0; i < n; i++) s += "{\"k\":";
    return s + "1" + std::string(n, '}');
  };
  const size_t limit = wyn::lsp::kNestingLimit;
  const struct {
    const char* name;
    std::string body;
    bool too_deep;
    const char* member;
  } rows[] = {
      {"at_the_limit", "{\"id\":1,\"a\":" + nested(limit) + "}", false, ""},
      {"one_past", "{\"id\":1,\"a\":" + nested(limit + 1) + "}", true, "a"},
      {"objects", "{\"p\":" + objects(limit + 1) + "}", true, "p"},
      {"the_first_member_told", "{\"b\":" + nested(limit + 1) + ",\"c\":" + nested(limit + 1) + "}",
       true, "b"},
      {"a_million_levels", nested(1000000), true, ""},
  };
  for (const auto& row : rows) {
    wyn::lsp::ParsedMessage m = wyn::lsp::parse_message(row.body);
    ASSERT_FALSE(m.value.is_discarded()) << row.name;
    EXPECT_EQ(m.too_deep, row.too_deep) << row.name;
    EXPECT_EQ(m.deep_member, row.member) << row.name;
    if (m.value.is_object() && m.value.contains("id")) {
      EXPECT_EQ(m.value["id"], 1) << row.name;  // what is not too deep is kept
    }
  }
}

TEST(LspTransport, FrameWritesTheLength) {
  EXPECT_EQ(wyn::lsp::frame("{}"), "Content-Length: 2\r\n\r\n{}");
}

}  // namespace
