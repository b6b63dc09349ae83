// What the server sends: the results of its requests and the params of the
// messages it starts, as plain structs, each with the one writer that puts
// it into JSON. Most go through nlohmann-json's to_json (so `json j =
// answer;` works); the answers that run to thousands of entries (the
// completion list, document and workspace symbols, folding ranges) have
// write_json instead, which writes their text directly (see jsonw.h): a
// JSON tree of them first would cost several times the work behind them.
// A field left empty in a struct is left out of the JSON, not written as
// null.
#ifndef WYN_LSP_ANSWERS_H
#define WYN_LSP_ANSWERS_H

#include <stdint.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "protocol.h"

namespace wyn::lsp {

// Text for the client to render: markdown, or plain text for a client
// that renders only that.
struct MarkupContent {
  std::string value;
  bool plaintext = false;
};
void to_json(json& j, const MarkupContent& m);

// A piece of script (a template, a routine's header) with an optional note
// after it: a fenced block in markdown, the text as it is in plain text.
MarkupContent code_markup(bool plaintext, const std::string& code, const std::string& note = "");

struct TextEdit {
  Range range;
  std::string new_text;
};
void to_json(json& j, const TextEdit& e);

struct Location {
  std::string uri;
  Range range;
};
void to_json(json& j, const Location& l);

// The protocol's CompletionItemKind and SymbolKind values the server uses.
enum class CompletionKind { Function = 3, Keyword = 14, Snippet = 15, Constant = 21 };
enum class SymbolKind { Function = 12 };

struct CompletionItem {
  std::string label;
  CompletionKind kind = CompletionKind::Keyword;
  // A template: its text is plain or a snippet, and its indentation
  // already follows the line, so the client is to insert it as it is.
  std::optional<bool> snippet;
  // What replaces the typed word: an edit of its own, or only the text when
  // the list gives every item the same range; neither when that text is the
  // label and the list gives the range.
  std::optional<TextEdit> text_edit;
  std::optional<std::string> text_edit_text;
};

struct CompletionList {
  bool is_incomplete = false;
  std::optional<Range> edit_range;  // the range every item replaces
  std::vector<CompletionItem> items;
};
void write_json(std::string* out, const CompletionList& l);

struct Hover {
  MarkupContent contents;
  Range range;
};
void to_json(json& j, const Hover& h);

// A parameter's label, as offsets into its signature's label.
struct ParameterInformation {
  uint32_t start = 0, end = 0;
};
void to_json(json& j, const ParameterInformation& p);

struct SignatureInformation {
  std::string label;
  std::vector<ParameterInformation> parameters;
  uint32_t active_parameter = 0;
  MarkupContent documentation;
};
void to_json(json& j, const SignatureInformation& s);

struct SignatureHelp {
  std::vector<SignatureInformation> signatures;
  uint32_t active_signature = 0;
  uint32_t active_parameter = 0;
};
void to_json(json& j, const SignatureHelp& s);

struct DocumentSymbol {
  std::string name, detail;
  SymbolKind kind = SymbolKind::Function;
  Range range, selection_range;
};
void write_json(std::string* out, const std::vector<DocumentSymbol>& symbols);

// A workspace/symbol answer's entry.
struct SymbolInformation {
  std::string name;
  SymbolKind kind = SymbolKind::Function;
  Location location;
};
void write_json(std::string* out, const std::vector<SymbolInformation>& symbols);

struct FoldingRange {
  uint32_t start_line = 0, end_line = 0;
  bool comment = false;  // a block comment, rather than a routine
};
void write_json(std::string* out, const std::vector<FoldingRange>& folds);

struct Command {
  std::string title, command;
  json arguments = json::array();
};
void to_json(json& j, const Command& c);

struct CodeAction {
  std::string title, kind;
  Command command;
};
void to_json(json& j, const CodeAction& a);

struct WorkspaceEdit {
  std::map<std::string, std::vector<TextEdit>> changes;  // by uri
};
void to_json(json& j, const WorkspaceEdit& e);

// workspace/applyEdit's params.
struct ApplyWorkspaceEditParams {
  std::string label;
  WorkspaceEdit edit;
};
void to_json(json& j, const ApplyWorkspaceEditParams& p);

// window/showMessage's and window/logMessage's params.
enum class MessageType { Error = 1, Warning = 2, Info = 3 };
struct MessageParams {
  MessageType type = MessageType::Info;
  std::string message;
};
void to_json(json& j, const MessageParams& m);

}  // namespace wyn::lsp

#endif
