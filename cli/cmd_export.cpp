// wyn export: the plug-in's colouring written as another highlighter's
// grammar (see grammar.h), from the tables of the plug-in as loaded and
// configured.
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <unordered_set>

#include "grammar.h"
#include "output.h"
#include "render.h"
#include "tool.h"

const GrammarFormat grammar_formats[] = {
    {"textmate", "a TextMate grammar (JSON): VS Code, GitHub-style viewers, Shiki", write_textmate},
    {"sublime", "a sublime-syntax file: Sublime Text, bat", write_sublime},
    {"vim", "a Vim syntax file (syntax/wyn.vim) with its file-type detection", write_vim},
    {"pygments", "a Pygments lexer package (a folder to pip install)", write_pygments},
    {"npp", "a Notepad++ user-defined language (XML)", write_npp},
    {"emacs", "the words and faces of wyn-mode (wyn-words.el)", write_emacs},
};
const size_t grammar_format_count = sizeof grammar_formats / sizeof grammar_formats[0];

const GrammarFormat* grammar_format(const char* name) {
  for (size_t i = 0; i < grammar_format_count; i++)
    if (!strcmp(grammar_formats[i].name, name)) return &grammar_formats[i];
  return nullptr;
}

bool grammar_from_plugin(Grammar* out) {
  std::unordered_set<std::string> seen;
  size_t total = 0;
  for (int c = 0; c < 3; c++) {
    std::vector<std::string> words = plugin().words(c);
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    for (std::string& w : words)
      if (seen.insert(w).second) out->words[c].push_back(std::move(w));
    total += out->words[c].size();
  }
  for (int k = 0; k < CAT_COUNT; k++)
    out->colours[k] = editor_colour_hex((long)plugin().category_colour(k));
  std::string word, delim = " \t\r\n(),=+!&|~^<>";
  for (int c = 0; c < 128; c++) {
    bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (alpha || (c >= '0' && c <= '9') || c == '_' || c == '#') word += (char)c;
  }
  out->word_chars = word;
  out->delimiters = delim;
  out->operator_chars = ".=+-*%<>!&|^~:/";
  out->quotes = "\"'";
  out->blanks = " \t\r\n";
  return total > 0;
}

int cmd_export(const Options& opt) {
  if (!opt.args.empty()) return usage_error("export takes no FILE: ", opt.args[0]);
  const GrammarFormat* format = grammar_format(opt.grammar ? opt.grammar : "");
  if (format == nullptr)
    return usage_error("export needs --format=", "textmate, sublime, vim, pygments, npp or emacs");
  if (!session_open(opt)) return EXIT_ERROR;
  Grammar g;
  if (!grammar_from_plugin(&g)) {
    fprintf(stderr, "wyn: the plug-in built no word tables\n");
    return EXIT_ERROR;
  }
  std::vector<GrammarFile> files = format->write(g);
  const char* out = opt.output != nullptr ? opt.output : "-";
  if (files.size() == 1) return write_output(out, files[0].text) ? EXIT_DONE : EXIT_ERROR;
  // Several files go to a folder, made with its parents when missing.
  if (!strcmp(out, "-"))
    return usage_error("this format writes several files; name a folder with ", "--output=DIR");
  std::string dir = out;
  for (const GrammarFile& f : files) {
    std::string path = dir + "/" + f.name;
    for (size_t at = 1; (at = path.find('/', at)) != std::string::npos; at++) {
      std::string part = path.substr(0, at);
      if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
        fprintf(stderr, "wyn: %s: %s\n", part.c_str(), strerror(errno));
        return EXIT_ERROR;
      }
    }
    if (!write_output(path.c_str(), f.text)) return EXIT_ERROR;
  }
  return EXIT_DONE;
}
