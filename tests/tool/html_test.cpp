// The HTML page: its shape as written, and what a real headless browser
// makes of it. A missing browser fails the test: install it with
// scripts/install-tool-test-deps.sh.
#include "tool_run.h"

#include <regex>

namespace {

const char* const classes[] = {"wyn-comment", "wyn-constant", "wyn-keyword", "wyn-function",
                               "wyn-string",  "wyn-number",   "wyn-operator"};

std::string find_browser() {
  for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
    if (access(path, X_OK) == 0) return path;
  return "";
}

// The text of the page's code block as the browser parsed it: line-number
// spans dropped, other tags dropped, entities turned back into characters.
std::string code_text(const std::string& dom) {
  size_t start = dom.find("<pre class=\"wyn\">");
  size_t end = dom.find("</pre>", start);
  if (start == std::string::npos || end == std::string::npos) return "";
  std::string code = dom.substr(start + 17, end - start - 17);
  code = std::regex_replace(code, std::regex("<span class=\"ln\">[0-9]+</span>"), "");
  code = std::regex_replace(code, std::regex("<[^>]*>"), "");
  const char* const entities[][2] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}};
  for (const auto& e : entities) code = std::regex_replace(code, std::regex(e[0]), e[1]);
  return code;
}

const char sample[] =
    "/* totals */\n"
    "if (nSize >= 0x10 && szName != \"<none>\") then\n"
    "    MessageBox(\"a & b\", WARNING);   // tell\n"
    "endif;\n";

TEST_F(ToolTest, HtmlPageHasLegendLineNumbersAndClasses) {
  std::string f = file("s.wyn", sample);
  std::string out = dir + "/s.html";
  Ran r = wyn({"colour", "--html", out, f});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  std::string page = read_file(out);
  EXPECT_EQ(page.substr(0, 15), "<!DOCTYPE html>");
  for (const char* c : classes) {
    EXPECT_NE(page.find("." + std::string(c) + " { color: #"), std::string::npos) << c;
    EXPECT_NE(page.find("<li><span class=\"" + std::string(c) + "\">"), std::string::npos) << c;
  }
  EXPECT_EQ(count_of(page, "<span class=\"ln\">"), 4u);
  EXPECT_NE(page.find("<span class=\"wyn-string\">&quot;&lt;none&gt;&quot;</span>"),
            std::string::npos);
  EXPECT_NE(page.find("<span class=\"wyn-number\">0x10</span>"), std::string::npos);
  EXPECT_EQ(code_text(page), sample);
  // "-" writes the page to stdout.
  EXPECT_EQ(wyn({"colour", "--html", "-", f}).out, page);
}

// Bytes that are not UTF-8 come out as Latin-1 character references; UTF-8
// goes through; CR LF line ends leave no CR in the page.
TEST_F(ToolTest, HtmlPageTakesAnyBytes) {
  std::string f = file("b.wyn", "// caf\xe9\r\n// caf\xc3\xa9\r\n");
  Ran r = wyn({"colour", "--html", "-", f});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("// caf&#233;</span>\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("// caf\xc3\xa9</span>\n"), std::string::npos);
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

TEST_F(ToolTest, HtmlPageRendersInAHeadlessBrowser) {
  std::string browser = find_browser();
  ASSERT_NE(browser, "") << "chromium is missing: run scripts/install-tool-test-deps.sh";
  std::string f = file("s.wyn", sample);
  std::string out = dir + "/s.html";
  ASSERT_EQ(wyn({"colour", "--html", out, f, example("setup.wyn")}).code, 0);
  std::string profile = dir + "/profile";
  Ran r = run_program(
      "/usr/bin/timeout",
      {"120", browser, "--headless", "--no-sandbox", "--disable-gpu",
       "--disable-background-networking", "--disable-component-update", "--disable-sync",
       "--no-first-run", "--user-data-dir=" + profile, "--dump-dom", "file://" + out});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string& dom = r.out;
  EXPECT_NE(dom.find("<span class=\"wyn-keyword\">if</span>"), std::string::npos);
  EXPECT_NE(dom.find("<span class=\"wyn-comment\">/* totals */</span>"), std::string::npos);
  EXPECT_NE(dom.find("<span class=\"wyn-constant\">WARNING</span>"), std::string::npos);
  EXPECT_NE(dom.find("<span class=\"wyn-function\">MessageBox</span>"), std::string::npos);
  EXPECT_NE(dom.find("<span class=\"wyn-string\">\"a &amp; b\"</span>"), std::string::npos);
  for (const char* c : classes)
    EXPECT_GE(count_of(dom, "class=\"" + std::string(c) + "\""), 2u) << c;
  // Both files' sections, every line numbered, the text intact.
  EXPECT_EQ(count_of(dom, "<pre class=\"wyn\">"), 2u);
  EXPECT_EQ(count_of(dom, "<span class=\"ln\">"),
            4u + count_of(read_file(example("setup.wyn")), "\n"));
  EXPECT_EQ(code_text(dom), sample);
}

}  // namespace
