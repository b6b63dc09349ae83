// wyn: the plug-in at work on real files. The tool is a host: it loads the
// plug-in into the stand-in editor as the editor does and asks it, by the
// registered names, for every colour, expansion, indent and routine range it
// shows. It never works these out itself.
#ifndef WYN_TOOL_H
#define WYN_TOOL_H

#include <stddef.h>
#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include "encoding.h"
#include "input.h"
#include "output.h"
#include "format.h"
#include "statements.h"
#include "session.h"

// Exit codes, the same for every command.
enum {
  EXIT_DONE = 0,     // the command did what it was asked
  EXIT_NOTHING = 1,  // the plug-in found or did nothing (no routine, no expansion)
  EXIT_ERROR = 2     // usage error, unreadable input, nothing written
};

// The plug-in's colour categories, as every command names them.
using wyn::CAT_COUNT;
using wyn::CAT_NONE;

enum ColourWhen { COLOUR_AUTO, COLOUR_ALWAYS, COLOUR_NEVER };
enum Theme { THEME_AUTO, THEME_DARK, THEME_LIGHT };

// The command line, parsed once by main.cpp from its table of options.
struct Options {
  const char* command = nullptr;
  std::vector<const char*> args;     // operands after the command
  std::vector<const char*> configs;  // --config FILE, in order
  ColourWhen colour = COLOUR_AUTO;   // --color=WHEN
  const char* html = nullptr;        // --html OUT
  const char* ctags = nullptr;       // --ctags[=OUT]
  const char* keys = nullptr;        // --keys FILE
  const char* keys_text = nullptr;   // -e SCRIPT
  bool in_place = false;             // --in-place
  bool trace = false;                // --trace (edit)
  bool stats = false;                // --stats (colour)
  bool check = false;                // --check (edit)
  long state_flag = 0;               // --state-flag N (edit)
  bool line_numbers = false;         // -n, --line-numbers
  Theme theme = THEME_AUTO;          // --theme=dark|light
  int tab_width = 0;                 // --tab-width=N; 0: tabs as they are
  bool legend = false;               // --legend
  const char* encoding = nullptr;    // --encoding=NAME; null: UTF-8, else Windows-1252
  bool html_fragment = false;        // --html-fragment: the <pre> only
  bool css = false;                  // --css: the page's style sheet only
  const char* keywords = nullptr;    // --keywords[=CLASS] (info); "" for every class
  bool templates = false;            // --templates (info)
  bool recurse = false;              // -R (routines, check): *.wyn below each folder
  bool marks = false;                // --marks (routines): the plug-in's own marks
  bool no_config = false;            // --no-config: no .wyn.cfg
  bool json = false;                 // --format=json (check)
  int jobs = 0;                      // --jobs=N (check); 0: one process a core
  // --include-dir=DIR (check), in order
  std::vector<const char*> include_dirs;
  const char* indent = nullptr;   // --indent=tab|N (indent, format); null: .editorconfig
  bool cursor = false;            // --cursor (expand)
  const char* grammar = nullptr;  // --format=NAME (export)
  const char* output = nullptr;   // -o, --output=PATH (export)
};

// A file as read: the name to show in messages and its bytes.
struct Source {
  std::string name;
  std::string text;
  FileId id;          // which file it was, so a change is noticed before writing back
  FileCoding coding;  // a script's form in its file, and the code page shown
};

// {====== files.cpp: reading and writing real files
// Reads path ("-" for stdin) into *out, within the size limit. A missing
// or unreadable file, a directory, a binary file (one holding a NUL byte)
// or one past the limit: prints "wyn: NAME: problem" and returns false. An
// empty file is an empty script.
bool read_source(const char* path, Source* out);
// The same, read straight into doc a piece at a time (out's text stays
// empty), so the text is held once. Without guess, a script that is not
// UTF-8 gets no code page guessed for it (out's coding has none): for a
// command that shows none of its text, as the guess costs more than
// colouring.
bool read_source_into(const char* path, Source* out, wyn::Document* doc, bool guess = true);
// Reads a keys script or configuration file, the same way.
bool read_script(const char* path, Source* out);
// The operands as files ("-" when there are none): with -R a folder stands
// for every *.wyn below it, each folder's entries in name order. False,
// after saying why on stderr, when a folder could not be read; the walk
// goes on past it.
bool script_operands(const Options& opt, std::vector<std::string>* out);
// A script's text, with no byte-order mark and UTF-16 decoded, is the text
// the plug-in sees; --encoding=utf-16 (utf-16le, utf-16be) reads a script
// without a mark as UTF-16.
// Writes go through output.h: write_output, replace_file, out_text.
// Prints "wyn: NAME: not UTF-8; read as CODEPAGE (guessed); use
// --encoding=NAME to choose" for a script whose bytes are shown in a code
// page no --encoding chose; nothing for any other.
void say_coding(const Source& file);
// The bytes that hold text in file's own form: text itself, or encoded
// into *encoded. Null, after saying why on stderr, when text cannot be
// written in that form exactly.
const std::string* write_form(const Source& file, const std::string& text, std::string* encoded);
// }======

