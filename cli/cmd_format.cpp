// wyn format [--check] [--in-place] [--indent=tab|N] FILE...: each script
// re-indented by the nesting of its blocks; and the indent unit every
// command that indents uses, from --indent or the file's .editorconfig.
#include "tool.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#ifdef WYN_HAVE_EDITORCONFIG
#include <editorconfig/editorconfig.h>
#endif

namespace {

#ifdef WYN_HAVE_EDITORCONFIG
// A whole number of 1 to 16 from an .editorconfig value; 0 otherwise.
int small_number(const char* value) {
  long n = 0;
  if (!parse_number(value, &n) || n < 1 || n > 16) return 0;
  return (int)n;
}

// What the .editorconfig files above path say of its indentation; false
// when they say nothing, or cannot be read (then the default holds).
bool editorconfig_unit(const char* path, wyn::IndentUnit* unit) {
  // The library wants the file's full name; standard input is taken to
  // stand in the current folder.
  std::string name = strcmp(path, "-") == 0 ? std::string("stdin.wyn") : std::string(path);
  std::string folder = ".", base = name;
  size_t slash = name.rfind('/');
  if (slash != std::string::npos) {
    folder = slash == 0 ? "/" : name.substr(0, slash);
    base = name.substr(slash + 1);
  }
  char* real = realpath(folder.c_str(), nullptr);
  if (real == nullptr) return false;
  std::string full = std::string(real) + (strcmp(real, "/") == 0 ? "" : "/") + base;
  free(real);
  editorconfig_handle h = editorconfig_handle_init();
  if (h == nullptr) return false;
  bool said = false;
  if (editorconfig_parse(full.c_str(), h) == 0) {
    const char *style = nullptr, *size = nullptr, *tab_width = nullptr;
    int count = editorconfig_handle_get_name_value_count(h);
    for (int i = 0; i < count; i++) {
      const char *key = nullptr, *value = nullptr;
      editorconfig_handle_get_name_value(h, i, &key, &value);
      if (key == nullptr || value == nullptr) continue;
      if (!strcmp(key, "indent_style")) style = value;
      if (!strcmp(key, "indent_size")) size = value;
      if (!strcmp(key, "tab_width")) tab_width = value;
    }
    if (tab_width != nullptr && small_number(tab_width)) {
      unit->tab_width = small_number(tab_width);
      said = true;
    }
    if (size != nullptr && small_number(size)) {
      unit->size = small_number(size);
      said = true;
    }
    if (style != nullptr && (!strcmp(style, "tab") || !strcmp(style, "space"))) {
      unit->tabs = !strcmp(style, "tab");
      said = true;
    }
    // Spaces with no size given: as wide as a tab.
    if (!unit->tabs && unit->size == 0) unit->size = unit->tab_width;
  }
  editorconfig_handle_destroy(h);
  return said;
}
#endif

// The checker's problems, as wyn check prints them, on stderr: standard
// output carries the script.
void print_problems(const std::string& name, const std::vector<wyn::Diagnostic>& problems) {
  for (const wyn::Diagnostic& d : problems)
    fprintf(stderr, "%s:%ld:%ld: error: %s\n", name.c_str(), d.line, d.col + 1, d.message.c_str());
}

}  // namespace

wyn::IndentUnit indent_unit_for(const Options& opt, const char* path) {
  wyn::IndentUnit unit;
  if (opt.indent != nullptr) {
    wyn::parse_indent_unit(opt.indent, &unit);  // checked when the options were read
    return unit;
  }
#ifdef WYN_HAVE_EDITORCONFIG
  wyn::IndentUnit found;
  if (editorconfig_unit(path, &found)) return found;
#else
  (void)path;
#endif
  return unit;
}

int cmd_format(const Options& opt) {
  if (opt.check && opt.in_place) {
    fprintf(stderr, "wyn: format takes --check or --in-place, not both\n");
    return EXIT_ERROR;
  }
  std::vector<std::string> names;
  bool files_ok = script_operands(opt, &names);
  bool left_alone = false, would_change = false;
  for (const std::string& name : names) {
    Source file;
    if (!read_source(name.c_str(), &file)) {
      files_ok = false;
      continue;
    }
    working_on(name.c_str());
    if (!session_for(opt, name.c_str())) return EXIT_ERROR;
    wyn::Document doc;
    if (!doc.set_text(file.text)) throw std::bad_alloc();
    wyn::FormatResult result;
    std::string error;
    if (!reported(
            wyn::format_document(doc, indent_unit_for(opt, name.c_str()), 1, -1, &result, &error),
            error))
      return EXIT_ERROR;
    if (!result.problems.empty()) {
      print_problems(file.name, result.problems);
      fprintf(stderr, "wyn: %s: blocks do not balance; left as it is\n", file.name.c_str());
      left_alone = true;
    }
    bool changes = !result.changes.empty();
    if (opt.check) {
      if (changes) out_text(file.name + "\n");
      would_change = would_change || changes;
      continue;
    }
    std::string text = changes ? wyn::apply_indents(file.text, result.changes) : file.text;
    if (!opt.in_place)
      out_text(text);
    else if (changes && !replace_file(name.c_str(), text, file.id))
      files_ok = false;
  }
  if (!files_ok) return EXIT_ERROR;
  return left_alone || would_change ? EXIT_NOTHING : EXIT_DONE;
}
