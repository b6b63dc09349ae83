// The server's spine: the method table with the capabilities announced
// beside it, message dispatch and the lifecycle.
#include "server.h"

#include <algorithm>
#include <new>

#include "uri.h"

namespace wyn::lsp {

Server::Server(Send send, ServerOptions options)
    : send_(std::move(send)), options_(std::move(options)) {
  // One table binds each method to its handler; capabilities() below
  // announces exactly these.
  requests_ = {
      {"initialize", bind(&Server::on_initialize)},
      {"shutdown", bind(&Server::on_shutdown)},
      {"textDocument/semanticTokens/full", bind(&Server::on_tokens_full)},
      {"textDocument/semanticTokens/full/delta", bind(&Server::on_tokens_delta)},
      {"textDocument/semanticTokens/range", bind(&Server::on_tokens_range)},
      {"textDocument/completion", bind(&Server::on_completion)},
      {"completionItem/resolve", bind(&Server::on_completion_resolve)},
      {"textDocument/signatureHelp", bind(&Server::on_signature_help)},
      {"textDocument/hover", bind(&Server::on_hover)},
      {"textDocument/documentSymbol", bind(&Server::on_document_symbol)},
      {"workspace/symbol", bind(&Server::on_workspace_symbol)},
      {"textDocument/definition", bind(&Server::on_definition)},
      {"textDocument/documentLink", bind(&Server::on_document_link)},
      {"textDocument/foldingRange", bind(&Server::on_folding_range)},
      {"textDocument/onTypeFormatting", bind(&Server::on_on_type_formatting)},
      {"textDocument/formatting", bind(&Server::on_formatting)},
      {"textDocument/rangeFormatting", bind(&Server::on_formatting)},
      {"textDocument/codeAction", bind(&Server::on_code_action)},
      {"workspace/executeCommand", bind(&Server::on_execute_command)},
      {"textDocument/diagnostic", bind(&Server::on_diagnostic)},
      {"textDocument/references", bind(&Server::on_references)},
      {"textDocument/documentHighlight", bind(&Server::on_document_highlight)},
      {"textDocument/prepareRename", bind(&Server::on_prepare_rename)},
      {"textDocument/rename", bind(&Server::on_rename)},
  };
  notifications_ = {
      {"initialized", &Server::on_initialized},
      {"exit", &Server::on_exit},
      {"textDocument/didOpen", &Server::on_did_open},
      {"textDocument/didChange", &Server::on_did_change},
      {"textDocument/didClose", &Server::on_did_close},
      {"textDocument/didSave", &Server::on_did_save},
      {"workspace/didChangeConfiguration", &Server::on_did_change_configuration},
      {"workspace/didChangeWatchedFiles", &Server::on_did_change_watched_files},
      {"$/cancelRequest", &Server::on_cancel_request},
  };
}

Server::~Server() = default;

json Server::capabilities() const {
  json legend_types = json::array(), legend_mods = json::array();
  for (const char* t : token_types) legend_types.push_back(t);
  for (const char* m : token_modifiers) legend_mods.push_back(m);
  json caps = json{
      {"positionEncoding", encoding_ == Encoding::Utf8 ? "utf-8" : "utf-16"},
      {"textDocumentSync",
       {{"openClose", true},
        {"change", 2},
        {"save", {{"includeText", false}}},
        {"willSave", false}}},
      {"semanticTokensProvider",
       {{"legend", {{"tokenTypes", legend_types}, {"tokenModifiers", legend_mods}}},
        {"full", {{"delta", true}}},
        {"range", true}}},
      {"completionProvider", {{"resolveProvider", true}, {"triggerCharacters", json::array()}}},
      {"signatureHelpProvider",
       {{"triggerCharacters", {"(", ","}}, {"retriggerCharacters", {","}}}},
      {"hoverProvider", true},
      {"documentSymbolProvider", true},
      {"workspaceSymbolProvider", true},
      {"definitionProvider", true},
      {"documentLinkProvider", {{"resolveProvider", false}}},
      {"foldingRangeProvider", true},
      {"documentOnTypeFormattingProvider", {{"firstTriggerCharacter", "\n"}}},
      {"documentFormattingProvider", true},
      {"documentRangeFormattingProvider", true},
      {"codeActionProvider", {{"codeActionKinds", {"quickfix", "refactor.rewrite"}}}},
      {"executeCommandProvider", {{"commands", {kCommandExpand}}}},
      {"workspace", {{"workspaceFolders", {{"supported", true}}}}},
      {"referencesProvider", true},
      {"documentHighlightProvider", true},
  };
  // The options form only for a client that said it would ask first.
  caps["renameProvider"] = prepare_rename_ ? json{{"prepareProvider", true}} : json(true);
  // Offered only to a client that asks for diagnostics; the others are sent them.
  if (pull_diagnostics_)
    caps["diagnosticProvider"] = {{"interFileDependencies", false},
                                  {"workspaceDiagnostics", false}};
  return caps;
}

// {====== messages

void Server::handle(const std::string& body) {
  // A client that never goes quiet still gets its deferred checks, and the
  // message (a token request, most likely) sees their result.
  if (check_overdue()) idle();
  ParsedMessage parsed;
  try {
    parsed = parse_message(body);
  } catch (const std::bad_alloc&) {
    // The message's tree did not fit: it is answered, and the next may.
    respond(json(nullptr), error(INTERNAL_ERROR, "no memory to read the message"));
    return;
  }
  json& message = parsed.value;
  if (message.is_discarded()) {
    framing_error(PARSE_ERROR, "the message is not valid JSON");
    return;
  }
  if (parsed.too_deep) {
    const std::string& member = parsed.deep_member;
    std::string problem = (member.empty() ? std::string("the message") : member) +
                          " nests deeper than " + std::to_string(kNestingLimit) + " levels";
    if (member == "id")
      respond(json(nullptr), error(INVALID_REQUEST, problem));
    else
      refuse(message, member == "params" ? INVALID_PARAMS : INVALID_REQUEST, problem);
    return;
  }
  try {
    dispatch(message);
  } catch (const std::exception& e) {
    // A handler met JSON it did not expect, or memory ran out while it
    // worked: answer the request, live on.
    bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
    try {
      std::string why = memory ? "Cannot allocate memory" : e.what();
      log(1, "internal error: " + why);
      if (message.is_object() && message.contains("id") && message.contains("method"))
        respond(message["id"], error(memory ? REQUEST_FAILED : INTERNAL_ERROR, why));
    } catch (const std::bad_alloc&) {
      // Not even room to say so: the message goes unanswered.
    }
  }
}

void Server::framing_error(int code, const std::string& problem, const std::string& body) {
  ParsedMessage parsed;
  if (!body.empty()) parsed = parse_message(body);
  bool known = !parsed.value.is_discarded() && !(parsed.too_deep && parsed.deep_member == "id");
  refuse(known ? parsed.value : json(), code, problem);
}

// Answers a message that is not served: by its id when it has a usable
// one; a notification is never answered, so its problem is logged; with a
// null id when nothing can be told of it.
void Server::refuse(const json& message, int code, const std::string& problem) {
  if (message.is_object()) {
    auto id = message.find("id");
    if (id == message.end() && message.contains("method")) {
      auto method = message.find("method");
      log(1,
          (method->is_string() ? method->get<std::string>() : "a notification") + ": " + problem);
      return;
    }
    if (id != message.end() && (id->is_string() || id->is_number_integer())) {
      respond(*id, error(code, problem));
      return;
    }
  }
  respond(json(nullptr), error(code, problem));
}

void Server::dispatch(json& message) {
  if (!message.is_object()) {
    respond(json(nullptr), error(INVALID_REQUEST, "a message is a JSON object"));
    return;
  }
  auto id_it = message.find("id");
  bool has_id = id_it != message.end();
  json id = has_id ? *id_it : json(nullptr);
  if (has_id && !id.is_string() && !id.is_number_integer() && !id.is_null()) {
    respond(json(nullptr), error(INVALID_REQUEST, "id is neither a number nor a string"));
    return;
  }
  auto method_it = message.find("method");
  if (method_it == message.end()) {
    // A client's answer to one of our requests: only a refused file watch
    // matters, so that the index goes back to walking again now and then.
    if (has_id && message.contains("error") && id == watch_request_) watching_ = false;
    if (has_id) return;
    respond(json(nullptr), error(INVALID_REQUEST, "no method"));
    return;
  }
  if (!method_it->is_string()) {
    respond(id, error(INVALID_REQUEST, "method is not a string"));
    return;
  }
  const std::string method = method_it->get<std::string>();
  auto params_it = message.find("params");
  json no_params = json::object();
  json& params = params_it == message.end() || params_it->is_null() ? no_params : *params_it;
  if (!params.is_object() && !params.is_array()) {
    if (has_id) respond(id, error(INVALID_PARAMS, "params is neither an object nor an array"));
    return;
  }

  if (!has_id) {  // a notification: never answered
    auto it = notifications_.find(method);
    if (it == notifications_.end()) return;  // $/cancelRequest and the like
    if (!initialized_ && method != "exit") return;
    (this->*(it->second))(params);
    return;
  }
  auto it = requests_.find(method);
  if (it == requests_.end()) {
    respond(id, error(METHOD_NOT_FOUND, "no method " + method));
    return;
  }
  if (!initialized_ && method != "initialize") {
    respond(id, error(SERVER_NOT_INITIALIZED, "initialize comes first"));
    return;
  }
  if (shutdown_) {
    respond(id, error(INVALID_REQUEST, "the server is shut down"));
    return;
  }
  Reply reply = it->second(params);
  if (reply.parked)
    parked_.push_back(Parked{id, it->second, params});
  else
    respond(id, reply);
}

void Server::respond(const json& id, const Reply& reply) {
  std::string head = "{\"jsonrpc\":\"2.0\",\"id\":" + dump(id) + ",";
  if (reply.code != 0) {
    json err = {{"code", reply.code}, {"message", reply.message}};
    send_(head + "\"error\":" + dump(err) + "}");
  } else if (!reply.raw.empty()) {
    // A token array may be megabytes: copied once, into its place.
    head.reserve(head.size() + 10 + reply.raw.size() + 1);
    head += "\"result\":";
    head += reply.raw;
    head += '}';
    send_(head);
  } else {
    send_(head + "\"result\":" + dump(reply.result) + "}");
  }
}

void Server::notify(const char* method, json params) {
  json m = {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
  send_(dump(m));
}

std::string Server::request(const char* method, json params) {
  std::string id = "wyn-" + std::to_string(next_request_id_++);
  json m = {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}};
  if (!params.is_null()) m["params"] = std::move(params);
  send_(dump(m));
  return id;
}

// The client's log is the one place for the server's messages: stderr is
// not a channel every client shows (some mark all of it as errors). A line
// from before initialize waits for it; a client that sends junk first gets
// only the first few.
void Server::log(int type, const std::string& text) {
  if (initialized_) {
    notify("window/logMessage", MessageParams{MessageType(type), text});
    return;
  }
  constexpr size_t kEarlyLines = 16;
  if (early_log_.size() < kEarlyLines) early_log_.emplace_back(type, text);
}

Server::Reply Server::error(int code, const std::string& message) {
  Reply r;
  r.code = code;
  r.message = message;
  return r;
}

OpenScript* Server::find(const std::string& uri, Reply* err) {
  auto it = scripts_.find(uri);
  if (it != scripts_.end()) return it->second.get();
  *err = error(INVALID_PARAMS, "document not open: " + uri);
  return nullptr;
}

// }======

// {====== lifecycle

namespace {

// A MarkupKind list, in the client's order of preference: true when
// "plaintext" comes before "markdown". Absent or mistyped, markdown.
bool prefers_plaintext(const json* formats) {
  if (formats == nullptr || !formats->is_array()) return false;
  for (const json& f : *formats) {
    if (f == "markdown") return false;
    if (f == "plaintext") return true;
  }
  return false;
}

}  // namespace

bool Server::start_plugin(std::string* error) {
  std::string path = options_.plugin_path.empty() ? Plugin::default_path() : options_.plugin_path;
  if (!plugin_.load(path, error)) return false;
  vocab_.load(plugin_);
  return true;
}

Server::Reply Server::on_initialize(const json& params) {
  if (initialized_) return error(INVALID_REQUEST, "initialize came twice");
  if (!params.is_object()) return error(INVALID_PARAMS, "params is not an object");
  const json caps = params.value("capabilities", json::object());
  if (!caps.is_object()) return error(INVALID_PARAMS, "capabilities is not an object");
  // Pointers into the capabilities, each null when absent or mistyped.
  auto at = [&](const char* path) -> const json* {
    json::json_pointer p(path);
    return caps.contains(p) ? &caps[p] : nullptr;
  };
  if (const json* enc = at("/general/positionEncodings"); enc && enc->is_array())
    for (const json& e : *enc)
      if (e == "utf-8") encoding_ = Encoding::Utf8;
  if (const json* s = at("/textDocument/completion/completionItem/snippetSupport"))
    snippets_ = s->is_boolean() && s->get<bool>();
  if (const json* d = at("/textDocument/completion/completionList/itemDefaults");
      d && d->is_array())
    for (const json& e : *d)
      if (e == "editRange") item_defaults_ = true;
  if (const json* r = at("/workspace/semanticTokens/refreshSupport"))
    refresh_support_ = r->is_boolean() && r->get<bool>();
  if (const json* a = at("/workspace/applyEdit"))
    apply_edit_support_ = a->is_boolean() && a->get<bool>();
  if (const json* p = at("/textDocument/diagnostic")) pull_diagnostics_ = p->is_object();
  if (const json* w = at("/workspace/didChangeWatchedFiles/dynamicRegistration"))
    watch_support_ = w->is_boolean() && w->get<bool>();
  if (const json* c = at("/workspace/workspaceEdit/documentChanges"))
    document_changes_ = c->is_boolean() && c->get<bool>();
  if (const json* r = at("/textDocument/rename/prepareSupport"))
    prepare_rename_ = r->is_boolean() && r->get<bool>();
  plain_hover_ = prefers_plaintext(at("/textDocument/hover/contentFormat"));
  plain_completion_ =
      prefers_plaintext(at("/textDocument/completion/completionItem/documentationFormat"));
  plain_signature_ =
      prefers_plaintext(at("/textDocument/signatureHelp/signatureInformation/documentationFormat"));

  if (auto f = params.find("workspaceFolders"); f != params.end() && f->is_array()) {
    for (const json& folder : *f)
      if (folder.is_object() && folder.value("uri", json()).is_string())
        folders_.push_back(uri_to_path(folder["uri"].get<std::string>()));
  } else if (auto r = params.find("rootUri"); r != params.end() && r->is_string()) {
    folders_.push_back(uri_to_path(r->get<std::string>()));
  }
  folders_.erase(std::remove(folders_.begin(), folders_.end(), std::string()), folders_.end());

  std::string problem;
  if (!start_plugin(&problem)) return error(REQUEST_FAILED, "cannot start the plug-in: " + problem);
  index_.set_limits(options_.index_limits);
  initialized_ = true;
  for (auto& [type, text] : early_log_) log(type, text);
  early_log_.clear();
  for (const std::string& folder : folders_) discover_config(folder);
  if (auto o = params.find("initializationOptions"); o != params.end() && o->is_object())
    apply_settings(*o);
  start_walk();

  json result = {{"capabilities", capabilities()},
                 {"serverInfo", {{"name", "wyn"}, {"version", WYN_VERSION}}}};
  return Reply{result};
}

void Server::on_initialized(json&) {
  watch_files();
}

Server::Reply Server::on_shutdown(const json&) {
  shutdown_ = true;
  answer_parked();  // from the index as it stands: no more walking
  return Reply{json(nullptr)};
}

void Server::on_exit(json&) {
  exited_ = true;
}

// }======

}  // namespace wyn::lsp
