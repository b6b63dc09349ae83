// wyn: the command line and the dispatch to the commands.
#include "tool.h"

#include "lsp.h"

#include <getopt.h>
#include <string.h>

#include <new>

#include "output.h"

namespace {

int usage_error(const char* problem, const char* what) {
  fprintf(stderr, "wyn: %s%s (see wyn --help)\n", problem, what);
  return EXIT_ERROR;
}

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

// Options that only some commands take.
int check_fits(const Options& opt) {
  const char* c = opt.command;
  bool edits = !strcmp(c, "expand") || !strcmp(c, "indent") || !strcmp(c, "edit");
  if (opt.html && strcmp(c, "colour") && strcmp(c, "edit"))
    return usage_error("--html goes with colour or edit, not ", c);
  if (opt.stats && strcmp(c, "colour")) return usage_error("--stats goes with colour, not ", c);
  if (opt.ctags && strcmp(c, "routines")) return usage_error("--ctags goes with routines, not ", c);
  if (opt.in_place && !edits)
    return usage_error("--in-place goes with expand, indent or edit, not ", c);
  if ((opt.keys || opt.keys_text || opt.trace || opt.check || opt.state_flag) && strcmp(c, "edit"))
    return usage_error("--keys, -e, --trace, --check and --state-flag go with edit, not ", c);
  bool stdin_read = opt.args.empty() && strcmp(c, "info");
  for (const char* arg : opt.args) stdin_read = stdin_read || !strcmp(arg, "-");
  if (opt.ctags && stdin_read)
    return usage_error("--ctags needs a FILE to point at, not ", "standard input");
  if (opt.in_place && !opt.args.empty() && !strcmp(opt.args[0], "-"))
    return usage_error("--in-place needs a FILE, not ", "standard input");
  if (opt.keys && !strcmp(opt.keys, "-") && !opt.args.empty() && !strcmp(opt.args[0], "-"))
    return usage_error("the keys script and FILE cannot both be ", "standard input");
  bool shows = edits || !strcmp(c, "colour");
  if ((opt.line_numbers || opt.theme != THEME_AUTO || opt.tab_width || opt.legend) && !shows)
    return usage_error(
        "-n, --theme, --tab-width and --legend go with colour, expand, indent "
        "or edit, not ",
        c);
  if (opt.encoding && !shows && strcmp(c, "routines"))
    return usage_error("--encoding goes with colour, routines, expand, indent or edit, not ", c);
  if (opt.html_fragment && strcmp(c, "colour") && strcmp(c, "edit"))
    return usage_error("--html-fragment goes with colour or edit, not ", c);
  if (opt.css && (strcmp(c, "colour") || !opt.args.empty() || opt.html_fragment))
    return usage_error("--css writes the style sheet alone: wyn colour --css [--html OUT], not ",
                       !strcmp(c, "colour") ? "with a FILE" : c);
  if ((opt.keywords || opt.templates) && strcmp(c, "info"))
    return usage_error("--keywords and --templates go with info, not ", c);
  if (opt.keywords && opt.templates)
    return usage_error("--keywords and --templates go one at a time", "");
  if ((opt.recurse || opt.marks) && strcmp(c, "routines"))
    return usage_error("-R and --marks go with routines, not ", c);
  if (opt.marks && opt.ctags) return usage_error("--marks lists marks; it makes no ", "tags");
  return 0;
}

// Long options without a short form are numbered from here.
enum {
  OPT_COLOUR = 256,
  OPT_HTML,
  OPT_CONFIG,
  OPT_KEYS,
  OPT_CTAGS,
  OPT_IN_PLACE,
  OPT_TRACE,
  OPT_STATS,
  OPT_CHECK,
  OPT_STATE_FLAG,
  OPT_MAX_SIZE,
  OPT_VERSION,
  OPT_THEME,
  OPT_TAB_WIDTH,
  OPT_LEGEND,
  OPT_ENCODING,
  OPT_HTML_FRAGMENT,
  OPT_CSS,
  OPT_KEYWORDS,
  OPT_TEMPLATES,
  OPT_MARKS,
  OPT_NO_CONFIG
};

const struct option long_options[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, OPT_VERSION},
    {"color", optional_argument, nullptr, OPT_COLOUR},
    {"colour", optional_argument, nullptr, OPT_COLOUR},
    {"html", required_argument, nullptr, OPT_HTML},
    {"config", required_argument, nullptr, OPT_CONFIG},
    {"keys", required_argument, nullptr, OPT_KEYS},
    {"ctags", optional_argument, nullptr, OPT_CTAGS},
    {"in-place", no_argument, nullptr, OPT_IN_PLACE},
    {"trace", no_argument, nullptr, OPT_TRACE},
    {"stats", no_argument, nullptr, OPT_STATS},
    {"check", no_argument, nullptr, OPT_CHECK},
    {"state-flag", required_argument, nullptr, OPT_STATE_FLAG},
    {"max-size", required_argument, nullptr, OPT_MAX_SIZE},
    {"line-numbers", no_argument, nullptr, 'n'},
    {"theme", required_argument, nullptr, OPT_THEME},
    {"tab-width", required_argument, nullptr, OPT_TAB_WIDTH},
    {"legend", no_argument, nullptr, OPT_LEGEND},
    {"encoding", required_argument, nullptr, OPT_ENCODING},
    {"html-fragment", no_argument, nullptr, OPT_HTML_FRAGMENT},
    {"css", no_argument, nullptr, OPT_CSS},
    {"keywords", optional_argument, nullptr, OPT_KEYWORDS},
    {"templates", no_argument, nullptr, OPT_TEMPLATES},
    {"recurse", no_argument, nullptr, 'R'},
    {"marks", no_argument, nullptr, OPT_MARKS},
    {"no-config", no_argument, nullptr, OPT_NO_CONFIG},
    {nullptr, 0, nullptr, 0},
};