// {====== project.cpp: the plug-in, loaded once per run
// The run's plug-in (see session.h).
wyn::Plugin& plugin();
// Loads the plug-in beside the executable (start-up runs), then applies
// the first FILE's .wyn.cfg and the --config files. Prints the problem and
// returns false on failure.
bool session_open(const Options& opt);
// Makes the plug-in the one for path ("-": standard input): started afresh
// with that file's .wyn.cfg (unless --no-config) and then the --config
// files, when it is not already configured so.
bool session_for(const Options& opt, const char* path);
// Prints "wyn: ERROR" when ok is false; answers ok.
bool reported(bool ok, const std::string& error);
// Notes the file a command is at work on ("-": stdin), so that memory
// running out names it; kept without allocating.
void working_on(const char* path);
// "wyn: FILE: Cannot allocate memory" (without FILE before any was noted),
// for a command that ran out of memory; answers EXIT_ERROR.
int out_of_memory();
// }======

// {====== config_files.cpp: --config files
// Reads a configuration file ("-": standard input) into *out: a regular
// file, never waited on, within the size limit. found: a project's
// .wyn.cfg rather than a file the user named. Prints the problem and
// returns false on failure.
bool read_config(const char* path, bool found, Source* out);
// Applies each line of a configuration file through the plug-in's
// configuration functions. Errors as "NAME:LINE: problem"; false on any.
bool config_apply(const Source& file);
// The .wyn.cfg that applies to path (a file, a folder, or "-" for the
// current folder): in its folder or the nearest above, no higher than a
// folder holding .git. "" when none.
std::string project_config(const char* path);
// Where #include looks for a script at path, after the script's own
// folder: the --include-dir folders, then the .wyn.cfg's include-dir
// entries (relative to its folder), in order.
std::vector<std::string> include_dirs_for(const Options& opt, const char* path);
// }======

// {====== lex.cpp: words and quoted text of script and configuration lines
// One statement: its words, quoted texts already unescaped, and the line it
// began on (the session layer's script reader).
using Statement = wyn::Statement;
// Splits text into statements: one per line, or separated by ';' outside
// quotes; '#' in place of a statement's first word begins a comment to the
// end of the line. Quoted text takes C escapes (\n \t \r \\ \" \xHH). On a malformed
// line prints "NAME:LINE: problem" and returns false.
bool lex_statements(const Source& file, std::vector<Statement>* out);
// Parses a decimal 32-bit number; false when word is anything else.
bool parse_number(const std::string& word, long* value);
// Parses "LINE:COL" (both from 1). False when malformed.
bool parse_position(const char* text, long* line, long* col);
// }======

// {====== keys.cpp: the edit command's keys script
enum KeyOp {
  KEY_TYPE,     // type "TEXT": characters one by one, '\n' as Enter
  KEY_NEWLINE,  // newline [N]: Enter
  KEY_EXPAND,   // expand: the expansion key
  KEY_INDENT,   // indent: the plug-in's smart indent alone
  KEY_GOTO,     // goto LINE:COL
  KEY_LEFT,
  KEY_RIGHT,
  KEY_UP,
  KEY_DOWN,  // [N]
  KEY_HOME,
  KEY_END  // of the line
};
struct KeyAction {
  KeyOp op;
  std::string text;  // KEY_TYPE
  long count = 1;    // moves and newline
  long line = 0;     // KEY_GOTO
  long col = 0;
  int script_line = 0;
};
bool keys_parse(const Source& script, std::vector<KeyAction>* out);
// }======

// {====== options.cpp: the command line
// "wyn: PROBLEMWHAT (see wyn --help)" on stderr; answers EXIT_ERROR.
int usage_error(const char* problem, const char* what);
// What options_read answers when the command is to run.
enum { RUN_COMMAND = -1 };
// Parses the command line into *opt and checks which command takes which
// option: RUN_COMMAND, or the exit status when the run ends here (help,
// version, a usage error).
int options_read(int argc, char** argv, Options* opt);
// Runs the command options_read accepted.
int command_run(const Options& opt);
// One row of the option table, as help and completions see it: the long
// name (null for a letter alone), the letter (0 for none), getopt's
// no_argument, required_argument or optional_argument, and the commands
// that take it (bit i: command_bit() == i).
struct OptionSpec {
  const char* name;
  char letter;
  int arg;
  unsigned commands;
};
size_t option_count(void);
OptionSpec option_spec(size_t i);
// The bit of a command in OptionSpec::commands; -1 for a name that is no
// command taking options (help, lsp, anything else).
int command_bit(const char* name);
// }======

// {====== help.cpp: the help page
// Writes the whole help page to stdout (--help, wyn help).
void help_write(void);
// Writes one command's part of the page (wyn help COMMAND, wyn COMMAND
// --help): false, writing nothing, when name is no command.
bool help_write_command(const char* name);
// " colour routines ...\n": every command's name, to f.
void help_list_commands(FILE* f);
// }======

// {====== the commands
int cmd_info(const Options& opt);
int cmd_css(const Options& opt);  // colour --css
int cmd_colour(const Options& opt);
int cmd_routines(const Options& opt);
int cmd_expand(const Options& opt);
int cmd_indent(const Options& opt);
int cmd_edit(const Options& opt);
int cmd_check(const Options& opt);
int cmd_format(const Options& opt);
int cmd_export(const Options& opt);
// The indent unit for path: --indent when given, else what .editorconfig
// says for it (where the tool is built with it), else one tab.
wyn::IndentUnit indent_unit_for(const Options& opt, const char* path);
// Prints the document (or writes it to file with --in-place), coloured when
// asked: the common ending of expand, indent and edit.
int show_result(const Options& opt, const Source& file, const wyn::Document& doc);
// Writes a coloured document to stdout a piece at a time, as colour shows a
// script (plain: its bytes as they are); text that is not UTF-8 is shown as
// guess says (the script's FileCoding), or as the default.
void show_coloured(const wyn::Document& doc, bool ansi, bool plain, const char* guess = nullptr);
// }======

#endif
