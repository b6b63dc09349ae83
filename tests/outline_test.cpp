// The outline on scripts as people write them: old code commented out,
// indented headers, CR LF, tabs, prototypes, a byte-order mark.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>

#include <string>
#include <vector>

#include "outline.h"
#include "session.h"
#include "support/files.h"
#include "support/session_fixture.h"

namespace {

class OutlineTest : public support::PluginTest {
 protected:
  // The outline of text, coloured whole, one "name marked extent" entry a
  // routine, declarations marked "decl". Read from the document, and from
  // the text and colours held beside it, alike.
  std::string outline(const std::string& text, std::vector<wyn::Routine>* list = nullptr) {
    wyn::Document doc(text);
    EXPECT_TRUE(doc.colour_whole());
    std::vector<wyn::LineSpan> marks;
    std::string message;
    EXPECT_TRUE(doc.routines(&marks, &message, nullptr));
    std::vector<wyn::Routine> routines = wyn::routine_outline(doc, marks, plugin.words(1));
    EXPECT_EQ(
        shown(wyn::routine_outline(doc, text, doc.categories(), marks, plugin.words(1)), true),
        shown(routines, true));
    if (list != nullptr) *list = routines;
    return shown(routines, false);
  }
  // With full, each one's name position and header too.
  static std::string shown(const std::vector<wyn::Routine>& routines, bool full) {
    std::string out;
    for (const wyn::Routine& r : routines) {
      if (!out.empty()) out += ", ";
      out += r.name + " " + std::to_string(r.marked.first) + "-" + std::to_string(r.marked.last) +
             " " + std::to_string(r.extent.first) + "-" + std::to_string(r.extent.last);
      if (full) out += " " + std::to_string(r.name_at) + " " + r.header;
      if (r.declaration) out += " decl";
    }
    return out;
  }
};

TEST_F(OutlineTest, LiveRoutinesOnly) {
  struct Case {
    const char* what;
    const char* text;
    const char* want;
  } cases[] = {
      {"commented-out block",
       "/* the old ones\nfunction Old()\nbegin\nend;\n\n  function OldToo()\n  begin\n  end;\n*/\n"
       "function Live()\nbegin\nend;\n",
       "Live 10-11 10-12"},
      {"a commented-out copy no longer cuts the body before it",
       "function A()\nbegin\n/*\nfunction A()\nbegin\nend\n*/\n", "A 1-2 1-7"},
      {"comments do not nest: the first */ ends one",
       "/* outer /* inner */\n  function Inside()\n  begin\n  end;\n*/\nfunction "
       "After()\nbegin\nend;\n",
       "Inside 2-3 2-4, After 6-7 6-8"},
      {"line comments",
       "// function Gone()\n    // function Gone2()\nfunction Kept()\nbegin\nend;\n",
       "Kept 3-4 3-5"},
      {"indented by spaces and by a tab",
       "  function A()\n  begin\n  end;\n\tfunction B(n)\n\tbegin\n\tend;\n",
       "A 1-2 1-3, B 4-5 4-6"},
      {"CR LF", "function A()\r\nbegin\r\nend;\r\n  function B()\r\n  begin\r\n  end;\r\n",
       "A 1-2 1-3, B 4-5 4-6"},
      {"statements in a body and in the first column",
       "function A()\nbegin\n    if (x) then\n        Foo(x)\n    endif;\n    while (y)\n"
       "    endwhile;\nend;\nif (z) then\nendif;\n",
       "A 1-2 1-8"},
      {"a list over lines, a brace below, a typed routine, a library's",
       "    function NUMBER A(a,\n        b)\n    {\n    end;\n"
       "    prototype NUMBER KERNEL32.GetTickCount();\n",
       "A 1-2 1-4, GetTickCount 5-5 5-5 decl"},
      {"prototypes",
       "prototype A(NUMBER);\n  prototype STRING B(STRING,\n    NUMBER);\nfunction "
       "A(n)\nbegin\nend;\n",
       "A 1-1 1-1 decl, B 2-3 2-3 decl, A 4-5 4-6"},
      {"not headers",
       "    function (a)\n    function Foo\n    function if (a)\n    function A = (b)\n"
       "    functional(a)\n    x = function(a)\n    function Open(a\n",
       ""},
      {"in a string", "x = \"  function Fake()\";\n  MessageBox(\"function Fake()\", INFO);\n", ""},
      {"in a comment after a call", "Call(); // Fake(a)\nbegin\n", ""},
      {"byte-order mark",
       "\xEF\xBB\xBF"
       "function F()\nbegin\nend;\nfunction G()\nbegin\nend;\n",
       "F 1-2 1-3, G 4-5 4-6"},
      {"nothing after the list", "  function A()\n\n", ""},
      {"the last line, without a line break", "  function A()\nbegin\nend;", "A 1-2 1-3"},
  };
  for (const Case& c : cases) EXPECT_EQ(outline(c.text), c.want) << c.what;
}

// The outline is read from the document in large pieces: put behind long
// text, whose end falls at or near a piece's end or which is one line
// longer than a piece, the same script lists the same routines.
TEST_F(OutlineTest, SameBehindLongText) {
  const std::string script =
      "prototype A(NUMBER);\r\n  function B(a,\r\n    b)\r\n  begin\r\n  end;\r\n"
      "/* function Gone()\r\n*/\r\nfunction A(n)\r\nbegin\r\nend;\r\n\tfunction C()\n\tbegin\n";
  std::vector<wyn::Routine> alone;
  outline(script, &alone);
  ASSERT_EQ(alone.size(), 4u);
  const size_t piece = (size_t)256 << 10;
  std::vector<std::string> fillers;
  for (size_t short_of : {0, 1, 2, 9, 30, 200}) {
    std::string lines;
    while (lines.size() + 16 <= piece - short_of) lines += "x = 1;\r\n";
    lines += "//" + std::string(piece - short_of - lines.size() - 3, ' ') + "\n";
    fillers.push_back(lines);
  }
  fillers.push_back("// " + std::string(piece + 100, 'y') + "\n");
  for (const std::string& filler : fillers) {
    long shift = (long)std::count(filler.begin(), filler.end(), '\n');
    std::vector<wyn::Routine> behind;
    outline(filler + script, &behind);
    ASSERT_EQ(behind.size(), alone.size()) << filler.size();
    for (size_t i = 0; i < alone.size(); i++) {
      EXPECT_EQ(behind[i].name, alone[i].name) << filler.size();
      EXPECT_EQ(behind[i].header, alone[i].header) << filler.size();
      EXPECT_EQ(behind[i].declaration, alone[i].declaration) << filler.size();
      EXPECT_EQ(behind[i].marked.first, alone[i].marked.first + shift) << filler.size();
      EXPECT_EQ(behind[i].marked.last, alone[i].marked.last + shift) << filler.size();
      EXPECT_EQ(behind[i].extent.last, alone[i].extent.last + shift) << filler.size();
    }
  }
}

// On the examples, the definitions are exactly what the plug-in marks and
// the declarations exactly the prototype lines.
TEST_F(OutlineTest, ExamplesListNothingFalse) {
  for (const char* name : {"registry.wyn", "setup.wyn", "uninstall.wyn"}) {
    std::string text = support::read_file(std::string(WYN_SOURCE_DIR "/examples/") + name);
    wyn::Document doc(text);
    ASSERT_TRUE(doc.colour_whole());
    std::vector<wyn::LineSpan> marks;
    std::string message;
    ASSERT_TRUE(doc.routines(&marks, &message, nullptr));
    std::vector<wyn::Routine> list;
    outline(text, &list);
    size_t defined = 0, declared = 0;
    for (const wyn::Routine& r : list) {
      if (r.declaration) {
        EXPECT_EQ(r.header.compare(0, 10, "prototype "), 0) << name << ": " << r.header;
        declared++;
      } else {
        ASSERT_LT(defined, marks.size()) << name << ": " << r.header;
        EXPECT_EQ(r.marked.first, marks[defined].first) << name << ": " << r.header;
        EXPECT_EQ(r.marked.last, marks[defined].last) << name << ": " << r.header;
        defined++;
      }
    }
    EXPECT_EQ(defined, marks.size()) << name;
    size_t prototypes = 0;
    for (size_t at = 0; (at = text.find("\nprototype ", at)) != std::string::npos; at++)
      prototypes++;
    EXPECT_EQ(declared, prototypes) << name;
  }
}

}  // namespace
