// wyn: the help page's text, and its terminal form: the whole page
// (--help, wyn help) or one command's part of it (wyn help COMMAND, wyn
// COMMAND --help). The manual page is made from the same text at build time.
#include "help.h"

#include <assert.h>
#include <string.h>

#include <string>

#include "tool.h"

namespace {

const HelpCommand commands[] = {
    {"colour",
     "colour [--color[=WHEN]] [VIEW] [--html OUT.html] [--html-fragment]\n"
     "       [--stats] [FILE...]\n"
     "colour --css [--html OUT.css]",
     "Colours each FILE with the plug-in's whole-buffer colouring.\n"
     "ANSI colours on a terminal, plain text otherwise; --html writes\n"
     "a standalone page with line numbers and a legend (- for stdout)."},
    {"routines", "routines [--ctags[=TAGS]] [--marks] [-R] [--encoding=NAME] FILE|DIR...",
     "Lists the routine definitions the plug-in marks, one a line: the\n"
     "lines it marks (the header), the routine's whole extent, and\n"
     "the header's first line. The extent runs from the header to\n"
     "the first later line that starts with \"end;\" (blanks may\n"
     "stand before the ';'), else to the line before the next\n"
     "routine or to the end. A marked line whose name (the word\n"
     "before its first '(') is a reserved word, such as\n"
     "\"if (a) then\" in the first column, is no routine; --marks\n"
     "lists exactly what the plug-in marked instead. --ctags\n"
     "writes a tags file (default name: tags; - for stdout)."},
    {"expand", "expand [--in-place] [--cursor] FILE LINE:COL",
     "Puts the cursor at LINE:COL, steps back to the start of the word\n"
     "it is in or has just passed, and asks the plug-in to expand it."},
    {"indent", "indent [--in-place] [--indent=tab|N] FILE LINE:COL",
     "Puts the cursor at LINE:COL and asks the plug-in's smart indent\n"
     "to start a new line there; the tab it puts becomes one level\n"
     "of the indent unit (see --indent)."},
    {"edit",
     "edit (--keys SCRIPT | -e ACTIONS) [--trace] [--check] [--state-flag N]\n"
     "     [--in-place] [--html OUT.html] FILE",
     "Replays a keys script the way a user types, re-colouring the\n"
     "touched lines after every edit with _wyn_language_colors_update\n"
     "as the editor does, then shows the coloured result. --trace\n"
     "tells, for each edit, the lines handed over and the lines the\n"
     "editor was asked to redisplay. --check compares the result\n"
     "with a whole-buffer colouring of the final text and names the\n"
     "lines whose colours differ."},
    {"info", "info [--keywords[=CLASS] | --templates]",
     "Shows what start-up registered and the sizes of the tables, and\n"
     "each category's colour as #RRGGBB (the editor keeps it as\n"
     "0x00BBGGRR); --keywords lists the words of one CLASS (constant,\n"
     "keyword, function or 0, 1, 2) or of all, --templates each\n"
     "template as NAME, a tab and its text (\\n \\t \\\\ escaped): one a\n"
     "line."},
    {"check", "check [--format=text|json] [-R] [-j N] [--include-dir=DIR] FILE|DIR...",
     "Points out blocks left open or closed by the wrong word\n"
     "(if ... then/endif, while, for, switch, repeat/until,\n"
     "begin/end, program), a /* comment never closed and a string\n"
     "not closed on its line, one a line as compilers print them:\n"
     "FILE:LINE:COL: error|warning: MESSAGE (COL in bytes from 1);\n"
     "--format=json writes one JSON array instead. Blocks inside\n"
     "#if/#else branches or in a #define are left unchecked."},
    {"format", "format [--check | --in-place] [--indent=tab|N] FILE...",
     "Re-indents each FILE by the nesting of its blocks and prints\n"
     "it; only leading blanks and tabs change. Continuation lines,\n"
     "lines in a comment spanning lines, labels, preprocessor lines\n"
     "and first-column comments keep theirs. A FILE whose blocks do\n"
     "not balance is left as it is, with check's message on stderr.\n"
     "--check names the files that would change; --in-place\n"
     "rewrites those that do."},
    {"export", "export --format=FORMAT [-o PATH]",
     "Writes the plug-in's colouring as another highlighter's grammar,\n"
     "from the words the plug-in holds once configured (--config):\n"
     "textmate, sublime, vim, pygments, npp or emacs. One file goes to\n"
     "PATH or stdout; a format of several files needs PATH, a folder."},
    {"lsp", "lsp [--stdio]",
     "Serves the plug-in's colours, completions, symbols and editing\n"
     "aids to a language client (an editor) over stdin and stdout\n"
     "(Language Server Protocol 3.17). A message body may be at most\n"
     "64 MiB. Started from an editor, not by hand."},
    {"help", "help [COMMAND]",
     "Shows this page, or the part of it about COMMAND (as COMMAND\n"
     "--help does)."},
};

const HelpOption options[] = {
    {"color colour", "--color=WHEN, --colour=WHEN",
     "always, never or auto (the default: colours\n"
     "when stdout is a terminal and NO_COLOR is unset);\n"
     "alone it means always",
     nullptr},
    {"html", "--html OUT", "write an HTML page to OUT (colour, edit)", nullptr},
    {"html-fragment", "--html-fragment",
     "write only the <pre> of each file (to --html OUT\n"
     "or stdout); the style sheet comes from --css",
     nullptr},
    {"css", "--css",
     "write the fragments' style sheet: light and dark\n"
     "(prefers-color-scheme), every rule under .wyn\n"
     "(colour)",
     "colour"},
    {"line-numbers", "-n, --line-numbers", "number the lines shown", nullptr},
    {"theme", "--theme=dark|light",
     "terminal colours for a dark or a light background;\n"
     "by default dark, unless COLORFGBG says light",
     nullptr},
    {"tab-width", "--tab-width=N", "show a tab as N columns (1 to 32; the page too)", nullptr},
    {"legend", "--legend", "first a line naming each colour", nullptr},
    {"encoding", "--encoding=NAME",
     "the script's encoding for display (iconv names:\n"
     "latin1, cp1252, gbk...); by default UTF-8 when\n"
     "the file is valid UTF-8, else a guessed code page\n"
     "(Windows-1252 when there is no guess, said on\n"
     "stderr). A page is UTF-8, a terminal gets the\n"
     "locale's charset, plain text for a pipe stays the\n"
     "file's bytes unless NAME is given (then UTF-8);\n"
     "the plug-in works on the file's bytes, less a\n"
     "byte-order mark; UTF-16 (a mark, or NAME utf-16,\n"
     "utf-16le, utf-16be) is read as UTF-8 and written\n"
     "back as it came",
     nullptr},
    {"stats", "--stats", "tell on stderr where the time went (colour)", nullptr},
    {"ctags", "--ctags[=TAGS]",
     "write a tags file (routines): each routine's\n"
     "header line as a search pattern, kind f, line:\n"
     "and end: fields; paths relative to its folder",
     nullptr},
    {"recurse", "-R, --recurse",
     "take every *.wyn below each DIR, in any letter\n"
     "case (routines, check)",
     nullptr},
    {"jobs", "-j, --jobs=N",
     "check the files in N processes at once (check; 1 to\n"
     "64); by default one a core for 16 files or more",
     nullptr},
    {"format", "--format=FORMAT",
     "text or json: the problems one a line or as JSON\n"
     "(check); textmate, sublime, vim, pygments, npp or\n"
     "emacs: the grammar to write (export)",
     nullptr},
    {"output", "-o, --output=PATH", "where the grammar goes (export): a file, or a folder",
     nullptr},
    {"include-dir", "--include-dir=DIR",
     "look for #include files in DIR too, after the\n"
     "script's own folder (check; any number of times)",
     nullptr},
    {"marks", "--marks", "list the plug-in's own marks (routines)", nullptr},
    {"keywords", "--keywords[=CLASS]", "list the words, of one class or all (info)", nullptr},
    {"templates", "--templates", "list the templates (info)", nullptr},
    {"in-place", "--in-place",
     "write the result back to FILE (expand, indent, edit,\n"
     "format)",
     nullptr},
    {"keys", "--keys SCRIPT", "the keys script to replay (edit)", nullptr},
    {"e", "-e ACTIONS", "the keys script given on the command line (edit)", nullptr},
    {"trace", "--trace", "show each re-colouring on stderr (edit)", nullptr},
    {"check", "--check",
     "name the lines whose colours went stale (edit); name\n"
     "the files that would change (format)",
     nullptr},
    {"indent", "--indent=tab|N",
     "indent by one tab or N spaces (1-16) a level (indent,\n"
     "format); without it the FILE's .editorconfig says\n"
     "(indent_style, indent_size, tab_width; not in the\n"
     "Windows build), else one tab",
     nullptr},
    {"cursor", "--cursor",
     "print where the template's cursor mark left the\n"
     "cursor, LINE:COL (COL in bytes from 1), on a line\n"
     "of its own on stderr (expand)",
     nullptr},
    {"state-flag", "--state-flag N",
     "what the editor's ScanStateFlag answers, 0 by\n"
     "default; nonzero widens each re-colouring to the\n"
     "next comment delimiter below the edit (edit)",
     nullptr},
    {"config", "--config CONFIG", "configuration calls made before the command", nullptr},
    {"no-config", "--no-config", "apply no .wyn.cfg", nullptr},
    {"max-size", "--max-size=SIZE",
     "the largest input read (a FILE, the keys script,\n"
     "a CONFIG): 256M by default, at most 1G; K, M, G",
     nullptr},
    {"help", "-h, --help", "this page; after a COMMAND, its part of it", nullptr},
    {"version", "--version", "the version", nullptr},
};

const char keys_script[] =
    "One action a line, or several separated by ';'. A line whose first word\n"
    "begins with '#' is a comment. Quoted text takes \\n \\t \\r \\\\ \\\" \\xHH.\n"
    "    type \"TEXT\"     type TEXT one character at a time; \\n is Enter\n"
    "    newline [N]     Enter: the plug-in's smart indent, else a plain new line\n"
    "    expand          the expansion key on the word at or before the cursor\n"
    "    indent          the plug-in's smart indent alone\n"
    "    goto LINE:COL   move the cursor (the script starts at 1:1)\n"
    "    left [N], right [N], up [N], down [N], home, end\n"
    "Example:  wyn edit -e 'goto 3:1; type \"while\"; expand; type \"i < 10\"' f.wyn";

const HelpSection sections[] = {
    {"KEYS SCRIPT", keys_script, true},
    {"CONFIG FILE",
     "One setting a line, '#' lines are comments; each is passed to the\n"
     "plug-in's configuration function of the same purpose.\n"
     "    keyword WORD CLASS          CLASS: 0|constant, 1|keyword, 2|function\n"
     "    template NAME \"TEXT\"        '&' marks where the cursor goes\n"
     "    hash-size CLASS SIZE        CLASS 1 or 2\n"
     "    comment-char \"C\"",
     true},
    {"EXIT STATUS",
     "0  done\n"
     "1  the plug-in found or did nothing: no routine, no expansion, no indent;\n"
     "   --in-place changed nothing; --check found stale colours; check\n"
     "   found an error; format found blocks that do not balance, or with\n"
     "   --check a file that would change\n"
     "2  usage error or bad input (missing, unreadable, directory, binary or\n"
     "   too large a file, position outside the buffer, malformed script), an\n"
     "   output refused, or a write that failed (wyn: OUT: reason); nothing\n"
     "   is written. colour, routines, check and format go on past a bad FILE\n"
     "   and exit 2 at the end.",
     true},
};

const HelpPage page = {
    "wyn - the WYN language plug-in at work on script files",
    "Every command also takes --config CONFIG (any number of times),\n"
    "--no-config and --max-size=SIZE. VIEW: -n, --theme=dark|light,\n"
    "--tab-width=N, --legend, --encoding=NAME (also for expand, indent, edit).",
    "wyn loads the plug-in into a stand-in of its editor the way the editor\n"
    "does (start-up, registered functions, calls by name) and puts it to work\n"
    "on files. Every colour, expansion, indent and routine range shown comes\n"
    "from the plug-in. FILE - reads standard input, and so does colour\n"
    "without a FILE. An empty file is an empty script.",
    commands,
    sizeof commands / sizeof commands[0],
    "Before any --config, a command applies the nearest .wyn.cfg: in the\n"
    "first FILE's folder (the current one for standard input) or a folder\n"
    "above it, looking no higher than a folder holding .git. Each FILE of\n"
    "colour and routines is coloured with its own project's file.\n"
    "\n"
    "expand, indent and edit print the resulting buffer, or with --in-place\n"
    "write it back: through a temporary file beside it that takes the file's\n"
    "owner, group, mode, ACLs and extended attributes, then a rename; a file\n"
    "with several links, or whose owner cannot be kept, is overwritten once\n"
    "the new text is complete. An unchanged result writes nothing (exit 1);\n"
    "a read-only file, or one changed while wyn worked on it, is refused.\n"
    "Outputs that are no regular files (devices, pipes, /dev/stdout) are\n"
    "written through; links are followed. An output that is also an input,\n"
    "or a page or tags file over an existing .wyn script, is refused.",
    options,
    sizeof options / sizeof options[0],
    sections,
    sizeof sections / sizeof sections[0],
};

// Each line of text after indent; the first after first instead when given
// (a name column the text stands beside).
void put_lines(std::string* out, const char* text, const std::string& indent,
               const std::string* first = nullptr) {
  bool at_first = true;
  for (const char* p = text; *p != 0;) {
    const char* nl = strchr(p, '\n');
    size_t n = nl != nullptr ? (size_t)(nl - p) : strlen(p);
    if (n > 0) *out += at_first && first != nullptr ? *first : indent;
    out->append(p, n);
    *out += '\n';
    at_first = false;
    p += nl != nullptr ? n + 1 : n;
  }
}

// "    NAME   " as wide as width, or NAME on a line of its own when it
// takes the whole column.
std::string name_column(std::string* out, const char* name, size_t width) {
  std::string column = std::string(4, ' ') + name;
  if (column.size() + 2 > width) {
    *out += column + "\n";
    return std::string(width, ' ');
  }
  return column + std::string(width - column.size(), ' ');
}

void put_synopsis(std::string* out, const HelpCommand& command) {
  put_lines(out, command.synopsis, "    wyn ");
  // A line that goes on the one before stands under it, past "wyn ".
  size_t at = 0;
  while ((at = out->find("    wyn  ", at)) != std::string::npos) out->replace(at, 8, "        ");
}

void put_command(std::string* out, const HelpCommand& command) {
  std::string first = name_column(out, command.name, 15);
  put_lines(out, command.text, std::string(15, ' '), &first);
}

void put_option(std::string* out, const HelpOption& option) {
  std::string first = name_column(out, option.shown, 26);
  put_lines(out, option.text, std::string(26, ' '), &first);
}

// Whether option is told of in command's part: the commands the table
// lets name it, less --help and --version, which every part has.
bool option_for(const HelpOption& option, int bit, const char* command) {
  if (option.only != nullptr) return !strcmp(option.only, command);
  if (!strcmp(option.key, "help") || !strcmp(option.key, "version")) return false;
  for (size_t i = 0; i < option_count(); i++) {
    OptionSpec spec = option_spec(i);
    if (help_option_is(option, spec.name, spec.letter))
      return bit >= 0 && (spec.commands & (1u << bit));
  }
  assert(!"every option told of is in the option table");
  return false;
}

}  // namespace

