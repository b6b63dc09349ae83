// What the server does while its client is quiet, the same whichever loop
// carries its messages (standard streams, or a host that calls in): after
// a short quiet the deferred whole-document checks, otherwise the workspace
// index's walk a bounded step at a time.
#ifndef WYN_LSP_BETWEEN_H
#define WYN_LSP_BETWEEN_H

namespace wyn::lsp {

class Server;

// How long the client must have been quiet before the deferred checks run.
constexpr int kQuietMs = 300;

// The milliseconds of quiet after which work between messages is due: 0
// when a step may run at once; -1 when there is none and the next message
// is all there is to wait for.
int quiet_needed(const Server& server);

// Runs the work quiet_needed() spoke of: the deferred checks, or one
// bounded step of the walk (a message that comes waits for no more).
void work_between(Server& server);

}  // namespace wyn::lsp

#endif
