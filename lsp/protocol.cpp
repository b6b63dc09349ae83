// Readers and writers of the protocol's structs.
#include "protocol.h"

namespace wyn::lsp {

namespace {

// The code unit of "\uXXXX" at s[at], or -1 when s holds no such escape there.
long escaped_unit(const std::string& s, size_t at) {
  if (at + 6 > s.size() || s[at] != '\\' || s[at + 1] != 'u') return -1;
  long v = 0;
  for (size_t i = at + 2; i < at + 6; i++) {
    char c = s[i];
    int d = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : -1;
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

// Copies body into *out with every lone surrogate escape made "\uFFFD",
// the same length, so nothing else moves. False when there was none (and
// *out is untouched). Escapes are taken in order from each backslash; one
// outside a string makes the body invalid JSON anyway.
bool mend_surrogates(const std::string& body, std::string* out) {
  bool mended = false;
  for (size_t i = body.find('\\'); i != std::string::npos; i = body.find('\\', i)) {
    long unit = escaped_unit(body, i);
    if (unit < 0) {
      i += 2;  // any other escape, "\\" included
      continue;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      long low = escaped_unit(body, i + 6);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        i += 12;  // a whole pair
        continue;
      }
    } else if (unit < 0xDC00 || unit > 0xDFFF) {
      i += 6;
      continue;
    }
    if (!mended) *out = body, mended = true;
    out->replace(i + 2, 4, "FFFD");
    i += 6;
  }
  return mended;
}

}  // namespace

ParsedMessage parse_message(const std::string& body) {
  ParsedMessage m;
  std::string mended;
  const std::string& text = mend_surrogates(body, &mended) ? mended : body;
  std::string member;  // the top-level key last read
  // Containers past the limit are dropped as they are parsed (the parser
  // itself keeps its levels on the heap), so no deep tree is ever built.
  auto limit = [&](int depth, json::parse_event_t event, json& parsed) {
    if (event == json::parse_event_t::key && depth == 1) member = parsed.get<std::string>();
    if (depth <= kNestingLimit ||
        (event != json::parse_event_t::object_start && event != json::parse_event_t::array_start))
      return true;
    if (!m.too_deep) m.deep_member = member;
    m.too_deep = true;
    return false;
  };
  m.value = json::parse(text, limit, false);
  return m;
}

Fields::Fields(const json& j, const char* what) : j_(j), what_(what) {
  if (!j.is_object()) problem_ = what_ + " is not an object";
}

void Fields::fail(const std::string& problem) {
  if (problem_.empty()) problem_ = problem;
}

bool Fields::has(const char* key) const {
  return j_.is_object() && j_.contains(key) && !j_[key].is_null();
}

const json* Fields::get(const char* key, bool required) {
  if (!ok()) return nullptr;
  auto it = j_.find(key);
  if (it == j_.end() || it->is_null()) {
    if (required) fail(what_ + "." + key + " is missing");
    return nullptr;
  }
  return &*it;
}

const json* Fields::object(const char* key, bool required) {
  const json* v = get(key, required);
  if (v && !v->is_object()) fail(what_ + "." + key + " is not an object"), v = nullptr;
  return v;
}

const json* Fields::array(const char* key, bool required) {
  const json* v = get(key, required);
  if (v && !v->is_array()) fail(what_ + "." + key + " is not an array"), v = nullptr;
  return v;
}

std::string Fields::string(const char* key, bool required) {
  const json* v = get(key, required);
  if (v == nullptr) return std::string();
  if (!v->is_string()) {
    fail(what_ + "." + key + " is not a string");
    return std::string();
  }
  return v->get<std::string>();
}

uint32_t Fields::uint(const char* key, bool required) {
  const json* v = get(key, required);
  if (v == nullptr) return 0;
  if (!v->is_number_unsigned() || v->get<uint64_t>() > UINT32_MAX) {
    fail(what_ + "." + key + " is not a number from 0 to 2^32-1");
    return 0;
  }
  return (uint32_t)v->get<uint64_t>();
}

int64_t Fields::integer(const char* key, bool required) {
  const json* v = get(key, required);
  if (v == nullptr) return 0;
  if (!v->is_number_integer() ||
      (v->is_number_unsigned() && v->get<uint64_t>() > (uint64_t)INT64_MAX)) {
    fail(what_ + "." + key + " is not an integer");
    return 0;
  }
  return v->get<int64_t>();
}

bool Fields::boolean(const char* key, bool fallback) {
  const json* v = get(key, false);
  if (v == nullptr) return fallback;
  if (!v->is_boolean()) {
    fail(what_ + "." + key + " is not true or false");
    return fallback;
  }
  return v->get<bool>();
}

bool read(const json& j, Position* out, std::string* problem) {
  Fields f(j, "position");
  out->line = f.uint("line");
  out->character = f.uint("character");
  if (!f.ok()) *problem = f.problem();
  return f.ok();
}

bool read(const json& j, Range* out, std::string* problem) {
  Fields f(j, "range");
  const json* start = f.object("start");
  const json* end = f.object("end");
  if (!f.ok()) {
    *problem = f.problem();
    return false;
  }
  return read(*start, &out->start, problem) && read(*end, &out->end, problem);
}

void to_json(json& j, const Position& p) {
  j = json{{"line", p.line}, {"character", p.character}};
}

void to_json(json& j, const Range& r) {
  j = json{{"start", r.start}, {"end", r.end}};
}

bool read_uri(const json& j, std::string* uri, std::string* problem) {
  Fields f(j, "params");
  const json* doc = f.object("textDocument");
  if (f.ok()) {
    Fields d(*doc, "textDocument");
    *uri = d.string("uri");
    if (!d.ok()) f.fail(d.problem());
  }
  if (!f.ok()) *problem = f.problem();
  return f.ok();
}

bool read(const json& j, DocumentParams* out, std::string* problem) {
  return read_uri(j, &out->uri, problem);
}

// The object under key, or null with *problem set.
const json* member(const json& j, const char* key, std::string* problem) {
  Fields f(j, "params");
  const json* v = f.object(key);
  if (!f.ok()) *problem = f.problem();
  return v;
}

bool read(const json& j, PositionParams* out, std::string* problem) {
  if (!read_uri(j, &out->uri, problem)) return false;
  const json* p = member(j, "position", problem);
  return p != nullptr && read(*p, &out->position, problem);
}

bool read(const json& j, DidOpenParams* out, std::string* problem) {
  Fields f(j, "params");
  const json* doc = f.object("textDocument");
  if (f.ok()) {
    Fields d(*doc, "textDocument");
    out->uri = d.string("uri");
    out->language = d.string("languageId", false);
    out->version = d.integer("version", false);
    out->text = d.string("text");
    if (!d.ok()) f.fail(d.problem());
  }
  if (!f.ok()) *problem = f.problem();
  return f.ok();
}

bool read_taking_text(json& j, DidOpenParams* out, std::string* problem) {
  std::string text;
  if (j.is_object() && j.contains("textDocument") && j["textDocument"].is_object()) {
    json& doc = j["textDocument"];
    if (auto t = doc.find("text"); t != doc.end() && t->is_string())
      text = std::move(t->get_ref<std::string&>());  // leaves a string, so read() still finds one
  }
  if (!read(static_cast<const json&>(j), out, problem)) return false;
  out->text = std::move(text);
  return true;
}

bool read(const json& j, DidChangeParams* out, std::string* problem) {
  Fields f(j, "params");
  const json* doc = f.object("textDocument");
  const json* changes = f.array("contentChanges");
  if (f.ok()) {
    Fields d(*doc, "textDocument");
    out->uri = d.string("uri");
    out->version = d.integer("version", false);
    if (!d.ok()) f.fail(d.problem());
  }
  for (size_t i = 0; f.ok() && i < changes->size(); i++) {
    Fields c((*changes)[i], "contentChanges[]");
    ContentChange change;
    change.text = c.string("text");
    const json* range = c.object("range", false);
    if (c.ok() && range != nullptr) {
      Range r;
      std::string p;
      if (read(*range, &r, &p))
        change.range = r;
      else
        c.fail(p);
    }
    if (!c.ok()) f.fail(c.problem());
    out->changes.push_back(std::move(change));
  }
  if (!f.ok()) *problem = f.problem();
  return f.ok();
}

bool read(const json& j, RangeParams* out, std::string* problem) {
  if (!read_uri(j, &out->uri, problem)) return false;
  const json* r = member(j, "range", problem);
  return r != nullptr && read(*r, &out->range, problem);
}

bool read(const json& j, DeltaParams* out, std::string* problem) {
  if (!read_uri(j, &out->uri, problem)) return false;
  Fields f(j, "params");
  out->previous_result_id = f.string("previousResultId");
  if (!f.ok()) *problem = f.problem();
  return f.ok();
}

// The FormattingOptions a formatting request carries, when it does.
static void read_formatting_options(Fields& f, uint32_t* tab_size, bool* insert_spaces) {
  const json* options = f.object("options", false);
  if (f.ok() && options != nullptr) {
    Fields o(*options, "options");
    *tab_size = o.uint("tabSize", false);
    *insert_spaces = o.boolean("insertSpaces", false);
    if (!o.ok()) f.fail(o.problem());
  }
}

bool read(const json& j, OnTypeParams* out, std::string* problem) {
  PositionParams pp;
  if (!read(j, &pp, problem)) return false;
  out->uri = pp.uri;
  out->position = pp.position;
  Fields f(j, "params");
  out->ch = f.string("ch");
  read_formatting_options(f, &out->tab_size, &out->insert_spaces);
  if (!f.ok()) *problem = f.problem();
  return f.ok();
}

bool read(const json& j, FormattingParams* out, std::string* problem) {
  if (!read_uri(j, &out->uri, problem)) return false;
  if (j.contains("range")) {
    const json* r = member(j, "range", problem);
    Range range;
    if (r == nullptr || !read(*r, &range, problem)) return false;
    out->range = range;
  }
  Fields f(j, "params");
  read_formatting_options(f, &out->tab_size, &out->insert_spaces);
  if (!f.ok()) *problem = f.problem();
  return f.ok();
}

std::string dump(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace wyn::lsp
