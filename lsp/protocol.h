// The protocol's messages as the client sends them, as plain structs, each
// with the reader that checks it out of JSON (false and a message on a
// missing field or a wrong type, never an exception). What the server
// sends is in answers.h.
#ifndef WYN_LSP_PROTOCOL_H
#define WYN_LSP_PROTOCOL_H

#include <stdint.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "text.h"

namespace wyn::lsp {

using json = nlohmann::json;

// JSON-RPC error codes.
enum ErrorCode {
  PARSE_ERROR = -32700,
  INVALID_REQUEST = -32600,
  METHOD_NOT_FOUND = -32601,
  INVALID_PARAMS = -32602,
  INTERNAL_ERROR = -32603,
  SERVER_NOT_INITIALIZED = -32002,
  REQUEST_FAILED = -32803
};

// Containers nested deeper than this in a message are left out of it and
// the message refused: copying, writing and freeing a JSON value recurse
// once a level, and a thread's stack (1 MiB on Windows) holds only some
// thousands. What clients send nests about ten deep.
constexpr int kNestingLimit = 100;

// A message body as the server reads it.
struct ParsedMessage {
  json value;               // discarded when the body is not JSON
  bool too_deep = false;    // containers past kNestingLimit were left out
  std::string deep_member;  // the top-level member holding the first of them
};
// Lone UTF-16 surrogates written as escapes ("\ud800", which JavaScript
// writes for a string cut between the halves of a pair) are read as U+FFFD:
// one unit, as the client counts them, so its positions stay in step.
ParsedMessage parse_message(const std::string& body);

// Reads fields of one JSON object; the first problem met is kept and every
// later read answers a default, so a reader checks ok() once at the end.
class Fields {
 public:
  Fields(const json& j, const char* what);
  bool ok() const { return problem_.empty(); }
  const std::string& problem() const { return problem_; }

  bool has(const char* key) const;
  const json* object(const char* key, bool required = true);
  const json* array(const char* key, bool required = true);
  std::string string(const char* key, bool required = true);
  uint32_t uint(const char* key, bool required = true);
  int64_t integer(const char* key, bool required = true);
  bool boolean(const char* key, bool fallback);
  void fail(const std::string& problem);

 private:
  const json* get(const char* key, bool required);
  const json& j_;
  std::string what_;
  std::string problem_;
};

struct Range {
  Position start, end;
};

bool read(const json& j, Position* out, std::string* problem);
bool read(const json& j, Range* out, std::string* problem);
void to_json(json& j, const Position& p);
void to_json(json& j, const Range& r);

// textDocument + position, the shape of most requests.
struct PositionParams {
  std::string uri;
  Position position;
};
bool read(const json& j, PositionParams* out, std::string* problem);
// Just the textDocument's uri.
bool read_uri(const json& j, std::string* uri, std::string* problem);
struct DocumentParams {
  std::string uri;
};
bool read(const json& j, DocumentParams* out, std::string* problem);

struct DidOpenParams {
  std::string uri, language;
  int64_t version = 0;
  std::string text;
};
bool read(const json& j, DidOpenParams* out, std::string* problem);
// The same, moving the text out of j rather than copying it: a document's
// text is most of what a client sends.
bool read_taking_text(json& j, DidOpenParams* out, std::string* problem);

struct ContentChange {
  std::optional<Range> range;  // none: the whole text
  std::string text;
};
struct DidChangeParams {
  std::string uri;
  int64_t version = 0;
  std::vector<ContentChange> changes;
};
bool read(const json& j, DidChangeParams* out, std::string* problem);

struct RangeParams {
  std::string uri;
  Range range;
};
bool read(const json& j, RangeParams* out, std::string* problem);

struct DeltaParams {
  std::string uri;
  std::string previous_result_id;
};
bool read(const json& j, DeltaParams* out, std::string* problem);

struct OnTypeParams {
  std::string uri;
  Position position;
  std::string ch;
  uint32_t tab_size = 8;
  bool insert_spaces = false;
};
bool read(const json& j, OnTypeParams* out, std::string* problem);

// textDocument/formatting and rangeFormatting: the range only for the latter.
struct FormattingParams {
  std::string uri;
  std::optional<Range> range;
  uint32_t tab_size = 8;
  bool insert_spaces = false;
};
bool read(const json& j, FormattingParams* out, std::string* problem);

// A string safe to dump: invalid UTF-8 becomes U+FFFD.
std::string dump(const json& j);

}  // namespace wyn::lsp

#endif
