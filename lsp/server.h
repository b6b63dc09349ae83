// The language server: one plug-in in the stand-in editor, one stand-in
// document per open text document, and a handler per protocol method. The
// server is fed whole message bodies and answers through a callback, so
// tests and the fuzzer drive it in-process; run_stdio() is the real loop.
#ifndef WYN_LSP_SERVER_H
#define WYN_LSP_SERVER_H

#include <stdint.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "answers.h"
#include "lsp.h"
#include "protocol.h"
#include "quickfix.h"
#include "references.h"
#include "statements.h"
#include "session.h"
#include "settings.h"
#include "symbols.h"
#include "tokens.h"
#include "vocab.h"

namespace wyn {
// Records named here only, their headers kept out: the checker's severity
// names clash with the macros of the Windows headers some server files take.
struct Diagnostic;
struct IndentUnit;
class IncludeCache;
}  // namespace wyn

namespace wyn::lsp {

// The one command the server runs: a template's expansion in place.
inline constexpr const char* kCommandExpand = "wyn.expandTemplate";

// A script the client has open: its bytes, its lines, the session's
// Document the plug-in works on, and the tokens last computed from its
// colours.
struct OpenScript {
  std::string uri;
  int64_t version = 0;
  std::string text;
  LineIndex lines;
  Document doc;
  TokenStore tokens;
  uint64_t sent_id = 0;     // resultId of the tokens last sent; 0 none
  bool check_due = false;   // changed since the last whole-buffer check
  uint64_t due_since = 0;   // when check_due was set, by the server's clock
  uint64_t generation = 0;  // counts the changes to the text
  // The routines as last found, for the text of routines_generation and
  // the vocabulary of routines_vocabulary.
  std::vector<Routine> routines;
  uint64_t routines_generation = UINT64_MAX, routines_vocabulary = 0;
  bool tokens_since = false;  // tokens were sent since the last change
};

class Server {
 public:
  using Send = std::function<void(const std::string& body)>;
  Server(Send send, ServerOptions options = ServerOptions());
  ~Server();

  // One message body as read; malformed framing reported by the transport,
  // with the message's body when the transport could tell where it ended.
  void handle(const std::string& body);
  void framing_error(int code, const std::string& problem, const std::string& body = "");
  // Called when the client has been quiet for a while: the deferred
  // whole-buffer checks. True when one ran.
  bool idle();
  bool has_idle_work() const;
  // A bounded step of the workspace index's work, and the requests that
  // waited for it answered once it is done; called between messages.
  void background();
  bool has_background_work() const;

  bool exited() const { return exited_; }
  int exit_code() const { return shutdown_ ? 0 : 1; }

 private:
  // What a request handler answers: a result, or an error.
  struct Reply {
    Reply() = default;
    Reply(json r) : result(std::move(r)) {}  // NOLINT: a result converts implicitly
    json result;
    int code = 0;
    std::string message;
    std::string raw;      // a result already written as JSON text
    bool parked = false;  // answered later, when the workspace index is ready
  };
  using Request = std::function<Reply(const json& params)>;
  using Notification = void (Server::*)(json& params);

  void dispatch(json& message);
  void refuse(const json& message, int code, const std::string& problem);
  uint64_t now() const;
  bool check_overdue() const;
  void respond(const json& id, const Reply& reply);
  void notify(const char* method, json params);
  std::string request(const char* method, json params);  // the request's id
  void log(int type, const std::string& text);
  static Reply error(int code, const std::string& message);
  OpenScript* find(const std::string& uri, Reply* err);
  // Reads a request's params and finds the open script they name; null
  // with *reply set to the error when either fails.
  template <class Params>
  OpenScript* take(const json& params, Params* p, Reply* reply) {
    std::string problem;
    if (read(params, p, &problem)) return find(p->uri, reply);
    *reply = error(INVALID_PARAMS, problem);
    return nullptr;
  }

