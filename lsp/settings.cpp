// Configuration: a client's settings read and applied to the plug-in, and
// configuration files named in them or found in a workspace folder. Words
// and templates can only be added; the plug-in has no way to take one back.
#include <assert.h>

#include <utility>

#include "server.h"

namespace wyn::lsp {

namespace {

// Whole-word class names a client may use for configuration.
int class_named(const std::string& name) {
  static const char* const names[3] = {"constant", "keyword", "function"};
  for (int c = 0; c < 3; c++)
    if (name == names[c] || name == std::string(1, (char)('0' + c))) return c;
  return -1;
}

void add_word(ClientSettings* s, const json& word, int cls) {
  bool ok = word.is_string() && cls >= 0 && !word.get<std::string>().empty();
  s->keywords.push_back({ok ? word.get<std::string>() : std::string(), ok ? cls : -1});
}

void read_keywords(const json& k, ClientSettings* s) {
  if (k.is_object()) {
    for (auto it = k.begin(); it != k.end(); ++it) {
      const json& v = it.value();
      if (v.is_array())
        for (const json& w : v) add_word(s, w, class_named(it.key()));
      else if (v.is_string())
        add_word(s, json(it.key()), class_named(v.get<std::string>()));
      else if (v.is_number_unsigned() && v.get<uint64_t>() <= 2)
        add_word(s, json(it.key()), (int)v.get<uint64_t>());
      else
        add_word(s, json(), -1);
    }
  } else if (k.is_array()) {
    for (const json& e : k) {
      if (!e.is_object()) {
        add_word(s, json(), -1);
        continue;
      }
      json cls = e.value("class", json());
      int c = cls.is_string() ? class_named(cls.get<std::string>()) : -1;
      // A number is looked at whole: a huge one cut to an int could land
      // in range.
      if (cls.is_number_integer() && cls.get<int64_t>() >= 0 && cls.get<int64_t>() <= 2)
        c = (int)cls.get<int64_t>();
      add_word(s, e.value("word", json()), c);
    }
  } else if (!k.is_null()) {
    s->keywords_problem =
        "wyn.keywords is an object of class name to words, or a list of {word, class}";
  }
}

void read_templates(const json& t, ClientSettings* s) {
  if (t.is_object()) {
    for (auto it = t.begin(); it != t.end(); ++it) {
      if (!it.value().is_string() || it.key().empty())
        s->templates.emplace_back();
      else
        s->templates.emplace_back(it.key(), it.value().get<std::string>());
    }
  } else if (!t.is_null()) {
    s->templates_problem = "wyn.templates is an object of template name to text";
  }
}

}  // namespace

ClientSettings read_settings(const json& settings) {
  assert(settings.is_object());  // both callers look before they hand it over
  json wyn = json::object();
  if (settings.contains("wyn") && settings["wyn"].is_object()) {
    wyn = settings["wyn"];
  } else {
    for (auto it = settings.begin(); it != settings.end(); ++it) {
      const std::string& key = it.key();
      wyn[key.compare(0, 4, "wyn.") == 0 ? key.substr(4) : key] = it.value();
    }
  }
  ClientSettings s;
  if (wyn.contains("configFile") && wyn["configFile"].is_string())
    s.config_file = wyn["configFile"].get<std::string>();
  if (wyn.contains("keywords")) read_keywords(wyn["keywords"], &s);
  if (wyn.contains("templates")) read_templates(wyn["templates"], &s);
  if (wyn.contains("includeDirs") && wyn["includeDirs"].is_array()) {
    s.include_dirs_set = true;
    for (const json& dir : wyn["includeDirs"])
      if (dir.is_string() && !dir.get<std::string>().empty())
        s.include_dirs.push_back(dir.get<std::string>());
  }
  return s;
}

void Server::on_did_change_configuration(json& params) {
  if (!params.is_object()) return;
  auto s = params.find("settings");
  if (s != params.end() && s->is_object()) apply_settings(*s);
}

void Server::apply_settings(const json& settings) {
  ClientSettings s = read_settings(settings);
  size_t words_before = vocab_.word_class.size(), templates_before = vocab_.template_text.size();
  bool changed = false;
  std::string problem;

  if (!s.config_file.empty()) {
    std::string path = s.config_file;
    if (path[0] != '/' && !folders_.empty()) path = folders_[0] + "/" + path;
    apply_config_file(path, true), changed = true;
  }
  if (s.include_dirs_set) {
    include_dirs_.clear();
    for (const std::string& dir : s.include_dirs)
      include_dirs_.push_back(dir[0] != '/' && !folders_.empty() ? folders_[0] + "/" + dir : dir);
    // What is found, and so what is warned about and indexed, may change.
    for (auto& entry : scripts_) {
      publish_diagnostics(entry.second.get(), entry.first);
      index_includes(entry.second.get());
    }
  }
  for (const ClientSettings::Word& w : s.keywords) {
    if (w.cls < 0)
      log(1, "wyn.keywords: each word is a non-empty string of class 0, 1 or 2");
    else if (plugin_.add_keyword(w.word, w.cls, &problem))
      changed = true;
    else
      log(1, "wyn.keywords: " + problem);
  }
  if (!s.keywords_problem.empty()) log(1, s.keywords_problem);
  for (const auto& [name, text] : s.templates) {
    if (name.empty())
      log(1, "wyn.templates: each template is a name and a text");
    else if (plugin_.assign_template(name, text, &problem))
      changed = true;
    else
      log(1, "wyn.templates: " + problem);
  }
  if (!s.templates_problem.empty()) log(1, s.templates_problem);
  if (!changed) return;
  vocab_.load(plugin_);
  if (vocab_.word_class.size() != words_before || vocab_.template_text.size() != templates_before)
    vocabulary_changed();
}

void Server::apply_config_file(const std::string& path, bool told) {
  for (const std::string& done : configs_applied_)
    if (done == path) return;  // words are only ever added: once is enough
  std::string text, problem;
  if (!read_config_file(path, kConfigFileLimit, &text, &problem))
    problem = "configuration " + path + " not applied: " + problem;
  else if (!apply_config(plugin_, text, path, &problem))
    problem = "configuration not applied: " + problem;
  if (!problem.empty()) {
    // Not remembered: once the file is mended it is read the next time it
    // is named or found. A file found beside each opened script would
    // say the same thing every time; the user hears it once.
    auto said = config_problems_.find(path);
    if (!told && said != config_problems_.end() && said->second == problem) return;
    config_problems_[path] = problem;
    log(2, problem);
    notify("window/showMessage", MessageParams{MessageType::Warning, "wyn: " + problem});
    return;
  }
  config_problems_.erase(path);
  configs_applied_.push_back(path);
  log(3, "configuration " + path + " applied");
}

void Server::discover_config(const std::string& folder) {
  std::string found = find_config_file(folder);
  if (found.empty()) return;
  size_t before = vocab_.word_class.size() + vocab_.template_text.size();
  apply_config_file(found, false);
  vocab_.load(plugin_);
  if (vocab_.word_class.size() + vocab_.template_text.size() != before) vocabulary_changed();
}

// New words change colours: every open script is coloured afresh and
// compared, as after an idle check.
void Server::vocabulary_changed() {
  if (initialized_) start_walk();  // routines named by a new reserved word are routines no more
  bool differs = false;
  for (auto& entry : scripts_) differs |= check_whole(entry.second.get());
  if (differs && refresh_support_) request("workspace/semanticTokens/refresh", json());
}

}  // namespace wyn::lsp
