// The work between messages, and when it is due (between.h).
#include "between.h"

#include "server.h"

namespace wyn::lsp {

int quiet_needed(const Server& server) {
  // The checks come first: a walk's step while the client types would only
  // delay them.
  if (server.has_idle_work()) return kQuietMs;
  if (server.has_background_work()) return 0;
  return -1;
}

void work_between(Server& server) {
  if (server.has_idle_work())
    server.idle();
  else if (server.has_background_work())
    server.background();
}

}  // namespace wyn::lsp