// What a missing value is called in the message, by option.
int missing_value(int opt) {
  switch (opt) {
    case OPT_COLOUR:
      return usage_error("--color takes always, never or auto, not ", "nothing");
    case OPT_HTML:
      return usage_error("--html needs ", "OUT.html");
    case OPT_CONFIG:
      return usage_error("--config needs ", "a CONFIG file");
    case OPT_KEYS:
      return usage_error("--keys needs ", "a SCRIPT file");
    case OPT_STATE_FLAG:
      return usage_error("--state-flag takes a number, not ", "nothing");
    case OPT_MAX_SIZE:
      return usage_error("--max-size takes a size, not ", "nothing");
    case OPT_THEME:
      return usage_error("--theme takes dark or light, not ", "nothing");
    case OPT_TAB_WIDTH:
      return usage_error("--tab-width takes a number from 1 to 32, not ", "nothing");
    case OPT_ENCODING:
      return usage_error("--encoding needs ", "an encoding NAME");
    default:
      return usage_error("-e needs ", "ACTIONS");
  }
}

// getopt_long takes any unambiguous prefix of a long option; the tool takes
// only the whole name.
bool whole_name(const char* arg, const char* name) {
  size_t n = strlen(name);
  return arg[0] == '-' && arg[1] == '-' && !strncmp(arg + 2, name, n) &&
         (arg[2 + n] == 0 || arg[2 + n] == '=');
}

}  // namespace

