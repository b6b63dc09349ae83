// Statement scripts as the front ends read them (configuration files, the
// tool's keys scripts): one statement a line or several separated by ';',
// words and quoted texts with C escapes, '#' lines as comments. And the
// configuration files themselves: each setting applied through the
// plug-in's configuration entry point of the same purpose, and the
// project's .wyn.cfg found above a file as .editorconfig is.
#ifndef WYN_SESSION_STATEMENTS_H
#define WYN_SESSION_STATEMENTS_H

#include <stddef.h>

#include <string>
#include <vector>

#include "session.h"

namespace wyn {

// One statement: its words, quoted texts already unescaped, and the line it
// began on.
struct Statement {
  std::vector<std::string> words;
  std::vector<bool> quoted;  // in step with words
  int line = 0;
};

// Splits text into statements. Quoted text takes \n \t \r \\ \" \xHH. On a
// malformed line answers false with the line in *line and what is wrong in
// *problem.
bool lex_statements(const std::string& text, std::vector<Statement>* out, int* line,
                    std::string* problem);
// Parses a decimal 32-bit number; false when word is anything else.
bool parse_number(const std::string& word, long* value);

// Applies a configuration file's text, every line checked before the first
// call so that a bad file changes nothing:
//   keyword WORD CLASS        CLASS 0|constant, 1|keyword, 2|function
//   template NAME "TEXT"
//   hash-size CLASS SIZE      CLASS 1 or 2, SIZE above 0
//   comment-char "TEXT"
//   include-dir FOLDER        where #include looks; for the front ends
// On failure *error is "NAME:LINE: problem".
bool apply_config(Plugin& plugin, const std::string& text, const std::string& name,
                  std::string* error);

// The most a configuration file may hold, in bytes, where the front end
// sets no limit of its own.
const size_t kConfigFileLimit = (size_t)1 << 20;

// Reads the configuration file at path whole into *text, as
// read_regular_file reads a file (a regular one only, never waited on, at
// most limit bytes), and refuses one holding a NUL byte. False with
// *problem saying why (strerror for a failed call) and errno set: EFBIG
// when over the limit, EILSEQ at a NUL.
bool read_config_file(const std::string& path, size_t limit, std::string* text,
                      std::string* problem);

// The .wyn.cfg that applies to files in folder: in folder or the nearest
// folder above it, looking no higher than a folder that holds .git; "" when
// there is none.
std::string find_config_file(const std::string& folder);

}  // namespace wyn

#endif
