// wyn: the command line, its help page and the dispatch to the commands.
#include "render.h"
#include "tool.h"

#include "lsp.h"

#include <getopt.h>
#include <string.h>

#include <new>

#include "output.h"

namespace {

const char help_text[] =
    "NAME\n"
    "    wyn - the WYN language plug-in at work on script files\n"
    "\n"
    "SYNOPSIS\n"
    "    wyn colour [--color[=WHEN]] [VIEW] [--html OUT.html] [--html-fragment]\n"
    "               [--stats] [FILE...]\n"
    "    wyn colour --css [--html OUT.css]\n"
    "    wyn routines [--ctags[=TAGS]] [--marks] [-R] [--encoding=NAME] FILE|DIR...\n"
    "    wyn expand [--in-place] FILE LINE:COL\n"
    "    wyn indent [--in-place] FILE LINE:COL\n"
    "    wyn edit (--keys SCRIPT | -e ACTIONS) [--trace] [--check] [--state-flag N]\n"
    "             [--in-place] [--html OUT.html] FILE\n"
    "    wyn info [--keywords[=CLASS] | --templates]\n"
    "    wyn --help | --version\n"
    "    Every command also takes --config CONFIG (any number of times),\n"
    "    --no-config and --max-size=SIZE. VIEW: -n, --theme=dark|light,\n"
    "    --tab-width=N, --legend, --encoding=NAME (also for expand, indent, edit).\n"
    "\n"
    "DESCRIPTION\n"
    "    wyn loads the plug-in into a stand-in of its editor the way the editor\n"
    "    does (start-up, registered functions, calls by name) and puts it to work\n"
    "    on files. Every colour, expansion, indent and routine range shown comes\n"
    "    from the plug-in. FILE - reads standard input, and so does colour\n"
    "    without a FILE. An empty file is an empty script.\n"
    "\n"
    "    colour     Colours each FILE with the plug-in's whole-buffer colouring.\n"
    "               ANSI colours on a terminal, plain text otherwise; --html writes\n"
    "               a standalone page with line numbers and a legend (- for stdout).\n"
    "    routines   Lists the routine definitions the plug-in marks, one a line: the\n"
    "               lines it marks (the header), the routine's whole extent, and\n"
    "               the header's first line. The extent runs from the header to\n"
    "               the first later line that starts with \"end;\" (blanks may\n"
    "               stand before the ';'), else to the line before the next\n"
    "               routine or to the end. A marked line whose name (the word\n"
    "               before its first '(') is a reserved word, such as\n"
    "               \"if (a) then\" in the first column, is no routine; --marks\n"
    "               lists exactly what the plug-in marked instead. --ctags\n"
    "               writes a tags file (default name: tags; - for stdout).\n"
    "    expand     Puts the cursor at LINE:COL, steps back to the start of the word\n"
    "               it is in or has just passed, and asks the plug-in to expand it.\n"
    "    indent     Puts the cursor at LINE:COL and asks the plug-in's smart indent\n"
    "               to start a new line there.\n"
    "    edit       Replays a keys script the way a user types, re-colouring the\n"
    "               touched lines after every edit with _wyn_language_colors_update\n"
    "               as the editor does, then shows the coloured result. --trace\n"
    "               tells, for each edit, the lines handed over and the lines the\n"
    "               editor was asked to redisplay. --check compares the result\n"
    "               with a whole-buffer colouring of the final text and names the\n"
    "               lines whose colours differ.\n"
    "    info       Shows what start-up registered and the sizes of the tables;\n"
    "               --keywords lists the words of one CLASS (constant, keyword,\n"
    "               function or 0, 1, 2) or of all, --templates each template as\n"
    "               NAME, a tab and its text (\\n \\t \\\\ escaped): one a line.\n"
    "\n"
    "    Before any --config, a command applies the nearest .wyn.cfg: in the\n"
    "    first FILE's folder (the current one for standard input) or a folder\n"
    "    above it, looking no higher than a folder holding .git. Each FILE of\n"
    "    colour and routines is coloured with its own project's file.\n"
    "\n"
    "    expand, indent and edit print the resulting buffer, or with --in-place\n"
    "    write it back: through a temporary file beside it that takes the file's\n"
    "    owner, group, mode, ACLs and extended attributes, then a rename; a file\n"
    "    with several links, or whose owner cannot be kept, is overwritten once\n"
    "    the new text is complete. An unchanged result writes nothing (exit 1);\n"
    "    a read-only file, or one changed while wyn worked on it, is refused.\n"
    "    Outputs that are no regular files (devices, pipes, /dev/stdout) are\n"
    "    written through; links are followed. An output that is also an input,\n"
    "    or a page or tags file over an existing .wyn script, is refused.\n"
    "\n"
    "OPTIONS\n"
    "    --color=WHEN, --colour=WHEN   always, never or auto (the default: colours\n"
    "                          when stdout is a terminal and NO_COLOR is unset);\n"
    "                          alone it means always\n"
    "    --html OUT            write an HTML page to OUT (colour, edit)\n"
    "    --html-fragment       write only the <pre> of each file (to --html OUT\n"
    "                          or stdout); the style sheet comes from --css\n"
    "    --css                 write the page's style sheet: light and dark\n"
    "                          (prefers-color-scheme) (colour)\n"
    "    -n, --line-numbers    number the lines shown\n"
    "    --theme=dark|light    terminal colours for a dark or a light background;\n"
    "                          by default dark, unless COLORFGBG says light\n"
    "    --tab-width=N         show a tab as N columns (1 to 32; the page too)\n"
    "    --legend              first a line naming each colour\n"
    "    --encoding=NAME       the script's encoding for display (iconv names:\n"
    "                          latin1, cp1252, gbk...); by default UTF-8 when\n"
    "                          the file is valid UTF-8, else Windows-1252. A page\n"
    "                          is UTF-8, a terminal gets the locale's charset,\n"
    "                          plain text for a pipe stays the file's bytes\n"
    "                          unless NAME is given (then UTF-8); the plug-in\n"
    "                          always works on the file's bytes\n"
    "    --stats               tell on stderr where the time went (colour)\n"
    "    --ctags[=TAGS]        write a tags file (routines): each routine's\n"
    "                          header line as a search pattern, kind f, line:\n"
    "                          and end: fields; paths relative to its folder\n"
    "    -R, --recurse         take every *.wyn below each DIR (routines)\n"
    "    --marks               list the plug-in's own marks (routines)\n"
    "    --keywords[=CLASS]    list the words, of one class or all (info)\n"
    "    --templates           list the templates (info)\n"
    "    --in-place            write the result back to FILE (expand, indent, edit)\n"
    "    --keys SCRIPT         the keys script to replay (edit)\n"
    "    -e ACTIONS            the keys script given on the command line (edit)\n"
    "    --trace               show each re-colouring on stderr (edit)\n"
    "    --check               name the lines whose colours went stale (edit)\n"
    "    --state-flag N        what the editor's ScanStateFlag answers, 0 by\n"
    "                          default; nonzero widens each re-colouring to the\n"
    "                          next comment delimiter below the edit (edit)\n"
    "    --config CONFIG       configuration calls made before the command\n"
    "    --no-config           apply no .wyn.cfg\n"
    "    --max-size=SIZE       the largest input read (a FILE, the keys script,\n"
    "                          a CONFIG): 256M by default, at most 1G; K, M, G\n"
    "    -h, --help            this page\n"
    "    --version             the version\n"
    "\n"
    "KEYS SCRIPT\n"
    "    One action a line, or several separated by ';'. A line whose first word\n"
    "    begins with '#' is a comment. Quoted text takes \\n \\t \\r \\\\ \\\" \\xHH.\n"
    "        type \"TEXT\"     type TEXT one character at a time; \\n is Enter\n"
    "        newline [N]     Enter: the plug-in's smart indent, else a plain new line\n"
    "        expand          the expansion key on the word at or before the cursor\n"
    "        indent          the plug-in's smart indent alone\n"
    "        goto LINE:COL   move the cursor (the script starts at 1:1)\n"
    "        left [N], right [N], up [N], down [N], home, end\n"
    "    Example:  wyn edit -e 'goto 3:1; type \"while\"; expand; type \"i < 10\"' f.wyn\n"
    "\n"
    "CONFIG FILE\n"
    "    One setting a line, '#' lines are comments; each is passed to the\n"
    "    plug-in's configuration function of the same purpose.\n"
    "        keyword WORD CLASS          CLASS: 0|constant, 1|keyword, 2|function\n"
    "        template NAME \"TEXT\"        '&' marks where the cursor goes\n"
    "        hash-size CLASS SIZE        CLASS 1 or 2\n"
    "        comment-char \"C\"\n"
    "\n"
    "EXIT STATUS\n"
    "    0  done\n"
    "    1  the plug-in found or did nothing: no routine, no expansion, no indent;\n"
    "       --in-place changed nothing; --check found stale colours\n"
    "    2  usage error or bad input (missing, unreadable, directory, binary or\n"
    "       too large a file, position outside the buffer, malformed script), an\n"
    "       output refused, or a write that failed (wyn: OUT: reason); nothing\n"
    "       is written. colour and routines go on past a bad FILE and exit 2\n"
    "       at the end.\n";

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
        out_write(help_text, sizeof help_text - 1);
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
