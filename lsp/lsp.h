// The language server's one door for the tool: `wyn lsp` hands its
// arguments here. Everything else in this folder is the server's own.
#ifndef WYN_LSP_LSP_H
#define WYN_LSP_LSP_H

namespace wyn::lsp {

// `wyn lsp [--stdio]`: argv[0] is "lsp". Serves stdin and stdout until the
// client's exit; the process's exit status. Its help is the tool's
// (wyn lsp --help is answered before it is called).
int lsp_main(int argc, char** argv);

}  // namespace wyn::lsp

#endif
