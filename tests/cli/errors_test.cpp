// Bad input: a one-line message naming the file and the problem, exit code
// 2, nothing on stdout and nothing written.
#include "tool_run.h"

#include <sys/stat.h>

namespace {

const char script[] = "function Foo(a)\nbegin\n    if (a) then\n    endif;\nend;\n";

struct BadCase {
  const char* what;
  std::vector<std::string> args;  // $F: a good script, $D: the scratch folder
  const char* message;            // part of the one line on stderr
};

TEST_F(ToolTest, BadInputIsOneLineExitTwoAndWritesNothing) {
  std::string good = file("good.wyn", script);
  file("binary.wyn", std::string("if\0x", 4));
  file("bad.cfg", "keyword Foo 1\nsparkle on\n");
  file("badclass.cfg", "keyword Foo 7\n");
  file("keys.txt", "goto 1:1\ntype \"unterminated\n");
  file("nokeys.txt", "# nothing here\n");
  std::filesystem::create_directory(dir + "/folder.wyn");
  const BadCase cases[] = {
      {"missing file", {"colour", "$D/missing.wyn"}, "missing.wyn: No such file or directory"},
      {"directory", {"colour", "$D/folder.wyn"}, "folder.wyn: is a directory"},
      {"binary file", {"colour", "$D/binary.wyn"}, "binary.wyn: binary file"},
      {"line past the end", {"expand", "$F", "9:1"}, "position 9:1 lies outside"},
      {"column past the end", {"indent", "$F", "1:17"}, "1:17: line 1 has 15 characters"},
      {"goto past a line's end", {"edit", "$F", "-e", "goto 2:7"}, "line 2 has 5 characters"},
      {"malformed position", {"expand", "$F", "3"}, "bad position '3'"},
      {"zero line", {"expand", "$F", "0:1"}, "bad position '0:1'"},
      {"negative column", {"expand", "$F", "1:-2"}, "bad position '1:-2'"},
      {"unknown action", {"edit", "$F", "-e", "goto 1:1; jump 3"}, "-e:1: unknown action 'jump'"},
      {"unterminated text",
       {"edit", "$F", "--keys", "$D/keys.txt"},
       "keys.txt:2: unterminated quoted text"},
      {"bad escape", {"edit", "$F", "-e", "type \"a\\qb\""}, "-e:1: unknown escape"},
      {"type without quotes", {"edit", "$F", "-e", "type abc"}, "type needs one \"quoted text\""},
      {"empty keys script", {"edit", "$F", "--keys", "$D/nokeys.txt"}, "no action"},
      {"goto outside", {"edit", "$F", "-e", "goto 40:1"}, "-e:1: goto 40:1 lies outside"},
      {"no keys", {"edit", "$F"}, "takes one keys script"},
      {"two keys scripts", {"edit", "$F", "-e", "home", "--keys", "$D/keys.txt"}, "takes one"},
      {"bad setting", {"colour", "--config", "$D/bad.cfg", "$F"}, "bad.cfg:2: unknown setting"},
      {"bad class", {"colour", "--config", "$D/badclass.cfg", "$F"}, "badclass.cfg:1: CLASS is"},
      {"missing config", {"colour", "--config", "$D/none.cfg", "$F"}, "none.cfg: No such file"},
      {"unknown command", {"paint", "$F"}, "unknown command paint"},
      {"unknown option", {"colour", "--sparkle", "$F"}, "unknown option --sparkle"},
      {"bad colour", {"colour", "--color=pink", "$F"}, "--color takes always, never or auto"},
      {"bad colour, other spelling", {"colour", "--colour=", "$F"}, "--color takes always"},
      {"in place on colour", {"colour", "--in-place", "$F"}, "--in-place goes with"},
      {"in place on stdin", {"expand", "--in-place", "-", "1:1"}, "--in-place needs a FILE"},
      {"missing file for routines -R", {"routines", "-R", "$D/none.wyn"}, "none.wyn: No such"},
      {"bad theme", {"colour", "--theme=sepia", "$F"}, "--theme takes dark or light"},
      {"tab width 0", {"colour", "--tab-width=0", "$F"}, "--tab-width takes a number"},
      {"unknown encoding", {"colour", "--encoding=klingon", "$F"}, "unknown encoding klingon"},
      {"bad word class", {"info", "--keywords=verbs"}, "--keywords takes CLASS"},
      {"css with a file", {"colour", "--css", "$F"}, "--css writes the style sheet alone"},
      {"numbers for routines", {"routines", "-n", "$F"}, "-n, --theme, --tab-width"},
      {"marks with tags", {"routines", "--marks", "--ctags", "$F"}, "--marks lists marks"},
      {"tags of stdin", {"routines", "--ctags=$D/tags", "$F", "-"}, "--ctags needs a FILE"},
      {"no command", {}, "no command given"},
  };
  for (const BadCase& c : cases) {
    Ran r = wyn(filled(c.args, {{"$F", good}, {"$D", dir}}));
    EXPECT_EQ(r.code, 2) << c.what;
    EXPECT_EQ(r.out, "") << c.what;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
    EXPECT_EQ(count_of(r.err, "\n"), 1u) << c.what << ": " << r.err;
  }
  EXPECT_EQ(read_file(good), script);
}

// The command line's own checks, in full: which command takes an option,
// a value that is missing, and which fault is told when there are two.
TEST_F(ToolTest, UsageErrorsNameTheOptionAndTheCommandsThatTakeIt) {
  const struct {
    std::vector<std::string> args;
    const char* message;  // the whole line, between "wyn: " and " (see wyn --help)"
  } cases[] = {
      {{"info", "--html", "x"}, "--html goes with colour or edit, not info"},
      {{"info", "--stats"}, "--stats goes with colour, not info"},
      {{"info", "--ctags"}, "--ctags goes with routines, not info"},
      {{"colour", "--in-place"}, "--in-place goes with expand, indent, edit or format, not colour"},
      {{"info", "--state-flag", "3"},
       "--keys, -e, --trace and --state-flag go with edit, not info"},
      {{"info", "-n"},
       "-n, --theme, --tab-width and --legend go with colour, expand, indent or edit, not info"},
      {{"info", "--encoding", "latin1"},
       "--encoding goes with colour, routines, expand, indent or edit, not info"},
      {{"routines", "--html-fragment"}, "--html-fragment goes with colour or edit, not routines"},
      {{"info", "--css"},
       "--css writes the style sheet alone: wyn colour --css [--html OUT], not info"},
      {{"colour", "--templates"}, "--keywords and --templates go with info, not colour"},
      {{"info", "-R"}, "-R goes with routines or check, not info"},
      {{"info", "--marks"}, "--marks goes with routines, not info"},
      {{"colour", "--format=json"}, "--format goes with check or export, not colour"},
      {{"check", "--format=xml"}, "--format takes text or json, not xml"},
      {{"colour", "--html"}, "--html needs OUT.html"},
      {{"edit", "-e"}, "-e needs ACTIONS"},
      {{"colour", "--config"}, "--config needs a CONFIG file"},
      {{"colour", "--max-size"}, "--max-size takes a size, not nothing"},
      {{"colour", "--tab-width"}, "--tab-width takes a number from 1 to 32, not nothing"},
      {{"colour", "--colo"}, "unknown option --colo"},
      {{"routines", "--ctags="}, "unknown option --ctags="},
      // A misplaced edit option is told before an operand that does not fit,
      // and that before a misplaced display option.
      {{"routines", "--ctags", "--in-place"},
       "--in-place goes with expand, indent, edit or format, not routines"},
      {{"routines", "--ctags", "-n"}, "--ctags needs a FILE to point at, not standard input"},
  };
  for (const auto& c : cases) {
    Ran r = wyn(c.args);
    EXPECT_EQ(r.code, 2) << c.message;
    EXPECT_EQ(r.err, std::string("wyn: ") + c.message + " (see wyn --help)\n");
  }
  // --state-flag 0 is the default, which any command takes.
  EXPECT_EQ(wyn({"info", "--state-flag", "0"}).code, 0);
}

// --in-place with a bad position or an expansion that does nothing leaves
// the file as it was, and a bad --config stops the command before it acts.
TEST_F(ToolTest, FailedInPlaceLeavesTheFileAlone) {
  std::string f = file("f.wyn", script);
  struct stat before;
  ASSERT_EQ(stat(f.c_str(), &before), 0);
  EXPECT_EQ(wyn({"expand", "--in-place", f, "9:9"}).code, 2);
  EXPECT_EQ(wyn({"expand", "--in-place", f, "2:1"}).code, 1);  // 'begin' has no template
  std::string cfg = file("c.cfg", "template\n");
  EXPECT_EQ(wyn({"expand", "--in-place", "--config", cfg, f, "3:5"}).code, 2);
  struct stat after;
  ASSERT_EQ(stat(f.c_str(), &after), 0);
  EXPECT_EQ(read_file(f), script);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                          std::filesystem::directory_iterator()),
            2);
}

}  // namespace