const HelpPage& help_page(void) {
  return page;
}

bool help_option_is(const HelpOption& option, const char* name, char letter) {
  if (letter != 0 && option.key[0] == letter && option.key[1] == 0) return true;
  if (name == nullptr) return false;
  size_t n = strlen(name);
  for (const char* k = option.key; *k != 0; k += strcspn(k, " "), k += *k == ' ') {
    if (strncmp(k, name, n) == 0 && (k[n] == 0 || k[n] == ' ')) return true;
  }
  return false;
}

void help_write(void) {
  std::string out = "NAME\n    " + std::string(page.name) + "\n\nSYNOPSIS\n";
  for (const HelpCommand& command : commands) put_synopsis(&out, command);
  out += "    wyn --help | --version\n";
  put_lines(&out, page.synopsis_note, "    ");
  out += "\nDESCRIPTION\n";
  put_lines(&out, page.intro, "    ");
  out += "\n";
  for (const HelpCommand& command : commands) put_command(&out, command);
  out += "\n";
  put_lines(&out, page.outro, "    ");
  out += "\nOPTIONS\n";
  for (const HelpOption& option : options) put_option(&out, option);
  for (const HelpSection& section : sections) {
    out += "\n" + std::string(section.title) + "\n";
    put_lines(&out, section.text, "    ");
  }
  out_text(out);
}

bool help_write_command(const char* name) {
  const HelpCommand* command = nullptr;
  for (const HelpCommand& c : commands)
    if (!strcmp(c.name, name)) command = &c;
  if (command == nullptr) return false;
  int bit = command_bit(name);
  std::string out = "SYNOPSIS\n";
  put_synopsis(&out, *command);
  if (bit >= 0) put_lines(&out, page.synopsis_note, "    ");
  out += "\nDESCRIPTION\n";
  put_command(&out, *command);
  std::string listed;
  for (const HelpOption& option : options)
    if (option_for(option, bit, name)) put_option(&listed, option);
  if (!listed.empty()) out += "\nOPTIONS\n" + listed;
  if (!strcmp(name, "edit")) {
    out += "\nKEYS SCRIPT\n";
    put_lines(&out, keys_script, "    ");
  }
  out += "\nThe whole page: wyn --help\n";
  out_text(out);
  return true;
}

void help_list_commands(FILE* f) {
  for (const HelpCommand& command : commands) fprintf(f, " %s", command.name);
  fputc('\n', f);
}
