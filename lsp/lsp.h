// The language server's one door for the front ends: `wyn lsp` hands its
// arguments here, and a host with no standard streams (a browser's worker)
// feeds it messages through lsp_embedded_*. Everything else in this folder
// is the server's own.
#ifndef WYN_LSP_LSP_H
#define WYN_LSP_LSP_H

#include <stddef.h>

namespace wyn::lsp {

// `wyn lsp [--stdio]`: argv[0] is "lsp". Serves stdin and stdout until the
// client's exit; the process's exit status. Its help is the tool's
// (wyn lsp --help is answered before it is called).
int lsp_main(int argc, char** argv);

// The server in-process, one at a time, for a host that carries the
// messages itself. send gets each message the server sends, as a JSON body
// (no header), with the context given to open; false when one is open
// already or there was no memory for it.
using EmbeddedSend = void (*)(const char* body, size_t n, void* context);
bool lsp_embedded_open(EmbeddedSend send, void* context);
// One message body from the client. -1 while the server serves; once the
// client's exit came, the status lsp_main would have ended with (0 only
// after shutdown), and the host closes it.
int lsp_embedded_feed(const char* body, size_t n);
// Runs the deferred work that is due (the whole-document checks once the
// client has been quiet a moment, the workspace walk's steps); the
// milliseconds until it should be called again, 0 at once, -1 not before
// the next message.
int lsp_embedded_tick();
void lsp_embedded_close();

}  // namespace wyn::lsp

#endif
