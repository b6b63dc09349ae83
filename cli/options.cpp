// wyn: the command line. Each option is one row of a table; getopt_long's
// arrays, the messages for a missing value, the checks of which command
// takes which option, the help of one command and the shell completions
// all come from it.
#include "render.h"
#include "tool.h"

#include <assert.h>
#include <getopt.h>
#include <string.h>

#include <new>
#include <string>

#include "output.h"

int usage_error(const char* problem, const char* what) {
  fprintf(stderr, "wyn: %s%s (see wyn --help)\n", problem, what);
  return EXIT_ERROR;
}

namespace {

// The commands, in the order the messages name them.
// ORDER: bit i of an option's commands is commands[i].
const struct {
  const char* name;
  int (*run)(const Options&);
} commands[] = {
    {"colour", cmd_colour}, {"routines", cmd_routines}, {"expand", cmd_expand},
    {"indent", cmd_indent}, {"edit", cmd_edit},         {"info", cmd_info},
    {"check", cmd_check},   {"format", cmd_format},     {"export", cmd_export},
};
const size_t command_count = sizeof commands / sizeof commands[0];
enum : unsigned {
  COLOUR = 1u << 0,
  ROUTINES = 1u << 1,
  EXPAND = 1u << 2,
  INDENT = 1u << 3,
  EDIT = 1u << 4,
  INFO = 1u << 5,
  CHECK = 1u << 6,
  FORMAT = 1u << 7,
  EXPORT = 1u << 8,
  EVERY = (1u << 9) - 1,
  VIEW = COLOUR | EXPAND | INDENT | EDIT,  // the commands that show a script
};
static_assert(EVERY == (1u << (sizeof commands / sizeof commands[0])) - 1,
              "one bit for each command");

// What an option's handler answers: go on parsing, or end the run with
// this exit status. AT_DEFAULT goes on as if the option were not given, for
// a value that is the default (no command refuses --state-flag 0).
enum { GO_ON = -1, AT_DEFAULT = -2 };
static_assert(GO_ON < 0 && RUN_COMMAND < 0, "no exit status");

// What a handler is given: the option's value (null when it has none), the
// word as typed for messages, and the command line, whose next word
// --colour may take (moving optind past it).
struct Arg {
  const char* value;
  const char* typed;
  int argc;
  char** argv;
};

bool parse_colour(const char* v, ColourWhen* out) {
  if (!strcmp(v, "always"))
    *out = COLOUR_ALWAYS;
  else if (!strcmp(v, "never"))
    *out = COLOUR_NEVER;
  else if (!strcmp(v, "auto"))
    *out = COLOUR_AUTO;
  else
    return false;
  return true;
}

// An option that turns something on, or names a file or a word.
template <bool Options::*flag>
int set_flag(Options* opt, const Arg&) {
  opt->*flag = true;
  return GO_ON;
}
template <const char* Options::*text>
int set_text(Options* opt, const Arg& arg) {
  opt->*text = arg.value;
  return GO_ON;
}

int set_colour(Options* opt, const Arg& arg) {
  if (arg.value != nullptr)
    return parse_colour(arg.value, &opt->colour)
               ? GO_ON
               : usage_error("--color takes always, never or auto, not ", arg.value);
  // Alone it means always; the next word is its value only when it is
  // one, so "--colour FILE" leaves FILE an operand.
  if (optind < arg.argc && parse_colour(arg.argv[optind], &opt->colour))
    optind++;
  else
    opt->colour = COLOUR_ALWAYS;
  return GO_ON;
}

int set_config(Options* opt, const Arg& arg) {
  opt->configs.push_back(arg.value);
  return GO_ON;
}

int set_include_dir(Options* opt, const Arg& arg) {
  opt->include_dirs.push_back(arg.value);
  return GO_ON;
}

int set_max_size(Options*, const Arg& arg) {
  size_t bytes = 0;
  if (!parse_size(arg.value, &bytes))
    return usage_error("--max-size takes a size from 1 to 1G (K, M, G: binary), not ", arg.value);
  input_set_limit(bytes);
  return GO_ON;
}

int set_ctags(Options* opt, const Arg& arg) {
  if (arg.value != nullptr && arg.value[0] == 0) return usage_error("unknown option ", arg.typed);
  opt->ctags = arg.value != nullptr ? arg.value : "tags";
  return GO_ON;
}

int set_keywords(Options* opt, const Arg& arg) {
  opt->keywords = arg.value != nullptr ? arg.value : "";
  return GO_ON;
}

int set_state_flag(Options* opt, const Arg& arg) {
  if (!parse_number(arg.value, &opt->state_flag))
    return usage_error("--state-flag takes a number, not ", arg.value);
  return opt->state_flag != 0 ? GO_ON : AT_DEFAULT;
}

int set_theme(Options* opt, const Arg& arg) {
  if (!strcmp(arg.value, "dark"))
    opt->theme = THEME_DARK;
  else if (!strcmp(arg.value, "light"))
    opt->theme = THEME_LIGHT;
  else
    return usage_error("--theme takes dark or light, not ", arg.value);
  return GO_ON;
}

int set_format(Options* opt, const Arg& arg) {
  if (opt->command != nullptr && !strcmp(opt->command, "export")) {
    opt->grammar = arg.value;
    return GO_ON;
  }
  if (!strcmp(arg.value, "json"))
    opt->json = true;
  else if (!strcmp(arg.value, "text"))
    opt->json = false;
  else
    return usage_error("--format takes text or json, not ", arg.value);  // check
  return GO_ON;
}

int set_indent(Options* opt, const Arg& arg) {
  wyn::IndentUnit unit;
  if (!wyn::parse_indent_unit(arg.value, &unit))
    return usage_error("--indent takes tab or a number of spaces from 1 to 16, not ", arg.value);
  opt->indent = arg.value;
  return GO_ON;
}

int set_tab_width(Options* opt, const Arg& arg) {
  long width = 0;
  if (!parse_number(arg.value, &width) || width < 1 || width > 32)
    return usage_error("--tab-width takes a number from 1 to 32, not ", arg.value);
  opt->tab_width = (int)width;
  return GO_ON;
}

int set_jobs(Options* opt, const Arg& arg) {
  long jobs = 0;
  if (!parse_number(arg.value, &jobs) || jobs < 1 || jobs > 64)
    return usage_error("--jobs takes a number from 1 to 64, not ", arg.value);
  opt->jobs = (int)jobs;
  return GO_ON;
}

// Checks of how options pair with each other and with the operands.
bool reads_stdin(const Options& opt) {
  bool stdin_read =
      opt.args.empty() && strcmp(opt.command, "info") && strcmp(opt.command, "export");
  for (const char* arg : opt.args) stdin_read = stdin_read || !strcmp(arg, "-");
  return stdin_read;
}

int check_operands(const Options& opt) {
  bool first_stdin = !opt.args.empty() && !strcmp(opt.args[0], "-");
  if (opt.ctags && reads_stdin(opt))
    return usage_error("--ctags needs a FILE to point at, not ", "standard input");
  if (opt.in_place && first_stdin)
    return usage_error("--in-place needs a FILE, not ", "standard input");
  if (opt.keys && !strcmp(opt.keys, "-") && first_stdin)
    return usage_error("the keys script and FILE cannot both be ", "standard input");
  return 0;
}

int check_css_alone(const Options& opt) {
  const char* c = opt.command;
  if (opt.css && (strcmp(c, "colour") || !opt.args.empty() || opt.html_fragment))
    return usage_error("--css writes the style sheet alone: wyn colour --css [--html OUT], not ",
                       !strcmp(c, "colour") ? "with a FILE" : c);
  return 0;
}

int check_one_list(const Options& opt) {
  if (opt.keywords && opt.templates)
    return usage_error("--keywords and --templates go one at a time", "");
  return 0;
}

int check_marks_alone(const Options& opt) {
  if (opt.marks && opt.ctags) return usage_error("--marks lists marks; it makes no ", "tags");
  return 0;
}

// One option. Rows next to each other that the same commands take share
// one message when given to another ("--keys, -e, ... go with edit"). The
// checks run in the table's order, each row's then after its own, and the
// first that fails is the one told.
struct OptionRow {
  const char* name;     // the long name; null when there is only the letter
  char letter;          // the short name; 0 when there is none
  int arg;              // no_argument, required_argument or optional_argument
  unsigned commands;    // the commands that take it
  const char* missing;  // required_argument: the message when the value is missing
  int (*set)(Options* opt, const Arg& arg);
  int (*then)(const Options& opt);  // a check made after this row's own; may be null
};

const OptionRow rows[] = {
    // After the command, that command's part of the page; else all of it.
    {"help", 'h', no_argument, EVERY, nullptr,
     [](Options* opt, const Arg&) {
       const char* command = opt->command;
       if (command != nullptr && !strcmp(command, "color")) command = "colour";
       if (command == nullptr || !help_write_command(command)) help_write();
       return (int)EXIT_DONE;
     },
     nullptr},
    {"version", 0, no_argument, EVERY, nullptr,
     [](Options*, const Arg&) {
       printf("wyn %s\n", WYN_VERSION);
       return (int)EXIT_DONE;
     },
     nullptr},
    {"color", 0, optional_argument, EVERY, nullptr, set_colour, nullptr},
    {"colour", 0, optional_argument, EVERY, nullptr, set_colour, nullptr},
    {"config", 0, required_argument, EVERY, "--config needs a CONFIG file", set_config, nullptr},
    {"max-size", 0, required_argument, EVERY, "--max-size takes a size, not nothing", set_max_size,
     nullptr},
    {"no-config", 0, no_argument, EVERY, nullptr, set_flag<&Options::no_config>, nullptr},
    {"html", 0, required_argument, COLOUR | EDIT, "--html needs OUT.html", set_text<&Options::html>,
     nullptr},
    {"stats", 0, no_argument, COLOUR, nullptr, set_flag<&Options::stats>, nullptr},
    {"ctags", 0, optional_argument, ROUTINES, nullptr, set_ctags, nullptr},
    {"in-place", 0, no_argument, EXPAND | INDENT | EDIT | FORMAT, nullptr,
     set_flag<&Options::in_place>, nullptr},
    {"check", 0, no_argument, EDIT | FORMAT, nullptr, set_flag<&Options::check>, nullptr},
    {"keys", 0, required_argument, EDIT, "--keys needs a SCRIPT file", set_text<&Options::keys>,
     nullptr},
    {nullptr, 'e', required_argument, EDIT, "-e needs ACTIONS", set_text<&Options::keys_text>,
     nullptr},
    {"trace", 0, no_argument, EDIT, nullptr, set_flag<&Options::trace>, nullptr},
    // The operands are checked once the options that name edit's inputs
    // and outputs have been.
    {"state-flag", 0, required_argument, EDIT, "--state-flag takes a number, not nothing",
     set_state_flag, check_operands},
    {"line-numbers", 'n', no_argument, VIEW, nullptr, set_flag<&Options::line_numbers>, nullptr},
    {"theme", 0, required_argument, VIEW, "--theme takes dark or light, not nothing", set_theme,
     nullptr},
    {"tab-width", 0, required_argument, VIEW,
     "--tab-width takes a number from 1 to 32, not nothing", set_tab_width, nullptr},
    {"legend", 0, no_argument, VIEW, nullptr, set_flag<&Options::legend>, nullptr},
    {"encoding", 0, required_argument, VIEW | ROUTINES, "--encoding needs an encoding NAME",
     set_text<&Options::encoding>, nullptr},
    {"html-fragment", 0, no_argument, COLOUR | EDIT, nullptr, set_flag<&Options::html_fragment>,
     nullptr},
    // colour's alone, which check_css_alone tells in its own words.
    {"css", 0, no_argument, EVERY, nullptr, set_flag<&Options::css>, check_css_alone},
    {"keywords", 0, optional_argument, INFO, nullptr, set_keywords, nullptr},
    {"templates", 0, no_argument, INFO, nullptr, set_flag<&Options::templates>, check_one_list},
    // Not beside --format, which would share its message.
    {"include-dir", 0, required_argument, CHECK, "--include-dir needs a DIR", set_include_dir,
     nullptr},
    {"recurse", 'R', no_argument, ROUTINES | CHECK, nullptr, set_flag<&Options::recurse>, nullptr},
    {"jobs", 'j', required_argument, CHECK, "--jobs takes a number from 1 to 64, not nothing",
     set_jobs, nullptr},
    {"marks", 0, no_argument, ROUTINES, nullptr, set_flag<&Options::marks>, check_marks_alone},
    {"format", 0, required_argument, CHECK | EXPORT, "--format takes a FORMAT, not nothing",
     set_format, nullptr},
    {"output", 'o', required_argument, EXPORT, "--output needs a PATH", set_text<&Options::output>,
     nullptr},
    {"indent", 0, required_argument, INDENT | FORMAT, "--indent takes tab or a number, not nothing",
     set_indent, nullptr},
    {"cursor", 0, no_argument, EXPAND, nullptr, set_flag<&Options::cursor>, nullptr},
};
const size_t row_count = sizeof rows / sizeof rows[0];

// A long option without a letter comes back from getopt_long as this plus
// its row.
const int FIRST_LONG = 256;

// getopt_long's arrays, made from the rows. '-' first: operands come back
// in order as option 1, wherever they stand and whatever POSIXLY_CORRECT
// says; ':' first after it: a missing value comes back as ':'.
struct GetoptArrays {
  option longs[row_count + 1] = {};
  std::string letters = "-:";
  GetoptArrays() {
    size_t n = 0;
    for (size_t i = 0; i < row_count; i++) {
      const OptionRow& row = rows[i];
      assert(row.arg != required_argument || row.missing != nullptr);
      assert(row.name != nullptr || row.letter != 0);
      if (row.letter != 0) {
        letters += row.letter;
        if (row.arg != no_argument) letters += ':';
        if (row.arg == optional_argument) letters += ':';
      }
      if (row.name != nullptr)
        longs[n++] = {row.name, row.arg, nullptr, row.letter ? row.letter : FIRST_LONG + (int)i};
    }
  }
};

// The row of what getopt_long answered, or null for anything else.
const OptionRow* row_of(int c) {
  if (c >= FIRST_LONG && c < FIRST_LONG + (int)row_count) return &rows[c - FIRST_LONG];
  for (const OptionRow& row : rows)
    if (c != 0 && row.letter == c) return &row;
  return nullptr;
}

// getopt_long takes any unambiguous prefix of a long option; the tool takes
// only the whole name.
bool whole_name(const char* arg, const char* name) {
  size_t n = strlen(name);
  return arg[0] == '-' && arg[1] == '-' && !strncmp(arg + 2, name, n) &&
         (arg[2 + n] == 0 || arg[2 + n] == '=');
}

// "-n, --theme and --legend go with colour or edit, not ": the rows from
// first on that the same commands take, and those commands.
std::string misplaced_message(size_t first) {
  unsigned commands_of = rows[first].commands;
  size_t end = first;
  while (end < row_count && rows[end].commands == commands_of) end++;
  std::string text;
  for (size_t i = first; i < end; i++) {
    if (i > first) text += i + 1 < end ? ", " : " and ";
    text += rows[i].letter ? std::string("-") + rows[i].letter : std::string("--") + rows[i].name;
  }
  text += end - first > 1 ? " go with " : " goes with ";
  std::vector<const char*> takers;
  for (size_t k = 0; k < command_count; k++)
    if (commands_of & (1u << k)) takers.push_back(commands[k].name);
  for (size_t k = 0; k < takers.size(); k++) {
    if (k > 0) text += k + 1 < takers.size() ? ", " : " or ";
    text += takers[k];
  }
  return text + ", not ";
}

// Options that only some commands take, and how they pair; command is
// commands[command].
int check_fits(const Options& opt, size_t command, const bool given[]) {
  for (size_t i = 0; i < row_count; i++) {
    if (given[i] && !(rows[i].commands & (1u << command))) {
      size_t first = i;
      while (first > 0 && rows[first - 1].commands == rows[i].commands) first--;
      return usage_error(misplaced_message(first).c_str(), opt.command);
    }
    if (rows[i].then != nullptr)
      if (int rc = rows[i].then(opt)) return rc;
  }
  return 0;
}

// Parses the command line into *opt and given (one flag a row): GO_ON, or
// the exit status when the run ends here (--help, a usage error).
int parse_options(int argc, char** argv, Options* opt, bool given[]) {
  static const GetoptArrays arrays;
  opterr = 0;  // the messages below say it the tool's way
  for (;;) {
    int at = optind;
    int index = -1;
    int c = getopt_long(argc, argv, arrays.letters.c_str(), arrays.longs, &index);
    if (c == -1) break;
    if (index >= 0 && !whole_name(argv[at], arrays.longs[index].name))
      return usage_error("unknown option ", argv[at]);
    if (c == 1) {
      if (opt->command == nullptr)
        opt->command = optarg;
      else
        opt->args.push_back(optarg);
      continue;
    }
    const OptionRow* row = row_of(c == ':' ? optopt : c);
    if (row == nullptr) return usage_error("unknown option ", argv[at]);
    if (c == ':') return usage_error(row->missing, "");
    int rc = row->set(opt, Arg{optarg, argv[at], argc, argv});
    if (rc >= 0) return rc;
    given[row - rows] = rc != AT_DEFAULT;
  }
  for (int i = optind; i < argc; i++) {  // after "--"
    if (opt->command == nullptr)
      opt->command = argv[i];
    else
      opt->args.push_back(argv[i]);
  }
  return GO_ON;
}

}  // namespace

