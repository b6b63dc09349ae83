// The HTML page: its shape as written, and what a real headless browser
// makes of it. A missing browser fails the test: install it with
// scripts/install-tool-test-deps.sh.
#include "tool_run.h"

#include <math.h>

#include <regex>
#include <set>

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
  code = std::regex_replace(code, std::regex("<a class=\"ln\"[^>]*>[0-9]+</a>"), "");
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
  EXPECT_EQ(count_of(page, "<a class=\"ln\""), 4u);
  EXPECT_NE(page.find("<span class=\"wyn-string\">&quot;&lt;none&gt;&quot;</span>"),
            std::string::npos);
  EXPECT_NE(page.find("<span class=\"wyn-number\">0x10</span>"), std::string::npos);
  EXPECT_EQ(code_text(page), sample);
  // "-" writes the page to stdout.
  EXPECT_EQ(wyn({"colour", "--html", "-", f}).out, page);
}

// A page is UTF-8 whatever the script's encoding: a file of well-formed
// UTF-8 goes through; any other is read as Windows-1252 unless --encoding
// names its code page. CR LF line ends leave no CR in the page.
TEST_F(ToolTest, HtmlPageDecodesTheScript) {
  struct {
    const char* what;
    const char* bytes;
    const char* encoding;
    const char* shown;
  } cases[] = {
      {"UTF-8", "// caf\xc3\xa9\r\n", nullptr, "// caf\xc3\xa9</span>\n"},
      {"one stray byte: all Windows-1252", "// caf\xe9 \x80\r\n// caf\xc3\xa9\r\n", nullptr,
       "// caf\xc3\xa9 \xe2\x82\xac</span>\n<a class=\"ln\" id=\"L2\" href=\"#L2\">2</a><span "
       "class=\"wyn-comment\">// caf\xc3\x83\xc2\xa9</span>\n"},
      {"Latin-1 named", "// \x80\xe9\n", "latin1", "// \xc2\x80\xc3\xa9</span>\n"},
      {"GBK: two bytes one character", "// \xd6\xd0\xce\xc4\n", "GBK",
       "// \xe4\xb8\xad\xe6\x96\x87</span>\n"},
      {"GBK cut short", "// \xd6\n", "GBK", "// \xef\xbf\xbd</span>\n"},
  };
  for (const auto& c : cases) {
    std::string f = file("b.wyn", c.bytes);
    std::vector<std::string> args = {"colour", "--html", "-", f};
    if (c.encoding) args.push_back(std::string("--encoding=") + c.encoding);
    Ran r = wyn(args);
    EXPECT_EQ(r.code, 0) << c.what << ": " << r.err;
    EXPECT_NE(r.out.find(c.shown), std::string::npos) << c.what << ": " << r.out;
    EXPECT_EQ(r.out.find('\r'), std::string::npos) << c.what;
  }
}

