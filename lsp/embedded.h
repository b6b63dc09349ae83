// The server for a host that carries its messages itself (a browser's
// worker, a test): whole message bodies in, answers through a callback,
// and the work between messages run when the host's timer says. lsp.h's
// lsp_embedded_* calls drive one of these.
#ifndef WYN_LSP_EMBEDDED_H
#define WYN_LSP_EMBEDDED_H

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>

#include "server.h"
#include "settings.h"

namespace wyn::lsp {

class Embedded {
 public:
  // options.clock, when set, is the clock the client's quiet is measured by.
  Embedded(Server::Send send, ServerOptions options = ServerOptions());

  // One message body; -1 while the server serves, its exit status once the
  // client's exit came (messages after that are dropped).
  int feed(const char* body, size_t n);
  // Runs the work between messages that is due; the milliseconds until
  // the next call is due, 0 at once, -1 not before the next message.
  int tick();

 private:
  uint64_t now() const;

  std::function<uint64_t()> clock_;
  Server server_;
  uint64_t last_message_ = 0;
};

}  // namespace wyn::lsp

#endif
