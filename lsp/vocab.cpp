// The plug-in's words and templates, and templates turned into snippets.
#include "vocab.h"

#include "chars.h"

namespace wyn::lsp {

namespace {

std::string trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && is_blank(s[a])) a++;
  while (b > a && is_blank(s[b - 1])) b--;
  return s.substr(a, b - a);
}

void escape_snippet(char c, std::string* out) {
  if (c == '$' || c == '}' || c == '\\') out->push_back('\\');
  out->push_back(c);
}

// '@' takes one level off: a trailing tab, or else up to 8 trailing blanks,
// as the editor's template expansion does.
void outdent(std::string* indent) {
  if (!indent->empty() && indent->back() == '\t') {
    indent->pop_back();
    return;
  }
  for (int i = 0; i < 8 && !indent->empty() && indent->back() == ' '; i++) indent->pop_back();
}

// A template of any form, line by line as the editor expands it: new lines
// follow the indentation of the line before, '@' after a line feed takes a
// level off, the first '&' is the cursor.
std::string expand_lines(const std::string& text, const std::string& indent, bool snippet) {
  std::string out, line_indent = indent;
  bool leading = false, caret = false;
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n') {
      std::string next = line_indent;
      if (i + 1 < text.size() && text[i + 1] == '@') outdent(&next), i++;
      out += '\n';
      for (char k : next) snippet ? escape_snippet(k, &out) : out.push_back(k);
      line_indent = next;
      leading = true;
    } else if (c == '&') {
      if (!caret && snippet) out += "$0";
      caret = true;
    } else {
      if (leading && is_blank(c))
        line_indent += c;
      else
        leading = false;
      snippet ? escape_snippet(c, &out) : out.push_back(c);
    }
  }
  return out;
}

}  // namespace

void Vocabulary::load(const Plugin& plugin) {
  generation++;
  word_class.clear();
  template_text.clear();
  for (int c = 0; c < 3; c++) {
    words[c] = plugin.words(c);
    for (const std::string& w : words[c]) word_class.emplace(w, c);  // the first class wins
  }
  templates = plugin.templates();
  for (const auto& t : templates) template_text[t.first] = t.second;
}

int Vocabulary::class_of(const std::string& word) const {
  auto it = word_class.find(word);
  return it == word_class.end() ? -1 : it->second;
}

const std::string* Vocabulary::template_of(const std::string& name) const {
  auto it = template_text.find(name);
  return it == template_text.end() ? nullptr : &it->second;
}

bool parse_call_template(const std::string& text, CallTemplate* out) {
  size_t i = 0;
  while (i < text.size() && is_name_char(text[i])) i++;
  if (i == 0) return false;
  out->name = text.substr(0, i);
  while (i < text.size() && is_blank(text[i])) i++;
  if (i >= text.size() || text[i] != '(') return false;
  size_t close = text.rfind(')');
  if (close == std::string::npos || close < i || text.find('\n') != std::string::npos) return false;
  std::string inner = text.substr(i + 1, close - i - 1);
  if (trim(inner).empty() || trim(inner)[0] != '&') return false;
  out->params.clear();
  out->offsets.clear();
  out->signature = out->name + " (";
  size_t from = 0;
  for (;;) {
    size_t comma = inner.find(',', from);
    std::string p = trim(inner.substr(from, comma == std::string::npos ? comma : comma - from));
    if (!p.empty() && p[0] == '&') p.erase(0, 1);
    if (p.empty()) p = "...";  // an open last argument, as in a format call
    if (!out->params.empty()) out->signature += ", ";
    uint32_t at = (uint32_t)out->signature.size();
    out->signature += p;
    out->offsets.emplace_back(at, (uint32_t)out->signature.size());
    out->params.push_back(p);
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  out->signature += ")";
  return true;
}

std::string template_snippet(const std::string& text, const std::string& indent) {
  CallTemplate call;
  if (!parse_call_template(text, &call)) return expand_lines(text, indent, true);
  // Each parameter becomes a placeholder where it stands, keeping the
  // template's own blanks and commas; the cursor ends after the call.
  size_t open = text.find('('), close = text.rfind(')');
  std::string out;
  for (size_t i = 0; i <= open; i++) escape_snippet(text[i], &out);
  size_t from = open + 1;
  int n = 1;
  for (;;) {
    size_t comma = text.find(',', from);
    size_t end = comma == std::string::npos || comma > close ? close : comma;
    size_t a = from, b = end;
    while (a < b && is_blank(text[a])) a++;
    while (b > a && is_blank(text[b - 1])) b--;
    out += text.substr(from, a - from);
    std::string name = text.substr(a, b - a);
    if (!name.empty() && name[0] == '&') name.erase(0, 1);
    out += "${" + std::to_string(n++);
    if (!name.empty()) {
      out += ':';
      for (char c : name) escape_snippet(c, &out);
    }
    out += '}';
    out += text.substr(b, end - b);
    if (end == close) break;
    out += ',';
    from = end + 1;
  }
  for (size_t i = close; i < text.size(); i++)
    if (text[i] != '&') escape_snippet(text[i], &out);
  return out + "$0";
}

std::string template_plain(const std::string& text, const std::string& indent) {
  return expand_lines(text, indent, false);
}

}  // namespace wyn::lsp