size_t option_count(void) {
  return row_count;
}

OptionSpec option_spec(size_t i) {
  assert(i < row_count);
  return {rows[i].name, rows[i].letter, rows[i].arg, rows[i].commands};
}

int command_bit(const char* name) {
  for (size_t i = 0; i < command_count; i++)
    if (!strcmp(name, commands[i].name)) return (int)i;
  return -1;
}

int options_read(int argc, char** argv, Options* opt) {
  bool given[row_count] = {};
  if (int rc = parse_options(argc, argv, opt, given); rc != GO_ON) return rc;
  if (opt->command == nullptr) return usage_error("no command given", "");
  if (!strcmp(opt->command, "color")) opt->command = "colour";
  if (!strcmp(opt->command, "help")) {
    if (opt->args.empty()) {
      help_write();
      return EXIT_DONE;
    }
    if (opt->args.size() == 1 && help_write_command(opt->args[0])) return EXIT_DONE;
    fprintf(stderr, "wyn: unknown command %s; the commands:", opt->args[0]);
    help_list_commands(stderr);
    return EXIT_ERROR;
  }
  int i = command_bit(opt->command);
  if (i < 0) return usage_error("unknown command ", opt->command);
  if (int rc = check_fits(*opt, (size_t)i, given)) return rc;
  if (opt->html_fragment && opt->html == nullptr) opt->html = "-";
  return RUN_COMMAND;
}

int command_run(const Options& opt) {
  int i = command_bit(opt.command);
  assert(i >= 0);
  return commands[i].run(opt);
}
