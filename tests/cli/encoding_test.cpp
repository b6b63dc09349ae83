// Scripts in the forms real ones come in: a byte-order mark, UTF-16 either
// way round, legacy code pages, CR LF line ends. The plug-in sees the text,
// positions are the text's, and what is written back is the file's own form
// with every byte outside an edit as it was.
#include <iconv.h>

#include "tool_run.h"

namespace {

// text (UTF-8) in the named encoding, by the system's converter: a second
// opinion on what the tool should write.
std::string converted(const std::string& text, const char* to) {
  iconv_t cd = iconv_open(to, "UTF-8");
  if (cd == (iconv_t)-1) return "<no converter for " + std::string(to) + ">";
  std::string out(4 * text.size() + 8, '\0');
  char* src = const_cast<char*>(text.data());
  size_t left = text.size();
  char* dst = &out[0];
  size_t room = out.size();
  size_t r = iconv(cd, &src, &left, &dst, &room);
  iconv_close(cd);
  if (r == (size_t)-1) return "<not convertible to " + std::string(to) + ">";
  out.resize(out.size() - room);
  return out;
}

const std::string bom8 = "\xef\xbb\xbf";

// A file's form: how UTF-8 text becomes its bytes, and the --encoding
// that reads it, when one is needed.
struct Form {
  const char* what;
  std::string (*bytes)(const std::string& text);
  const char* encoding;
};

const Form forms[] = {
    {"UTF-8", [](const std::string& t) { return t; }, nullptr},
    {"UTF-8 with a mark", [](const std::string& t) { return bom8 + t; }, nullptr},
    {"UTF-16LE with a mark",
     [](const std::string& t) { return std::string("\xff\xfe") + converted(t, "UTF-16LE"); },
     nullptr},
    {"UTF-16BE with a mark",
     [](const std::string& t) { return std::string("\xfe\xff") + converted(t, "UTF-16BE"); },
     nullptr},
    {"UTF-16LE named", [](const std::string& t) { return converted(t, "UTF-16LE"); }, "utf-16"},
    {"UTF-16BE named", [](const std::string& t) { return converted(t, "UTF-16BE"); }, "utf-16be"},
    {"GBK", [](const std::string& t) { return converted(t, "GBK"); }, nullptr},
    {"GBK named", [](const std::string& t) { return converted(t, "GBK"); }, "gbk"},
    {"Windows-1252", [](const std::string& t) { return converted(t, "WINDOWS-1252"); }, nullptr},
};

// A script as they are written: CR LF, a banner in the script's own
// language, a one-statement if beside a block one. Each form's sample
// holds only what its code page has.
std::string sample(const char* form) {
  std::string banner = !strncmp(form, "GBK", 3)             ? "// 安装程序的设置脚本"
                       : !strncmp(form, "Windows-1252", 12) ? "// Caf\xc3\xa9 \xe2\x82\xac"
                                                            : "// 设置 Café €";
  return banner +
         "\r\n    function Check()\r\n    begin\r\n        if (x) goto done;\r\n"
         "        if (y) then\r\n        endif;\r\n    done:\r\n    end;\r\n";
}

class EncodingTest : public ToolTest {
 protected:
  Ran run(std::vector<std::string> args, const char* encoding) {
    if (encoding != nullptr) args.push_back(std::string("--encoding=") + encoding);
    return wyn(args);
  }
};

TEST_F(EncodingTest, InPlaceKeepsEveryByteOutsideTheEdit) {
  const struct {
    const char* what;
    const char* keys;
    size_t line, col;  // where the text is typed, as the user sees it
  } edits[] = {
      {"first column of line 1", "goto 1:1\ntype \"x\"", 1, 1},
      {"end of line 4", "goto 4:26\ntype \" \"", 4, 26},
  };
  for (const Form& form : forms) {
    for (const auto& e : edits) {
      std::string what = std::string(form.what) + ", " + e.what;
      std::string text = sample(form.what);
      std::string f = file("SETUP.WYN", form.bytes(text));
      Ran r = run({"edit", "--in-place", f, "-e", e.keys}, form.encoding);
      ASSERT_EQ(r.code, 0) << what << ": " << r.err;
      // The same edit on the text, in the same form: the file must be
      // exactly that, so nothing else moved.
      size_t at = 0;
      for (size_t line = 1; line < e.line; line++) at = text.find('\n', at) + 1;
      std::string typed = std::string(e.keys).substr(std::string(e.keys).find('"') + 1, 1);
      std::string expected = text;
      expected.insert(at + e.col - 1, typed);
      EXPECT_EQ(read_file(f), form.bytes(expected)) << what;
    }
  }
}

// The script printed by a command that shows it is in the file's own form,
// so that redirecting it makes the same kind of file.
TEST_F(EncodingTest, PrintedScriptKeepsItsForm) {
  for (const Form& form : forms) {
    std::string text = sample(form.what);
    std::string f = file("s.wyn", form.bytes(text));
    Ran r = run({"edit", f, "-e", "goto 1:1\ntype \"x\""}, form.encoding);
    EXPECT_EQ(r.code, 0) << form.what << ": " << r.err;
    // --encoding shows the script decoded: UTF-8 text.
    EXPECT_EQ(r.out, form.encoding != nullptr ? "x" + text : form.bytes("x" + text)) << form.what;
  }
}

// What cannot be written in the file's form exactly is not written, and
// the file stays as it was.
TEST_F(EncodingTest, TextUtf16CannotHoldIsNotWritten) {
  for (const Form& form : forms) {
    if (strncmp(form.what, "UTF-16", 6) != 0) continue;
    std::string before = form.bytes(sample(form.what));
    std::string f = file("u.wyn", before);
    Ran r = run({"edit", "--in-place", f, "-e", "goto 2:1\ntype \"\\xff\""}, form.encoding);
    EXPECT_EQ(r.code, 2) << form.what;
    EXPECT_NE(r.err.find("not written: line 2 holds bytes that are not UTF-8"), std::string::npos)
        << form.what << ": " << r.err;
    EXPECT_EQ(read_file(f), before) << form.what;
    // Printing it is refused alike.
    r = run({"edit", f, "-e", "goto 2:1\ntype \"\\xff\""}, nullptr);
    EXPECT_EQ(r.code, 2) << form.what;
    EXPECT_EQ(r.out, "") << form.what;
  }
}

// The plug-in sees the text: a routine or a comment on line 1 is found
// behind a mark and in UTF-16, positions start after the mark, and what is
// not a script is still refused.
TEST_F(EncodingTest, ReadsTheTextBehindTheForm) {
  const std::string routine = "function F()\r\nbegin\r\nend;\r\n";
  const std::string open_comment = "/* never closed\r\nfunction F()\r\n";
  const struct {
    const char* what;
    std::string bytes;
    std::vector<std::string> args;  // $F: the file
    int code;
    const char* out;  // a part of stdout, or of stderr when code is 2
  } cases[] = {
      {"routine behind a mark", bom8 + routine, {"routines", "$F"}, 0, "1-3     function F()"},
      {"routine in UTF-16LE",
       "\xff\xfe" + converted(routine, "UTF-16LE"),
       {"routines", "$F"},
       0,
       "1-3     function F()"},
      {"routine in UTF-16BE",
       "\xfe\xff" + converted(routine, "UTF-16BE"),
       {"routines", "$F"},
       0,
       "1-3     function F()"},
      {"a mark alone", bom8, {"routines", "$F"}, 1, ""},
      {"column 1 is after the mark", bom8 + open_comment, {"check", "$F"}, 1, ":1:1: error: `/*`"},
      {"column 1 in UTF-16",
       "\xff\xfe" + converted(open_comment, "UTF-16LE"),
       {"check", "$F"},
       1,
       ":1:1: error: `/*`"},
      {"a position after the mark", bom8 + routine, {"indent", "$F", "2:6"}, 0, "begin\r\n\t"},
      {"line 1 is as long as its text",
       bom8 + routine,
       {"indent", "$F", "1:16"},
       2,
       "line 1 has 12 characters"},
      {"odd UTF-16",
       "\xff\xfe"
       "f\0u",
       {"routines", "$F"},
       2,
       "not UTF-16: an odd number of bytes"},
      {"unpaired surrogate",
       std::string("\xff\xfe"
                   "f\0\x00\xd8"
                   "x\0",
                   8),
       {"routines", "$F"},
       2,
       "not UTF-16: an unpaired surrogate at byte 2"},
      {"NUL in UTF-16",
       std::string("\xff\xfe"
                   "f\0\0\0",
                   6),
       {"routines", "$F"},
       2,
       "binary file (holds a NUL byte)"},
      {"NUL without a mark", std::string("f\0u", 3), {"routines", "$F"}, 2, "binary file"},
      {"UTF-16 read as bytes without a mark",
       converted(routine, "UTF-16LE"),
       {"routines", "$F"},
       2,
       "binary file"},
  };
  for (const auto& c : cases) {
    std::string f = file("t.wyn", c.bytes);
    Ran r = wyn(filled(c.args, {{"$F", f}}));
    EXPECT_EQ(r.code, c.code) << c.what << ": " << r.err;
    EXPECT_NE((c.code == 2 ? r.err : r.out).find(c.out), std::string::npos)
        << c.what << ": " << r.out << r.err;
  }
}

// One line on stderr names the code page a script that is not UTF-8 is
// shown as, and how to choose another; nothing where nothing was guessed.
TEST_F(EncodingTest, SaysWhichCodePageItGuessed) {
  const std::string gbk = converted(
      "// 安装程序的设置脚本，用于检查系统要求并复制文件\r\n// 作者：开发组\r\n"
      "function F()\r\nbegin\r\nend;\r\n",
      "GBK");
  const std::string few = "// caf\xe9\r\nfunction F()\r\n";
  // Windows has no guesser: the default, said the same way.
  const char* gbk_read = under_wine ? "WINDOWS-1252 (no guess: the default)" : "GB18030 (guessed)";
  const struct {
    const char* what;
    std::string bytes;
    std::vector<std::string> args;
    std::string err;  // all of stderr, NAME for the file's name
  } cases[] = {
      {"GBK",
       gbk,
       {"colour", "$F"},
       std::string("wyn: NAME: not UTF-8; read as ") + gbk_read +
           "; use --encoding=NAME to choose\n"},
      {"too little to guess from",
       few,
       {"edit", "$F", "-e", "home"},
       "wyn: NAME: not UTF-8; read as WINDOWS-1252 (no guess: the default); use "
       "--encoding=NAME to choose\n"},
      {"once for each file, read twice", few, {"colour", "$F", "$F"}, ""},
      {"chosen", gbk, {"colour", "--encoding=gbk", "$F"}, ""},
      {"UTF-8", "// 设置\r\n", {"colour", "$F"}, ""},
      // A character the read's first piece (64 KiB) cuts in two.
      {"UTF-8 across pieces",
       "//" + std::string(65533, 'a') + "\xe2\x82\xac\r\n",
       {"colour", "$F"},
       ""},
      {"cut short where the file ends",
       "// \xe2\x82",
       {"colour", "$F"},
       "wyn: NAME: not UTF-8; read as WINDOWS-1252 (no guess: the default); use "
       "--encoding=NAME to choose\n"},
      {"a command that shows no script", gbk, {"routines", "$F"}, ""},
  };
  for (const auto& c : cases) {
    std::string f = file("SETUP.WYN", c.bytes);
    Ran r = wyn(filled(c.args, {{"$F", f}}));
    EXPECT_EQ(r.code, 0) << c.what << ": " << r.err;
    std::string err = c.err;
    if (size_t at = err.find("NAME"); at != std::string::npos) err.replace(at, 4, f);
    if (!strcmp(c.what, "once for each file, read twice")) {
      EXPECT_EQ(count_of(r.err, "not UTF-8"), 2u) << r.err;
      continue;
    }
    EXPECT_EQ(r.err, err) << c.what;
  }
  // The guess is what the page shows.
  if (!under_wine) {
    Ran r = wyn({"colour", "--html", "-", file("g.wyn", gbk)});
    EXPECT_NE(r.out.find("安装程序的设置脚本"), std::string::npos);
  }
}

}  // namespace
