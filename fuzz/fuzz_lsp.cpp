// Fuzz target: the language server's message loop. The input is the byte
// stream a client sends; one that does not open with an initialize gets one
// the target makes itself. Every framing, JSON and parameter the fuzzer
// invents goes through the server.
// Checked: no crash, no sanitizer report, no hang, and every reply a
// well-formed JSON object.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "cwedit.h"
#include "server.h"
#include "transport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  atexit([] { cw_reset(); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace wyn::lsp;
  ServerOptions options;
  options.plugin_path = WYN_PLUGIN_PATH;
  options.check_at_once = 4096;
  {
    Server server(
        [](const std::string& body) {
          json reply = json::parse(body, nullptr, false);
          if (reply.is_discarded() || !reply.is_object()) {
            fprintf(stderr, "fuzz_lsp: a reply is not a JSON object: %s\n", body.c_str());
            abort();
          }
        },
        options);
    size_t at = 0;
    FrameReader reader(
        [&](char* buf, size_t n) {
          size_t k = n < size - at ? n : size - at;
          memcpy(buf, data + at, k);
          at += k;
          return k;
        },
        1u << 16);
    for (int messages = 0; messages < 200 && !server.exited(); messages++) {
      std::string body, problem;
      ReadStatus s = reader.next(&body, &problem);
      if (s == ReadStatus::End) break;
      // An input that does not open with its own initialize gets this one.
      if (messages == 0 &&
          (s != ReadStatus::Message || body.find("\"initialize\"") == std::string::npos))
        server.handle(
            R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"capabilities":{"workspace":)"
            R"({"semanticTokens":{"refreshSupport":true},"applyEdit":true}}}})");
      if (s == ReadStatus::Message)
        server.handle(body);
      else if (s != ReadStatus::Skipped)
        server.framing_error(PARSE_ERROR, problem, body);
    }
    server.idle();
  }
  cw_reset();
  return 0;
}
