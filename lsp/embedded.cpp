// The server driven by its host (embedded.h), and lsp.h's door to one.
#include "embedded.h"

#include <assert.h>

#include <chrono>
#include <memory>
#include <new>

#include "between.h"
#include "lsp.h"
#include "transport.h"

namespace wyn::lsp {

Embedded::Embedded(Server::Send send, ServerOptions options)
    : clock_(options.clock), server_(std::move(send), std::move(options)) {
  last_message_ = now();
}

uint64_t Embedded::now() const {
  if (clock_) return clock_();
  return (uint64_t)std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int Embedded::feed(const char* body, size_t n) {
  assert(body != nullptr || n == 0);
  if (server_.exited()) return server_.exit_code();
  last_message_ = now();
  // The same bound as the framed transport's: a host hands over whatever
  // its client sent.
  if (n > kMessageLimit) {
    server_.framing_error(INVALID_REQUEST, "message longer than the limit of " +
                                               std::to_string(kMessageLimit) + " bytes");
    return -1;
  }
  std::string text;
  try {
    text.assign(body == nullptr ? "" : body, n);
  } catch (const std::bad_alloc&) {
    server_.framing_error(INVALID_REQUEST,
                          "no memory for a message of " + std::to_string(n) + " bytes");
    return -1;
  }
  server_.handle(text);
  return server_.exited() ? server_.exit_code() : -1;
}

int Embedded::tick() {
  if (server_.exited()) return -1;
  int need = quiet_needed(server_);
  if (need < 0) return -1;
  uint64_t quiet = now() - last_message_;
  if (quiet < (uint64_t)need) return need - (int)quiet;
  work_between(server_);
  need = quiet_needed(server_);
  if (need < 0 || server_.exited()) return -1;
  return quiet >= (uint64_t)need ? 0 : need - (int)quiet;
}

namespace {
std::unique_ptr<Embedded> embedded;
}  // namespace

bool lsp_embedded_open(EmbeddedSend send, void* context) {
  if (embedded || send == nullptr) return false;
  try {
    embedded = std::make_unique<Embedded>(
        [send, context](const std::string& body) { send(body.data(), body.size(), context); });
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

int lsp_embedded_feed(const char* body, size_t n) {
  if (!embedded) return 1;
  return embedded->feed(body, n);
}

int lsp_embedded_tick() {
  return embedded ? embedded->tick() : -1;
}

void lsp_embedded_close() {
  embedded.reset();
}

}  // namespace wyn::lsp