  // Handlers, by the shape of their method: a request answers, a
  // notification does not (and may take what it keeps out of its params,
  // as didOpen does the text); a request about an open script gets its
  // params read and the script found before it is called.
  using RequestHandler = Reply(const json& params);
  using NotificationHandler = void(json& params);
  template <class Params>
  using DocumentRequest = Reply(OpenScript* d, const Params& p);
  Request bind(RequestHandler Server::*handler) {
    return [this, handler](const json& params) { return (this->*handler)(params); };
  }
  template <class Params>
  Request bind(DocumentRequest<Params> Server::*handler) {
    return [this, handler](const json& params) {
      Params p;
      Reply r;
      OpenScript* d = take(params, &p, &r);
      return d == nullptr ? r : (this->*handler)(d, p);
    };
  }

  // {====== lifecycle (server.cpp)
  RequestHandler on_initialize, on_shutdown;
  NotificationHandler on_initialized, on_exit;
  json capabilities() const;
  bool start_plugin(std::string* error);
  // }======

  // {====== configuration (settings.cpp)
  NotificationHandler on_did_change_configuration;
  void apply_settings(const json& settings);
  // Reads and applies a configuration file once it applies cleanly; told:
  // the user named it in a setting, so a problem is shown even when it was
  // shown before.
  void apply_config_file(const std::string& path, bool told);
  void discover_config(const std::string& folder);
  void vocabulary_changed();
  // }======

  // {====== documents and colours (documents.cpp)
  NotificationHandler on_did_open, on_did_change, on_did_close;
  DocumentRequest<DocumentParams> on_tokens_full;
  DocumentRequest<DeltaParams> on_tokens_delta;
  DocumentRequest<RangeParams> on_tokens_range;
  // False when the change would take the script past the size limit;
  // throws std::bad_alloc when memory ran out part way through it.
  bool apply_change(OpenScript* d, const ContentChange& change);
  void cannot_hold(const std::string& uri, const char* what);
  void open_script(DidOpenParams& p);  // throws std::bad_alloc without memory
  void tokens_of(const OpenScript* d, uint32_t first, uint32_t last, std::vector<Token>* flat,
                 std::vector<uint32_t>* counts) const;
  bool retoken(OpenScript* d, uint32_t first, uint32_t last, bool replace_all);
  const std::vector<Routine>& routines_of(OpenScript* d);
  bool check_whole(OpenScript* d);
  // The problems the checker finds in d as coloured now, as the protocol
  // has them; throws std::bad_alloc without memory.
  json diagnostics_of(OpenScript* d);
  // Sends them to a client that does not ask for them (none, with d null,
  // for a script closed under uri).
  void publish_diagnostics(OpenScript* d, const std::string& uri);
  DocumentRequest<DocumentParams> on_diagnostic;
  std::string tokens_full(OpenScript* d);
  // }======

  // {====== features (features.cpp)
  DocumentRequest<PositionParams> on_completion, on_signature_help, on_hover;
  DocumentRequest<DocumentParams> on_document_symbol, on_folding_range;
  DocumentRequest<OnTypeParams> on_on_type_formatting;
  DocumentRequest<CodeActionParams> on_code_action;
  RequestHandler on_completion_resolve, on_execute_command;
  // The plug-in's expansion at pos as one edit, and where its cursor mark
  // put the cursor in the text after the edit.
  bool expansion_edit(OpenScript* d, size_t pos, TextEdit* edit, Position* cursor);
  bool word_at(const OpenScript* d, Position at, size_t* a, size_t* b) const;
  // }======

  // {====== formatting (formatting.cpp)
  DocumentRequest<FormattingParams> on_formatting;
  // One level of the client's indentation as its FormattingOptions give it.
  static IndentUnit indent_unit(uint32_t tab_size, bool insert_spaces);
  // }======

  // {====== references, highlight and rename (references.cpp)
  RequestHandler on_references, on_rename;
  DocumentRequest<PositionParams> on_document_highlight, on_prepare_rename;
  struct FileUses;  // one file's uses of a name
  NameMap names_of(OpenScript* d);
  bool symbol_at(OpenScript* d, const NameMap& names, Position at, NameSymbol* symbol, Range* range,
                 std::string* why);
  void uses_of(OpenScript* d, const NameMap& names, const NameSymbol& symbol,
               std::vector<FileUses>* out);
  // }======

