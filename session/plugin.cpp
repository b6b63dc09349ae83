// The plug-in as the editor holds it: loaded, started, configured through
// its registered entry points, and asked what start-up built. Every call
// into it goes through call_plugin, which turns a memory refusal on the
// way into std::bad_alloc.
#include <assert.h>

#include <new>

#include "cwedit.h"
#include "plugin_calls.h"
#include "session.h"

namespace wyn {

namespace {

bool fail(std::string* error, const std::string& problem) {
  if (error != nullptr) *error = problem;
  return false;
}

}  // namespace

// The editor's refusals are counted: any made while the plug-in ran left
// something out of the action under way, reported once the plug-in has
// returned.
bool call_plugin(const char* name, int argc, const char* const* argv, long* result,
                 std::string* error) {
  assert(name != nullptr && (argc == 0 || argv != nullptr));
  cw_long r = 0;
  unsigned long refusals = cw_memory_refusals();
  int called = cw_call(name, argc, argv, &r);
  if (cw_memory_refusals() != refusals) throw std::bad_alloc();
  if (called != 0)
    return fail(error, std::string("the plug-in did not register ") + name + " for " +
                           std::to_string(argc) + " argument(s)");
  if (result != nullptr) *result = (long)r;
  return true;
}

Plugin::~Plugin() {
  if (loaded_) cw_unload_module();
}

bool Plugin::load(const std::string& path, std::string* error) {
  cw_record_runs(0);  // nobody here reads them: one record per run would cost more than the text
  unsigned long refusals = cw_memory_refusals();
  loaded_ = cw_load_module(path.c_str()) == 0;
  if (!loaded_) return fail(error, path + ": cannot load the plug-in");
  if (cw_memory_refusals() != refusals) {  // start-up left tables or words out
    cw_unload_module();
    loaded_ = false;
    throw std::bad_alloc();
  }
  return true;
}

bool Plugin::add_keyword(const std::string& word, long word_class, std::string* error) {
  assert(loaded_);
  std::string cls = std::to_string(word_class);
  const char* argv[] = {word.c_str(), cls.c_str()};
  return call_plugin("_wyn_add_keyword", 2, argv, nullptr, error);
}

bool Plugin::assign_template(const std::string& name, const std::string& text, std::string* error) {
  assert(loaded_);
  const char* argv[] = {name.c_str(), text.c_str()};
  return call_plugin("_wyn_assign_template", 2, argv, nullptr, error);
}

bool Plugin::set_hash_size(long word_class, long size, std::string* error) {
  assert(loaded_);
  std::string cls = std::to_string(word_class), n = std::to_string(size);
  const char* argv[] = {cls.c_str(), n.c_str()};
  return call_plugin("_wyn_hash_size", 2, argv, nullptr, error);
}

bool Plugin::set_comment_introducer(const std::string& text, std::string* error) {
  assert(loaded_);
  const char* argv[] = {text.c_str()};
  return call_plugin("WYNSetCommentChar", 1, argv, nullptr, error);
}

bool Plugin::call(const char* name, int argc, const char* const* argv, long* result,
                  std::string* error) {
  assert(loaded_);
  if (name == nullptr) return fail(error, "no function name");
  return call_plugin(name, argc, argv, result, error);
}

std::vector<std::string> Plugin::functions() const {
  std::vector<std::string> out;
  for (size_t i = 0; i < cw_export_count(); i++) out.push_back(cw_export_at(i));
  return out;
}

std::vector<std::string> Plugin::extensions() const {
  std::vector<std::string> out;
  for (size_t i = 0; i < cw_extension_count(); i++) out.push_back(cw_extension_at(i));
  return out;
}

std::vector<TableInfo> Plugin::tables() const {
  std::vector<TableInfo> out;
  for (size_t i = 0; i < cw_table_count(); i++) {
    TableInfo t;
    t.entries = cw_table_size(cw_table_at(i));
    t.buckets = (long)cw_table_buckets(cw_table_at(i));
    out.push_back(t);
  }
  return out;
}

unsigned long long Plugin::host_calls() const {
  return cw_call_count();
}

namespace {

// Index of the template table start-up made: the last table created with
// the template flag. Its three keyword tables were created just before it,
// in class order; tables the editor made before start-up may come first. -1
// before start-up.
long template_table_index() {
  for (size_t i = cw_table_count(); i-- > 0;)
    if (cw_table_flag(cw_table_at(i)) == CW_HASH_TEMPLATES) return i >= 3 ? (long)i : -1;
  return -1;
}

}  // namespace

std::vector<std::string> Plugin::words(int word_class) const {
  std::vector<std::string> out;
  long t = template_table_index();
  if (t < 0 || word_class < 0 || word_class > 2) return out;
  cw_table table = cw_table_at((size_t)(t - 3 + word_class));
  for (size_t k = 0; k < cw_table_size(table); k++) {
    size_t n = 0;
    const char* key = cw_table_key(table, k, &n);
    if (key != nullptr) out.emplace_back(key, n);
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> Plugin::templates() const {
  std::vector<std::pair<std::string, std::string>> out;
  long t = template_table_index();
  if (t < 0) return out;
  cw_table table = cw_table_at((size_t)t);
  for (size_t k = 0; k < cw_table_size(table); k++) {
    size_t n = 0;
    const char* key = cw_table_key(table, k, &n);
    if (key == nullptr) continue;
    std::string name(key, n);
    if (name.find('\0') != std::string::npos) continue;  // no NUL-terminated lookup for it
    cw_slot slot = cw_table_find(table, name.c_str());
    const char* text = slot != nullptr ? (const char*)*slot : nullptr;
    if (text != nullptr) out.emplace_back(name, text);
  }
  return out;
}

long Plugin::category_colour(int category) const {
  return (long)cw_category_colour(category);
}

void Plugin::set_state_flag(long value) {
  cw_set_state_flag((cw_long)value);
}

}  // namespace wyn
