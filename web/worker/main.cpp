// The language server in a browser's worker: the few calls the worker's
// script (web/wyn-worker.js, linked in front of this program's loader)
// makes into the server, and the one it gets back for each message the
// server sends.
#include <emscripten.h>
#include <stddef.h>

#include "lsp.h"

// Hands a message body to the script, which posts it to the page.
EM_JS(void, wyn_worker_post, (const char* body, size_t n),
      { wynWorker.receive(UTF8ToString(body, n)); });

namespace {
void post(const char* body, size_t n, void*) {
  wyn_worker_post(body, n);
}
}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int wyn_worker_open() {
  return wyn::lsp::lsp_embedded_open(post, nullptr) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int wyn_worker_feed(const char* body, size_t n) {
  return wyn::lsp::lsp_embedded_feed(body, n);
}

EMSCRIPTEN_KEEPALIVE int wyn_worker_tick() {
  return wyn::lsp::lsp_embedded_tick();
}

EMSCRIPTEN_KEEPALIVE void wyn_worker_close() {
  wyn::lsp::lsp_embedded_close();
}

}  // extern "C"