  // {====== includes (links.cpp)
  DocumentRequest<DocumentParams> on_document_link;
  // The files d includes, directly or not, nearest first, as paths.
  std::vector<std::string> includes_of(const OpenScript* d);
  // Missing and circular includes; throws std::bad_alloc without memory.
  std::vector<Diagnostic> include_problems(const OpenScript* d) const;
  // The included files read for include_problems, kept while unchanged on
  // disk (made on first use; shared_ptr, so its header stays out of here).
  mutable std::shared_ptr<IncludeCache> include_cache_;
  void forget_included_files();  // a file was saved or changed on disk
  void index_includes(const OpenScript* d);
  // A routine named in d as found: in d, then in the files it includes,
  // nearest first; definitions before declarations.
  struct RoutineAt {
    std::string uri, header;
    size_t name_at = 0;  // where the name starts in header
    Range range;         // the whole routine
    bool declaration = false;
  };
  std::vector<RoutineAt> routines_named(OpenScript* d, const std::string& name);
  bool routine_signature(const RoutineAt& r, uint32_t commas, SignatureHelp* help) const;
  std::vector<std::string> include_dirs_for(const OpenScript* d) const;
  std::vector<std::string> include_dirs_;  // wyn.includeDirs, as paths
  // }======

  // {====== the workspace index (workspace.cpp)
  RequestHandler on_workspace_symbol;
  DocumentRequest<PositionParams> on_definition;
  NotificationHandler on_did_save, on_did_change_watched_files, on_cancel_request;
  void watch_files();
  bool must_wait();
  void answer_parked();
  void start_walk();
  struct SymbolHit {
    std::string name, uri;
    Position start, end;
  };
  std::vector<SymbolHit> symbols_matching(const std::string& query, bool exact, const char* what);
  // }======

  Send send_;
  ServerOptions options_;
  Plugin plugin_;
  Vocabulary vocab_;
  std::map<std::string, std::unique_ptr<OpenScript>> scripts_;
  std::map<std::string, Request> requests_;
  std::map<std::string, Notification> notifications_;
  Document scratch_;  // for expansions, indents and workspace files
  WorkspaceIndex index_;
  // Requests that wait for the index's first walk, answered in order.
  struct Parked {
    json id;
    Request handler;
    json params;
  };
  std::vector<Parked> parked_;
  bool watch_support_ = false;  // the client registers file watchers on request
  bool watching_ = false;       // ... and was asked to, for scripts
  std::string watch_request_;   // the id of that request
  double walk_started_ = 0;     // seconds on a steady clock

  bool initialized_ = false, shutdown_ = false, exited_ = false;
  Encoding encoding_ = Encoding::Utf16;
  bool snippets_ = false;             // the client takes snippet completions
  bool item_defaults_ = false;        // ... and a list-wide edit range
  bool refresh_support_ = false;      // workspace/semanticTokens/refresh
  bool apply_edit_support_ = false;   // workspace/applyEdit
  bool pull_diagnostics_ = false;     // textDocument/diagnostic, asked for instead of sent
  bool document_changes_ = false;     // a WorkspaceEdit's documentChanges, with versions
  bool prepare_rename_ = false;       // textDocument/prepareRename
  std::vector<std::string> folders_;  // workspace folders, as paths
  std::vector<std::string> configs_applied_;
  std::map<std::string, std::string> config_problems_;  // path: the problem last shown
  // Lines logged before initialize, sent once it runs (the first few only).
  std::vector<std::pair<int, std::string>> early_log_;
  uint64_t next_result_id_ = 1;
  uint64_t next_request_id_ = 1;

  // Documentation as plain text, where the client renders no markdown.
  bool plain_hover_ = false, plain_completion_ = false, plain_signature_ = false;
};

// The server over stdin and stdout until exit; the process's exit status.
int run_stdio(const ServerOptions& options);

}  // namespace wyn::lsp

#endif