// Ids and links: every line an anchor, unique on the page; a page of several
// files has a table of contents and a title naming them.
TEST_F(ToolTest, HtmlPageAnchorsAndContents) {
  // Windows takes no < or > in a name.
  std::string a = file("a.wyn", sample), b = file(under_wine ? "b&.wyn" : "b<&>.wyn", "x\ny\n");
  struct {
    const char* what;
    std::vector<std::string> args;
    std::vector<std::string> has, lacks;
  } cases[] = {
      {"one file",
       {a},
       {"<title>" + a + "</title>", "id=\"L1\" href=\"#L1\">1</a>", "id=\"L4\""},
       {"<nav", "id=\"L5\"", "f1-L1"}},
      {"two files",
       {a, b},
       {"<title>" + a + ", " + dir +
            (under_wine ? "/b&amp;.wyn</title>" : "/b&lt;&amp;&gt;.wyn</title>"),
        "<nav class=\"toc\">", "<li><a href=\"#f1\">" + a + "</a></li>", "<a href=\"#f2\">",
        "<h2 id=\"f2\">", "id=\"f1-L4\"", "id=\"f2-L2\" href=\"#f2-L2\">2</a>"},
       {"id=\"L1\"", "id=\"f2-L3\""}},
      {"fragment",
       {"--html-fragment", a, b},
       {"<pre class=\"wyn\"><a class=\"ln\" id=\"f1-L1\""},
       {"<html", "<style", "<h2", "<body", "legend"}},
      {"tab width", {"--tab-width=4", a}, {"tab-size: 4;"}, {"tab-size: 8"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"colour", "--html", "-"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Ran r = wyn(args);
    EXPECT_EQ(r.code, 0) << c.what << ": " << r.err;
    for (const std::string& part : c.has)
      EXPECT_NE(r.out.find(part), std::string::npos) << c.what << ": " << part;
    for (const std::string& part : c.lacks)
      EXPECT_EQ(r.out.find(part), std::string::npos) << c.what << ": " << part;
    std::regex id("id=\"([^\"]+)\"");
    std::set<std::string> ids;
    for (std::sregex_iterator m(r.out.begin(), r.out.end(), id), end; m != end; ++m)
      EXPECT_TRUE(ids.insert((*m)[1]).second) << c.what << ": twice " << (*m)[1];
  }
  Ran fragment = wyn({"colour", "--html-fragment", a});
  EXPECT_EQ(fragment.out.substr(0, 17), "<pre class=\"wyn\">");
  EXPECT_EQ(count_of(fragment.out, "<pre"), 1u);
}

double luminance(unsigned rgb) {
  double sum = 0;
  const double weight[] = {0.0722, 0.7152, 0.2126};  // blue, green, red
  for (int k = 0; k < 3; k++) {
    double c = (double)((rgb >> (8 * k)) & 0xFF) / 255.0;
    sum += weight[k] * (c <= 0.04045 ? c / 12.92 : pow((c + 0.055) / 1.055, 2.4));
  }
  return sum;
}

// Both styles of the sheet: every colour, the editor's made readable, at
// 4.5:1 at least on its own scheme's background.
TEST_F(ToolTest, HtmlStylesAreReadableLightAndDark) {
  Ran css = wyn({"colour", "--css"});
  ASSERT_EQ(css.code, 0) << css.err;
  EXPECT_EQ(css.out.find('<'), std::string::npos);
  size_t dark_at = css.out.find("@media (prefers-color-scheme: dark) {");
  ASSERT_NE(dark_at, std::string::npos);
  size_t dark_end = css.out.find("\n}\n", dark_at);
  const std::string schemes[] = {css.out.substr(0, dark_at),
                                 css.out.substr(dark_at, dark_end - dark_at)};
  for (const std::string& sheet : schemes) {
    std::smatch bg;
    ASSERT_TRUE(std::regex_search(sheet, bg,
                                  std::regex("pre\\.wyn \\{ color: #[0-9a-f]{6}; "
                                             "background: #([0-9a-f]{6})")));
    unsigned background = (unsigned)std::stoul(bg[1], nullptr, 16);
    std::regex colour("([.a-z-]+(?: [.a-z-]+)?) \\{ color: #([0-9a-f]{6})");
    size_t seen = 0;
    for (std::sregex_iterator m(sheet.begin(), sheet.end(), colour), end; m != end; ++m, seen++) {
      double la = luminance((unsigned)std::stoul((*m)[2], nullptr, 16)), lb = luminance(background);
      double ratio = la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
      EXPECT_GE(ratio, 4.5) << (*m)[1] << " #" << (*m)[2] << " on " << bg[1];
    }
    EXPECT_EQ(seen, 9u);  // pre, line numbers, seven categories
  }
  // The page carries the same sheet, and its own rules for the page around
  // it, the body's colours readable too.
  Ran page = wyn({"colour", "--html", "-", file("s.wyn", sample)});
  EXPECT_NE(page.out.find(css.out), std::string::npos);
  for (const char* rule : {"body { color: #1f1f1f; background: #fbfbf8; }",
                           "  body { color: #d4d4d4; background: #1e1e1e; }", ":root {", "h2 {"})
    EXPECT_NE(page.out.find(rule), std::string::npos) << rule;
}

// The fragments' sheet goes into someone else's page: every rule is under
// the class the fragment's <pre> carries, and nothing restyles the rest.
TEST_F(ToolTest, FragmentSheetStaysUnderItsClass) {
  Ran css = wyn({"colour", "--css"});
  ASSERT_EQ(css.code, 0) << css.err;
  std::istringstream lines(css.out);
  size_t rules = 0;
  for (std::string line; std::getline(lines, line);) {
    size_t start = line.find_first_not_of(' ');
    if (line.find('{') == std::string::npos || line.compare(start, 6, "@media") == 0) continue;
    rules++;
    EXPECT_TRUE(line.compare(start, 8, "pre.wyn ") == 0 || line.compare(start, 5, ".wyn ") == 0)
        << line;
  }
  EXPECT_GE(rules, 20u);
  EXPECT_NE(css.out.find(".wyn .ln:target {"), std::string::npos);
  // The page's legend shows the categories' colours through the same rules.
  Ran page = wyn({"colour", "--html", "-", file("s.wyn", sample)});
  EXPECT_NE(page.out.find("<ul class=\"legend wyn\">"), std::string::npos);
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
  EXPECT_EQ(count_of(dom, "<a class=\"ln\""), 4u + count_of(read_file(example("setup.wyn")), "\n"));
  EXPECT_EQ(code_text(dom), sample);
  // The anchors, the table of contents and the title survive parsing.
  for (const char* part :
       {"id=\"f1-L4\"", "id=\"f2-L150\"", "href=\"#f2\"", "<h2 id=\"f2\">", "<nav class=\"toc\">"})
    EXPECT_NE(dom.find(part), std::string::npos) << part;
  EXPECT_NE(dom.find("<title>" + f + ", " + example("setup.wyn") + "</title>"), std::string::npos);
}

}  // namespace