int main(int argc, char** argv) {
  argv = output_args(&argc, argv);
  // The language server reads its own arguments.
  if (argc >= 2 && !strcmp(argv[1], "lsp")) return wyn::lsp::lsp_main(argc - 1, argv + 1);
  output_init();
  Options opt;
  opterr = 0;  // the messages below say it the tool's way
  // '-' first: operands come back in order as option 1, wherever they stand
  // and whatever POSIXLY_CORRECT says; ':' first after it: a missing value
  // comes back as ':'.
  for (;;) {
    int at = optind;
    int index = -1;
    int c = getopt_long(argc, argv, "-:he:nR", long_options, &index);
    if (c == -1) break;
    if (index >= 0 && !whole_name(argv[at], long_options[index].name))
      return usage_error("unknown option ", argv[at]);
    switch (c) {
      case 1:
        if (opt.command == nullptr)
          opt.command = optarg;
        else
          opt.args.push_back(optarg);
        break;
      case 'h':
        help_write();
        return EXIT_DONE;
      case OPT_VERSION:
        printf("wyn %s\n", WYN_VERSION);
        return EXIT_DONE;
      case OPT_COLOUR:
        // Alone it means always; the next word is its value only when it is
        // one, so "--colour FILE" leaves FILE an operand.
        if (optarg != nullptr) {
          if (!parse_colour(optarg, &opt.colour))
            return usage_error("--color takes always, never or auto, not ", optarg);
        } else if (optind < argc && parse_colour(argv[optind], &opt.colour)) {
          optind++;
        } else {
          opt.colour = COLOUR_ALWAYS;
        }
        break;
      case OPT_MAX_SIZE: {
        size_t bytes = 0;
        if (!parse_size(optarg, &bytes))
          return usage_error("--max-size takes a size from 1 to 1G (K, M, G: binary), not ",
                             optarg);
        input_set_limit(bytes);
        break;
      }
      case OPT_HTML:
        opt.html = optarg;
        break;
      case OPT_CONFIG:
        opt.configs.push_back(optarg);
        break;
      case OPT_KEYS:
        opt.keys = optarg;
        break;
      case 'e':
        opt.keys_text = optarg;
        break;
      case OPT_CTAGS:
        if (optarg != nullptr && optarg[0] == 0) return usage_error("unknown option ", argv[at]);
        opt.ctags = optarg != nullptr ? optarg : "tags";
        break;
      case OPT_IN_PLACE:
        opt.in_place = true;
        break;
      case OPT_TRACE:
        opt.trace = true;
        break;
      case OPT_STATS:
        opt.stats = true;
        break;
      case OPT_CHECK:
        opt.check = true;
        break;
      case OPT_STATE_FLAG:
        if (!parse_number(optarg, &opt.state_flag))
          return usage_error("--state-flag takes a number, not ", optarg);
        break;
      case 'n':
        opt.line_numbers = true;
        break;
      case OPT_THEME:
        if (!strcmp(optarg, "dark"))
          opt.theme = THEME_DARK;
        else if (!strcmp(optarg, "light"))
          opt.theme = THEME_LIGHT;
        else
          return usage_error("--theme takes dark or light, not ", optarg);
        break;
      case OPT_TAB_WIDTH: {
        long width = 0;
        if (!parse_number(optarg, &width) || width < 1 || width > 32)
          return usage_error("--tab-width takes a number from 1 to 32, not ", optarg);
        opt.tab_width = (int)width;
        break;
      }
      case OPT_LEGEND:
        opt.legend = true;
        break;
      case OPT_ENCODING:
        opt.encoding = optarg;
        break;
      case OPT_HTML_FRAGMENT:
        opt.html_fragment = true;
        break;
      case OPT_CSS:
        opt.css = true;
        break;
      case OPT_KEYWORDS:
        opt.keywords = optarg != nullptr ? optarg : "";
        break;
      case OPT_TEMPLATES:
        opt.templates = true;
        break;
      case 'R':
        opt.recurse = true;
        break;
      case OPT_MARKS:
        opt.marks = true;
        break;
      case OPT_NO_CONFIG:
        opt.no_config = true;
        break;
      case ':':
        return missing_value(optopt);
      default:
        return usage_error("unknown option ", argv[at]);
    }
  }
  for (int i = optind; i < argc; i++) {  // after "--"
    if (opt.command == nullptr)
      opt.command = argv[i];
    else
      opt.args.push_back(argv[i]);
  }
  if (opt.command == nullptr) return usage_error("no command given", "");
  if (!strcmp(opt.command, "color")) opt.command = "colour";
  static const struct {
    const char* name;
    int (*run)(const Options&);
  } commands[] = {
      {"colour", cmd_colour}, {"routines", cmd_routines}, {"expand", cmd_expand},
      {"indent", cmd_indent}, {"edit", cmd_edit},         {"info", cmd_info},
  };
  for (size_t i = 0; i < sizeof commands / sizeof commands[0]; i++) {
    if (strcmp(opt.command, commands[i].name) != 0) continue;
    if (int rc = check_fits(opt)) return rc;
    if (opt.html_fragment && opt.html == nullptr) opt.html = "-";
    if (!view_setup(opt)) return EXIT_ERROR;
    // Memory running out anywhere in a command ends it here, with what it
    // was at work on named and nothing half-written left behind.
    try {
      if (opt.css) return cmd_css(opt);
      return commands[i].run(opt);
    } catch (const std::bad_alloc&) {
      return out_of_memory();
    }
  }
  return usage_error("unknown command ", opt.command);
}
