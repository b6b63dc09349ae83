// Seeded generators of WYN source text for benchmarks, tests and fuzzers.
// generate() writes realistic scripts: block and line comments, strings with
// escapes, numbers of every form, keywords, constants and built-in calls.
// generate_tricky() writes short buffers dense in the characters the
// colouring code cares about, for invariant checks. Same seed, same text.
#ifndef WYN_TEXT_H
#define WYN_TEXT_H

#include <stddef.h>
#include <stdint.h>
#include <string>

namespace wyn_text {

// splitmix64: small, fast and good enough for test text.
struct rng {
  uint64_t state;
  explicit rng(uint64_t seed) : state(seed) {}
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t below(size_t n) { return n == 0 ? 0 : (size_t)(next() % n); }
  bool chance(unsigned percent) { return below(100) < percent; }
};

template <size_t N>
const char* pick(rng& r, const char* const (&list)[N]) {
  return list[r.below(N)];
}

// A sample of each word class, and names no table holds.
static const char* const constants[] = {"TRUE",
                                        "FALSE",
                                        "TARGETDIR",
                                        "SRCDIR",
                                        "WINSYSDIR",
                                        "SEVERE",
                                        "WARNING",
                                        "AFTER",
                                        "BEFORE",
                                        "NULL",
                                        "LIST_NULL",
                                        "END_OF_LIST",
                                        "HKEY_LOCAL_MACHINE",
                                        "REGDB_STRING",
                                        "FILE_EXISTS",
                                        "COMP_DONE",
                                        "ISLANG_ENGLISH",
                                        "YES",
                                        "NO"};
static const char* const keywords[] = {
    "if",     "then",   "else",   "elseif", "endif",     "while", "endwhile", "for",   "to",
    "endfor", "return", "switch", "case",   "endswitch", "goto",  "repeat",   "until", "STRING",
    "NUMBER", "LIST",   "BOOL",   "abort",  "exit",      "step",  "downto"};
static const char* const functions[] = {
    "MessageBox",       "StrLength",     "StrCompare",         "StrToUpper",
    "ListCreate",       "ListAddString", "ListDestroy",        "CopyFile",
    "DeleteFile",       "CreateDir",     "RegDBSetKeyValueEx", "RegDBGetKeyValueEx",
    "LaunchAppAndWait", "Sprintf",       "GetProfString",      "SdWelcome",
    "SetStatusWindow",  "NumToStr",      "FindFile",           "AskYesNo",
    "SetTitle",         "Delay",         "VerCompare",         "OpenFileMode"};
static const char* const variables[] = {"szPath", "szTemp",  "nResult", "nIndex",  "listID",
                                        "svName", "nvSize",  "bDone",   "szKey",   "nCount",
                                        "hWnd",   "szTitle", "nStatus", "svTarget"};
static const char* const comment_words[] = {
    "copy", "the",    "files",      "into", "target",     "folder", "check",  "registry",
    "key",  "before", "reboot",     "user", "choice",     "TODO:",  "dialog", "size",
    "*",    "/",      "\"quoted\"", "if",   "MessageBox", "0x10",   "e.g.",   "--"};
static const char* const string_words[] = {
    "Setup", "is", "copying", "files", "\\\\",  "\\\"",   "\\n", "%s", "%d", "C:\\\\Program Files",
    "/*",    "//", "*/",      "'",     "done.", "Error:", "\\t"};

struct options {
  bool crlf = false;          // CR LF line ends
  bool final_newline = true;  // the text ends with a line end
};

inline void newline(std::string& out, const options& o) {
  out += o.crlf ? "\r\n" : "\n";
}

inline void number(std::string& out, rng& r) {
  switch (r.below(6)) {
    case 0:
      out += "0x" + std::to_string(r.below(0xFFFF));
      break;
    case 1:
      out += std::to_string(r.below(100)) + "." + std::to_string(r.below(100));
      break;
    case 2:
      out += std::to_string(r.below(100000)) + "L";
      break;
    default:
      out += std::to_string(r.below(1000));
      break;
  }
}

inline void string_literal(std::string& out, rng& r) {
  char q = r.chance(85) ? '"' : '\'';
  out += q;
  size_t words = 1 + r.below(5);
  for (size_t i = 0; i < words; i++) {
    if (i) out += ' ';
    const char* w = pick(r, string_words);
    if (q == '\'' && w[0] == '\'') w = "x";
    out += w;
  }
  out += q;
}

inline void operand(std::string& out, rng& r) {
  switch (r.below(6)) {
    case 0:
      out += pick(r, constants);
      break;
    case 1:
      number(out, r);
      break;
    case 2:
      string_literal(out, r);
      break;
    case 3:
      out += pick(r, functions);
      out += "(";
      out += pick(r, variables);
      out += ")";
      break;
    default:
      out += pick(r, variables);
      break;
  }
}

inline void expression(std::string& out, rng& r) {
  static const char* const ops[] = {" + ", " - ",  " * ",  " / ",  " < ", " > ",
                                    " = ", " != ", " && ", " || ", " ^ ", " % "};
  operand(out, r);
  size_t more = r.below(3);
  for (size_t i = 0; i < more; i++) {
    out += pick(r, ops);
    operand(out, r);
  }
}

inline void indent(std::string& out, int depth) {
  for (int i = 0; i < depth; i++) out += "    ";
}

// One line of a script body at the given depth, without its line end.
inline void statement(std::string& out, rng& r, int depth) {
  indent(out, depth);
  switch (r.below(12)) {
    case 0:
      out += "// ";
      for (size_t i = 0, n = 2 + r.below(8); i < n; i++) {
        out += pick(r, comment_words);
        out += ' ';
      }
      break;
    case 1:
      out += "if (";
      expression(out, r);
      out += ") then";
      break;
    case 2:
      out += r.chance(50) ? "endif;" : "else";
      break;
    case 3:
      out += pick(r, functions);
      out += "(";
      expression(out, r);
      out += ", ";
      operand(out, r);
      out += ");";
      break;
    case 4:
      out += "for ";
      out += pick(r, variables);
      out += " = 1 to ";
      number(out, r);
      break;
    case 5:
      out += "return ";
      number(out, r);
      out += ";";
      break;
    case 6:
      out += pick(r, variables);
      out += " = ";
      expression(out, r);
      out += ";  /* ";
      out += pick(r, comment_words);
      out += " */";
      break;
    default:
      out += pick(r, variables);
      out += " = ";
      expression(out, r);
      out += ";";
      break;
  }
}

inline void block_comment(std::string& out, rng& r, const options& o) {
  out += "/*";
  size_t lines = 1 + r.below(5);
  for (size_t i = 0; i < lines; i++) {
    newline(out, o);
    out += " * ";
    for (size_t j = 0, n = 3 + r.below(8); j < n; j++) {
      out += pick(r, comment_words);
      out += ' ';
    }
  }
  newline(out, o);
  out += " */";
  newline(out, o);
}

// One function definition: header comment, prototype, declarations, body.
inline void routine(std::string& out, rng& r, const options& o) {
  std::string name = std::string("Routine") + std::to_string(r.below(100000));
  if (r.chance(60)) block_comment(out, r, o);
  out += "prototype " + name + "(STRING, NUMBER);";
  newline(out, o);
  out += "function " + name + "(szPath, nFlags)";
  newline(out, o);
  for (size_t i = 0, n = 1 + r.below(3); i < n; i++) {
    out += r.chance(50) ? "    STRING " : "    NUMBER ";
    out += pick(r, variables);
    out += ";";
    newline(out, o);
  }
  out += "begin";
  newline(out, o);
  for (size_t i = 0, n = 4 + r.below(20); i < n; i++) {
    statement(out, r, 1 + (int)r.below(2));
    newline(out, o);
  }
  out += "end;";
  newline(out, o);
  newline(out, o);
}

// Realistic text of at least `bytes` bytes (a whole routine more at most).
inline std::string generate(uint64_t seed, size_t bytes, const options& o = options()) {
  rng r(seed);
  std::string out;
  out.reserve(bytes + 4096);
  out += "#include \"ifx.h\"";
  newline(out, o);
  out += "#define MAX_SIZE 0x100";
  newline(out, o);
  while (out.size() < bytes) routine(out, r, o);
  if (!o.final_newline) {
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  }
  return out;
}

// Realistic text of exactly `lines` line ends (the text ends with one).
inline std::string generate_lines(uint64_t seed, size_t lines, const options& o = options()) {
  rng r(seed);
  std::string out;
  size_t done = 0;
  int depth = 1;
  while (done < lines) {
    if (r.chance(3) && lines - done > 8) {
      out += "/* ";
      out += pick(r, comment_words);
      newline(out, o);
      out += "   ";
      out += pick(r, comment_words);
      out += " */";
      done++;
    } else {
      statement(out, r, depth);
      depth = 1 + (int)r.below(3);
    }
    newline(out, o);
    done++;
  }
  return out;
}

// A script as its authors write them, for figures that should match what
// a real file costs: a banner comment, #include lines, routines with
// blocks nested and every one closed, one-statement "if (x) goto done;"
// beside "if (x) then ... endif;", comments with Windows-1252 and GBK
// bytes, some routine headers indented, and old routines commented out
// whole with /* */. Every routine's name is its own and every goto has its
// label, so a correct checker finds nothing in it. At least `lines` line
// ends (a routine more at most).
inline void real_line(std::string& out, rng& r, int depth, bool commented_out) {
  static const char* const foreign[] = {"\xb0\xb2\xd7\xb0\xb3\xcc\xd0\xf2",  // GBK
                                        "caf\xe9 r\xe9sum\xe9", "na\xefve \x93quoted\x94"};
  indent(out, depth);
  switch (r.below(commented_out ? 3 : 6)) {
    case 0:
      out += "// ";
      out += pick(r, comment_words);
      out += ' ';
      out += r.chance(30) ? pick(r, foreign) : pick(r, comment_words);
      break;
    case 1:
      out += pick(r, variables);
      out += " = ";
      out += pick(r, variables);
      out += " + ";
      number(out, r);
      out += ";";
      break;
    case 2:
      out += pick(r, functions);
      out += "(";
      out += pick(r, variables);
      out += ", ";
      out += pick(r, constants);
      out += ");";
      break;
    default:
      out += pick(r, variables);
      out += " = ";
      expression(out, r);
      out += ";";
      break;
  }
}

// Statements at depth, about `lines` of them, blocks nested inside.
inline void real_body(std::string& out, rng& r, const options& o, int depth, size_t lines,
                      bool commented_out, bool* jumps) {
  size_t written = 0;
  while (written < lines) {
    size_t k = r.below(12);
    if (depth < 5 && k < 3 && lines - written >= 3) {
      size_t inner = 1 + r.below(lines - written - 2 < 6 ? lines - written - 2 : 6);
      indent(out, depth);
      switch (r.below(5)) {
        case 0:
          out += "if (" + std::string(pick(r, variables)) + " = " + pick(r, constants) + ") then";
          newline(out, o);
          real_body(out, r, o, depth + 1, inner, commented_out, jumps);
          if (r.chance(40)) {
            indent(out, depth);
            out += "else";
            newline(out, o);
            real_body(out, r, o, depth + 1, 1, commented_out, jumps);
          }
          indent(out, depth);
          out += "endif;";
          break;
        case 1:
          out += "while (" + std::string(pick(r, variables)) + " < 10)";
          newline(out, o);
          real_body(out, r, o, depth + 1, inner, commented_out, jumps);
          indent(out, depth);
          out += "endwhile;";
          break;
        case 2:
          out += "for nIndex = 1 to ";
          number(out, r);
          newline(out, o);
          real_body(out, r, o, depth + 1, inner, commented_out, jumps);
          indent(out, depth);
          out += "endfor;";
          break;
        case 3:
          out += "repeat";
          newline(out, o);
          real_body(out, r, o, depth + 1, inner, commented_out, jumps);
          indent(out, depth);
          out += "until (bDone = TRUE);";
          break;
        default:
          out += "switch (nResult)";
          newline(out, o);
          indent(out, depth);
          out += "case 1:";
          newline(out, o);
          real_body(out, r, o, depth + 1, inner, commented_out, jumps);
          indent(out, depth);
          out += "default:";
          newline(out, o);
          real_body(out, r, o, depth + 1, 1, commented_out, jumps);
          indent(out, depth);
          out += "endswitch;";
          break;
      }
      written += inner + 2;
    } else if (k == 3) {
      indent(out, depth);
      out += "if (" + std::string(pick(r, variables)) + " < 0) ";
      if (!commented_out && r.chance(50)) {
        out += "goto done;";
        *jumps = true;
      } else {
        out += "return -1;";
      }
      written++;
    } else {
      real_line(out, r, depth, commented_out);
      written++;
    }
    newline(out, o);
  }
}

// One routine named name: its prototype, then the definition, indented by
// `margin` spaces; commented out whole when asked.
inline void real_routine(std::string& out, rng& r, const options& o, const std::string& name,
                         size_t margin, bool commented_out) {
  std::string pad(margin, ' ');
  if (commented_out) {
    out += "/* not used since 2004";
    newline(out, o);
  } else {
    out += "prototype " + name + "(STRING, NUMBER);";
    newline(out, o);
  }
  out += pad + "function " + name + "(szPath, nFlags)";
  newline(out, o);
  for (size_t i = 0, n = 1 + r.below(3); i < n; i++) {
    out += pad + (r.chance(50) ? "    STRING " : "    NUMBER ") + pick(r, variables) + ";";
    newline(out, o);
  }
  out += pad + "begin";
  newline(out, o);
  bool jumps = false;
  real_body(out, r, o, 1 + (int)margin / 4, 8 + r.below(40), commented_out, &jumps);
  if (jumps) {
    out += pad + "done:";
    newline(out, o);
  }
  out += pad + "    return 0;";
  newline(out, o);
  out += pad + "end;";
  newline(out, o);
  if (commented_out) {
    out += "*/";
    newline(out, o);
  }
  newline(out, o);
}

inline std::string generate_real(uint64_t seed, size_t lines, const options& o = options()) {
  rng r(seed);
  std::string out;
  const char* const banner[] = {
      "//////////////////////////////////////////////////////////////////////////////",
      "//  File Name:   SETUP.RUL", "//  Description: main script of the installation",
      "//  Comments:    keep the \xb0\xb2\xd7\xb0 (Chinese) messages in step with the English ones",
      "//////////////////////////////////////////////////////////////////////////////"};
  for (const char* line : banner) {
    out += line;
    newline(out, o);
  }
  out += "#include \"IFX.H\"";
  newline(out, o);
  out += "#include \"Common.rul\"";
  newline(out, o);
  out += "#define MAX_SIZE 0x100";
  newline(out, o);
  newline(out, o);
  size_t done = 0, n = 0;
  while (done < lines) {
    size_t from = out.size();
    real_routine(out, r, o, "Routine" + std::to_string(n++), r.chance(15) ? 4 : 0, r.chance(10));
    for (size_t i = from; i < out.size(); i++) done += out[i] == '\n';
  }
  if (!o.final_newline) {
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  }
  return out;
}

// A short buffer made mostly of the characters that open, close, escape or
// end tokens, with some words, digits and high bytes between them.
inline std::string generate_tricky(uint64_t seed, size_t length) {
  static const char* const pieces[] = {
      "/",    "*",    "/*",   "*/",   "//",   "\"",         "'",       "\\",   "\n", "\r\n",
      "\\\n", " ",    "\t",   "if",   "TRUE", "MessageBox", "#define", "0x1F", "12", "5_",
      "_5",   "10L",  "1.2",  "x",    "X",    ".",          "+",       "=",    ";",  "(",
      ")",    "\xe9", "\xff", "\x80", "a",    "9",          "-",       ":",    "#"};
  rng r(seed);
  std::string out;
  while (out.size() < length) out += pick(r, pieces);
  out.resize(length);
  return out;
}

}  // namespace wyn_text

#endif  // WYN_TEXT_H
