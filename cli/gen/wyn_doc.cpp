// wyn_doc: writes, at build time, what is made from the tool's own help
// text and option table: the manual page and the bash, zsh and fish
// completions. Nothing of them is kept by hand, so they cannot drift from
// what the tool takes.
//   wyn_doc man|bash|zsh|fish OUT
#include <getopt.h>
#include <stdio.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "help.h"
#include "tool.h"

namespace {

const HelpPage& page = help_page();

// ---- the manual page

// Text as roff reads it literally: backslashes, minus signs, and a line
// that would start with a request.
std::string roff(const std::string& text) {
  std::string out;
  bool line_start = true;
  for (char c : text) {
    if (line_start && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
    line_start = c == '\n';
  }
  return out;
}

// Filled text: roff joins the lines; a blank line starts a paragraph.
std::string filled(const char* text) {
  std::string out;
  for (const char* p = text; *p != 0;) {
    const char* nl = strchr(p, '\n');
    std::string line(p, nl != nullptr ? (size_t)(nl - p) : strlen(p));
    p += line.size() + (nl != nullptr ? 1 : 0);
    out += line.empty() ? ".PP\n" : roff(line) + "\n";
  }
  return out;
}

// Lines laid out as they stand, their blanks kept.
std::string verbatim(const char* text) {
  return ".nf\n" + roff(text) + "\n.fi\n";
}

std::string man_page() {
  std::string out = ".TH WYN 1 \"\" \"wyn " WYN_VERSION "\" \"User Commands\"\n";
  std::string name = page.name;
  size_t dash = name.find(" - ");
  out += ".SH NAME\n" + roff(name.substr(0, dash)) + " \\- " + roff(name.substr(dash + 3)) + "\n";
  out += ".SH SYNOPSIS\n.nf\n";
  for (size_t i = 0; i < page.command_count; i++) {
    std::string lines = page.commands[i].synopsis;
    for (size_t at = 0; at != std::string::npos;) {
      size_t nl = lines.find('\n', at);
      std::string line = lines.substr(at, nl == std::string::npos ? nl : nl - at);
      out += (line[0] == ' ' ? "    " : "wyn ") + roff(line) + "\n";
      at = nl == std::string::npos ? nl : nl + 1;
    }
  }
  out += roff("wyn --help | --version") + "\n.fi\n.PP\n" + filled(page.synopsis_note);
  out += ".SH DESCRIPTION\n" + filled(page.intro);
  for (size_t i = 0; i < page.command_count; i++)
    out += ".TP\n.B " + roff(page.commands[i].name) + "\n" + filled(page.commands[i].text);
  out += ".PP\n" + filled(page.outro);
  out += ".SH OPTIONS\n";
  for (size_t i = 0; i < page.option_count; i++)
    out += ".TP\n.B \"" + roff(page.options[i].shown) + "\"\n" + filled(page.options[i].text);
  for (size_t i = 0; i < page.section_count; i++) {
    const HelpSection& s = page.sections[i];
    out += ".SH \"" + roff(s.title) + "\"\n" + (s.verbatim ? verbatim(s.text) : filled(s.text));
  }
  return out;
}

// ---- completions

// How the option table's rows complete.
struct Opt {
  std::string name;   // "--long" or "-x"
  std::string other;  // the letter form beside a long name, else ""
  int arg;
  std::string what;   // the value's kind: "file", "dir" or "" (a word)
  std::string about;  // the first line of its help, for zsh and fish
};

const HelpOption* help_of(const OptionSpec& spec) {
  for (size_t i = 0; i < page.option_count; i++)
    if (help_option_is(page.options[i], spec.name, spec.letter)) return &page.options[i];
  return nullptr;
}

// The options a command takes (its bit; -1: the ones before any command).
std::vector<Opt> options_of(const char* command, int bit) {
  std::vector<Opt> out;
  for (size_t i = 0; i < option_count(); i++) {
    OptionSpec spec = option_spec(i);
    const HelpOption* help = help_of(spec);
    bool everywhere = spec.commands == option_spec(0).commands;  // --help's: every command
    if (bit < 0 ? !everywhere : !(spec.commands & (1u << bit))) continue;
    if (help != nullptr && help->only != nullptr && (bit < 0 || strcmp(help->only, command)))
      continue;
    Opt o;
    o.name = spec.name != nullptr ? std::string("--") + spec.name : std::string("-") + spec.letter;
    if (spec.name != nullptr && spec.letter != 0) o.other = std::string("-") + spec.letter;
    o.arg = spec.arg;
    std::string key = spec.name != nullptr ? spec.name : "";
    if (key == "include-dir")
      o.what = "dir";
    else if (key == "config" || key == "keys" || key == "html" || key == "ctags")
      o.what = "file";
    if (help != nullptr) o.about = std::string(help->text).substr(0, strcspn(help->text, "\n"));
    out.push_back(o);
  }
  return out;
}

std::string quoted(const std::string& s) {  // for sh, zsh and fish alike
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// What a zsh option description may hold: no brackets or colons.
std::string plain(std::string s) {
  for (char& c : s)
    if (c == '[' || c == ']' || c == ':' || c == '\\') c = ' ';
  return s;
}

std::string join_names(const std::vector<Opt>& opts) {
  std::string out;
  for (const Opt& o : opts) {
    out += (out.empty() ? "" : " ") + o.name;
    if (!o.other.empty()) out += " " + o.other;
  }
  return out;
}

std::string command_names() {
  std::string out;
  for (size_t i = 0; i < page.command_count; i++)
    out += (i > 0 ? " " : "") + std::string(page.commands[i].name);
  return out;
}

std::string bash() {
  std::string takes_value, files, dirs;
  // Every option that takes its value as the next word, over all commands.
  std::vector<Opt> all;
  for (size_t i = 0; i < page.command_count; i++) {
    std::vector<Opt> some = options_of(page.commands[i].name, command_bit(page.commands[i].name));
    all.insert(all.end(), some.begin(), some.end());
  }
  std::vector<Opt> global = options_of("", -1);
  all.insert(all.end(), global.begin(), global.end());
  std::set<std::string> seen;
  for (const Opt& o : all) {
    if (o.arg != required_argument) continue;
    std::string names = o.name + (o.other.empty() ? "" : "|" + o.other);
    std::string* list = o.what == "file" ? &files : o.what == "dir" ? &dirs : &takes_value;
    if (!seen.insert(names).second) continue;
    *list += (list->empty() ? "" : "|") + names;
  }
  std::string out =
      "# bash completion for wyn, made from its option table\n"
      "_wyn() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  local cmd= recurse= i w\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    w=${COMP_WORDS[i]}\n"
      "    case $w in\n"
      "      " +
      files + "|" + dirs + "|" + takes_value +
      ") ((i++)) ;;\n"
      "      -R|--recurse) recurse=1 ;;\n"
      "      -*) ;;\n"
      "      *) [[ -z $cmd ]] && cmd=$w ;;\n"
      "    esac\n"
      "  done\n"
      "  case $prev in\n"
      "    " +
      files +
      ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
      "    " +
      dirs +
      ") COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n"
      "    " +
      takes_value +
      ") COMPREPLY=(); return ;;\n"
      "  esac\n"
      "  local opts\n"
      "  case $cmd in\n"
      "    '') opts=" +
      quoted(join_names(global)) + " ;;\n";
  for (size_t i = 0; i < page.command_count; i++) {
    const char* name = page.commands[i].name;
    int bit = command_bit(name);
    std::string opts = bit >= 0 ? join_names(options_of(name, bit)) : "--help";
    if (!strcmp(name, "lsp")) opts = "--stdio --help";
    out += "    " + std::string(name) + ") opts=" + quoted(opts) + " ;;\n";
  }
  out +=
      "  esac\n"
      "  if [[ $cur == -* ]]; then\n"
      "    COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
      "  elif [[ -z $cmd || $cmd == help ]]; then\n"
      "    COMPREPLY=($(compgen -W " +
      quoted(command_names()) +
      " -- \"$cur\"))\n"
      "  elif [[ $cmd == lsp || $cmd == info ]]; then\n"
      "    COMPREPLY=()\n"
      "  elif [[ -n $recurse ]]; then\n"
      "    COMPREPLY=($(compgen -d -- \"$cur\") $(compgen -f -X '!*.[wW][yY][nN]' -- \"$cur\"))\n"
      "  else\n"
      "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
      "  fi\n"
      "}\n"
      "complete -o filenames -F _wyn wyn\n";
  return out;
}

// An option as _arguments takes it, with its letter form on a line of its
// own.
std::string zsh_spec(const Opt& o) {
  std::string action = o.what == "file"  ? ":file:_files"
                       : o.what == "dir" ? ":dir:_files -/"
                                         : ":value: ";
  std::string about = "[" + plain(o.about) + "]";
  std::string spec = o.name;
  if (o.arg == required_argument)
    spec += (o.name.size() > 2 ? "=" : "") + about + action;
  else if (o.arg == optional_argument)
    spec += "=-" + about + ":" + action;
  else
    spec += about;
  std::string out = "        " + quoted(spec) + " \\\n";
  if (!o.other.empty()) out += "        " + quoted(o.other + about) + " \\\n";
  return out;
}

std::string zsh() {
  std::string out =
      "#compdef wyn\n"
      "# zsh completion for wyn, made from its option table\n"
      "_wyn() {\n"
      "  local curcontext=$curcontext state line\n"
      "  typeset -A opt_args\n"
      "  _arguments -C \\\n";
  for (const Opt& o : options_of("", -1)) out += zsh_spec(o);
  out += "    '1:command:(" + command_names() + ")' \\\n    '*::arg:->args'\n";
  out += "  case $line[1] in\n";
  for (size_t i = 0; i < page.command_count; i++) {
    const char* name = page.commands[i].name;
    int bit = command_bit(name);
    out += "    " + std::string(name) + ")\n      _arguments \\\n";
    if (bit >= 0) {
      for (const Opt& o : options_of(name, bit)) out += zsh_spec(o);
      out += "        '*:file:_files'\n      ;;\n";
    } else if (!strcmp(name, "help")) {
      out += "        '1:command:(" + command_names() + ")'\n      ;;\n";
    } else {
      out += "        '--stdio[talk over stdin and stdout]'\n      ;;\n";
    }
  }
  out += "  esac\n}\n_wyn \"$@\"\n";
  return out;
}

std::string fish() {
  // Before the command: no command word seen yet.
  std::string before = quoted("not __fish_seen_subcommand_from " + command_names());
  std::string out =
      "# fish completion for wyn, made from its option table\n"
      "complete -c wyn -n " +
      before + " -f -a " + quoted(command_names()) + "\n";
  for (const Opt& o : options_of("", -1))
    out += "complete -c wyn -n " + before + " -l " + o.name.substr(2) +
           (o.other.empty() ? "" : " -s " + o.other.substr(1)) + " -d " + quoted(o.about) + "\n";
  for (size_t i = 0; i < page.command_count; i++) {
    const char* name = page.commands[i].name;
    int bit = command_bit(name);
    std::string when = " -n '__fish_seen_subcommand_from " + std::string(name) + "'";
    if (bit < 0) {
      if (!strcmp(name, "help"))
        out += "complete -c wyn" + when + " -f -a " + quoted(command_names()) + "\n";
      else
        out += "complete -c wyn" + when + " -f -l stdio\n";
      continue;
    }
    for (const Opt& o : options_of(name, bit)) {
      std::string line = "complete -c wyn" + when;
      if (o.name.size() > 2)
        line += " -l " + o.name.substr(2);
      else
        line += " -s " + o.name.substr(1);
      if (!o.other.empty()) line += " -s " + o.other.substr(1);
      if (o.arg == required_argument)
        line += o.what == "dir"    ? " -x -a '(__fish_complete_directories)'"
                : o.what == "file" ? " -r -F"
                                   : " -x";
      out += line + " -d " + quoted(o.about) + "\n";
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: wyn_doc man|bash|zsh|fish OUT\n");
    return 2;
  }
  // Every option in the table is told of on the page.
  for (size_t i = 0; i < option_count(); i++)
    if (help_of(option_spec(i)) == nullptr) {
      OptionSpec spec = option_spec(i);
      fprintf(stderr, "wyn_doc: the help tells nothing of option %s\n",
              spec.name != nullptr ? spec.name : "(a letter)");
      return 1;
    }
  std::string what = argv[1], text;
  if (what == "man")
    text = man_page();
  else if (what == "bash")
    text = bash();
  else if (what == "zsh")
    text = zsh();
  else if (what == "fish")
    text = fish();
  else
    return 2;
  FILE* f = fopen(argv[2], "wb");
  if (f == nullptr || fwrite(text.data(), 1, text.size(), f) != text.size() || fclose(f) != 0) {
    perror(argv[2]);
    return 1;
  }
  return 0;
}
