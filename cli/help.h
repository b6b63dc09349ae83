// wyn: the help page as data: the one text that --help, wyn help COMMAND
// and the manual page are all made from.
#ifndef WYN_HELP_H
#define WYN_HELP_H

#include <stddef.h>

// Texts are lines joined by '\n', wrapped for the terminal page; a manual
// page fills them anew.

// A command: its synopsis lines (after "wyn "; a line that starts with a
// blank goes on the one before) and what it does.
struct HelpCommand {
  const char* name;
  const char* synopsis;
  const char* text;
};

// An option: the option table's long names (separated by blanks) or letter
// it tells of, the
// form it is shown in, and what it does. only: the one command it is told
// for when the table lets every command name it; else null.
struct HelpOption {
  const char* key;
  const char* shown;
  const char* text;
  const char* only;
};

// A part of the page under a heading. verbatim: lines laid out as they
// stand (tables, lists); else paragraphs separated by blank lines.
struct HelpSection {
  const char* title;
  const char* text;
  bool verbatim;
};

struct HelpPage {
  const char* name;           // the NAME line
  const char* synopsis_note;  // after the synopses: what every command takes
  const char* intro;          // DESCRIPTION before the commands
  const HelpCommand* commands;
  size_t command_count;
  const char* outro;  // DESCRIPTION after the commands
  const HelpOption* options;
  size_t option_count;
  const HelpSection* sections;  // after OPTIONS
  size_t section_count;
};

const HelpPage& help_page(void);
// The option table's row an option's help tells of (see OptionSpec).
bool help_option_is(const HelpOption& option, const char* name, char letter);

#endif
