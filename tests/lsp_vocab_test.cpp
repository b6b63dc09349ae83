// Templates as completion snippets and signatures: every form the built-in
// templates take (blocks with '@' closing lines, calls, calls with odd
// blanks or an open last argument, no '&', a fixed argument), and text that
// snippet syntax would misread.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vocab.h"

namespace {

struct SnippetCase {
  const char* name;
  std::string text, indent;
  std::string snippet, plain;
};

TEST(LspVocab, TemplatesBecomeSnippetsAndPlainText) {
  const SnippetCase rows[] = {
      {"if_at_indent", "if ( & ) then\n\t\n@endif;", "  ", "if ( $0 ) then\n  \t\n  endif;",
       "if (  ) then\n  \t\n  endif;"},
      {"repeat_cursor_in_closing_line", "repeat\n\t\n@until ( & );", "\t",
       "repeat\n\t\t\n\tuntil ( $0 );", "repeat\n\t\t\n\tuntil (  );"},
      {"case_without_closing_line", "case &:\n\t", "", "case $0:\n\t", "case :\n\t"},
      {"outdent_of_spaces", "a\n    b\n@c", "", "a\n    b\nc", "a\n    b\nc"},
      {"call", "AskYesNo (&szQuestion, nDefault);", "",
       "AskYesNo (${1:szQuestion}, ${2:nDefault});$0", "AskYesNo (szQuestion, nDefault);"},
      {"call_odd_blanks", "AskOptions (&nValue, szMsg ,szText2 );", "",
       "AskOptions (${1:nValue}, ${2:szMsg} ,${3:szText2} );$0",
       "AskOptions (nValue, szMsg ,szText2 );"},
      {"open_last_argument", "Sprintf (&svResult, szFormat, );", "",
       "Sprintf (${1:svResult}, ${2:szFormat}, ${3});$0", "Sprintf (svResult, szFormat, );"},
      {"no_cursor", "GetMode ( );", "", "GetMode ( );", "GetMode ( );"},
      {"fixed_argument_then_cursor", "VarSave (SRCTARGETDIR);\n&", "  ",
       "VarSave (SRCTARGETDIR);\n  $0", "VarSave (SRCTARGETDIR);\n  "},
      {"snippet_syntax_escaped", "x$ & }\\", "", "x\\$ $0 \\}\\\\", "x$  }\\"},
  };
  for (const SnippetCase& c : rows) {
    EXPECT_EQ(wyn::lsp::template_snippet(c.text, c.indent), c.snippet) << c.name;
    EXPECT_EQ(wyn::lsp::template_plain(c.text, c.indent), c.plain) << c.name;
  }
}

TEST(LspVocab, CallTemplatesGiveSignatures) {
  wyn::lsp::CallTemplate call;
  ASSERT_TRUE(wyn::lsp::parse_call_template("Sprintf (&svResult, szFormat, );", &call));
  EXPECT_EQ(call.signature, "Sprintf (svResult, szFormat, ...)");
  ASSERT_EQ(call.offsets.size(), 3u);
  EXPECT_EQ(
      call.signature.substr(call.offsets[1].first, call.offsets[1].second - call.offsets[1].first),
      "szFormat");
  for (const char* not_a_call : {"GetMode ( );", "if ( & ) then\n\t\n@endif;",
                                 "VarSave (SRCTARGETDIR);\n&", "(&x);", "Name &x"})
    EXPECT_FALSE(wyn::lsp::parse_call_template(not_a_call, &call)) << not_a_call;
}

}  // namespace
