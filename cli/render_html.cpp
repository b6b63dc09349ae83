// A script as a page shows it: a standalone HTML page (or its <pre> alone,
// or its style sheet), the editor's colours made readable on a light and a
// dark background, every line an anchor. What is shown is the text decoded
// for display; the categories stay the plug-in's.
#include "render_view.h"

#include <assert.h>
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "display.h"

namespace {

// The page's two schemes: background, plain text, line numbers.
struct Scheme {
  unsigned background, text, line_number;
};
const Scheme light_page = {0xfbfbf8, 0x1f1f1f, 0x6b6b6b};
const Scheme dark_page = {0x1e1e1e, 0xd4d4d4, 0x9a9a9a};

// {====== colour arithmetic (sRGB, as WCAG defines contrast)

double channel(unsigned rgb, int shift) {
  double c = (double)((rgb >> shift) & 0xFF) / 255.0;
  return c <= 0.04045 ? c / 12.92 : pow((c + 0.055) / 1.055, 2.4);
}

double luminance(unsigned rgb) {
  return 0.2126 * channel(rgb, 16) + 0.7152 * channel(rgb, 8) + 0.0722 * channel(rgb, 0);
}

double contrast(unsigned a, unsigned b) {
  double la = luminance(a), lb = luminance(b);
  return la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
}

// The editor's colour, moved toward black on a light background or toward
// white on a dark one just far enough to read at 4.5:1, so the page keeps
// the editor's hues wherever they are readable as they are.
unsigned readable(unsigned rgb, unsigned background) {
  unsigned toward = luminance(background) > 0.18 ? 0x000000 : 0xffffff;
  for (int step = 0; step <= 20; step++) {
    unsigned mixed = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      int from = (int)((rgb >> shift) & 0xFF), to = (int)((toward >> shift) & 0xFF);
      mixed |= (unsigned)(from + (to - from) * step / 20) << shift;
    }
    if (contrast(mixed, background) >= 4.5) return mixed;
  }
  return toward;
}

// The editor's colour values are 0x00BBGGRR.
unsigned editor_rgb(long c) {
  return (unsigned)((c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF));
}

std::string css_colour(unsigned rgb) {
  char out[8];
  snprintf(out, sizeof out, "#%06x", rgb & 0xFFFFFF);
  return out;
}

// }======

// Byte classes for the page: what a run of plain text stops at.
enum { HTML_PLAIN, HTML_ESCAPE, HTML_LF, HTML_CR };

struct HtmlClasses {
  unsigned char of[256];
  HtmlClasses() {
    for (int c = 0; c < 256; c++) of[c] = HTML_PLAIN;
    of[(unsigned char)'<'] = of[(unsigned char)'>'] = HTML_ESCAPE;
    of[(unsigned char)'&'] = of[(unsigned char)'"'] = HTML_ESCAPE;
    of[(unsigned char)'\n'] = HTML_LF;
    of[(unsigned char)'\r'] = HTML_CR;
  }
};
const HtmlClasses html_classes;

// What a page's escaped characters read.
const char* html_escape_of(char c) {
  assert(html_classes.of[(unsigned char)c] == HTML_ESCAPE);
  return c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : "&quot;";
}

void append_escaped(std::string* out, char c) {
  if (html_classes.of[(unsigned char)c] == HTML_ESCAPE)
    *out += html_escape_of(c);
  else
    *out += c;
}

// A file name in the page: escaped, and valid UTF-8 whatever its bytes.
void append_name(std::string* out, const std::string& name) {
  Shown shown;
  decode_for_display(name, {}, nullptr, &shown);
  for (char c : shown.text) append_escaped(out, c);
}

// The start of a line anchor's id: "L", or "f2-L" on a page of several
// files.
std::string anchor_prefix() {
  std::string prefix;
  if (view.files > 1) {
    prefix = "f" + std::to_string(view.section) + "-";
  }
  prefix += 'L';
  return prefix;
}

}  // namespace

std::string editor_colour_hex(long colour) {
  return css_colour(editor_rgb(colour));
}

// The colour rules of both schemes, the dark one for prefers-color-scheme:
// each scheme's rules from rules(scheme, indent).
template <typename Rules>
std::string both_schemes(Rules rules) {
  const Scheme* schemes[2] = {&light_page, &dark_page};
  std::string out = rules(*schemes[0], "");
  out += "@media (prefers-color-scheme: dark) {\n" + rules(*schemes[1], "  ") + "}\n";
  return out;
}

// The sheet of the fragments (--css): every rule under .wyn, the class
// each <pre> carries, so that it restyles nothing else of the page it is
// put in. A line number that is the link's target stands out.
std::string html_style_sheet() {
  std::string out = both_schemes([](const Scheme& page, const char* indent) {
    std::string rules = std::string(indent) + "pre.wyn { color: " + css_colour(page.text) +
                        "; background: " + css_colour(page.background) + "; }\n";
    rules += std::string(indent) + ".wyn .ln { color: " + css_colour(page.line_number) + "; }\n";
    for (int k = 0; k < CAT_COUNT; k++) {
      unsigned rgb = readable(editor_rgb(plugin().category_colour(k)), page.background);
      rules += std::string(indent) + ".wyn ." + looks[k].css + " { color: " + css_colour(rgb) +
               (looks[k].bold ? "; font-weight: bold; }\n" : "; }\n");
    }
    return rules;
  });
  out +=
      "pre.wyn { color-scheme: light dark; font-family: monospace; line-height: 1.35; "
      "tab-size: " +
      std::to_string(view.tab_width > 0 ? view.tab_width : 8) +
      "; border: 1px solid #8884; padding: .5em 0; }\n"
      ".wyn .ln { display: inline-block; min-width: 4.5em; padding-right: 1em;"
      " text-align: right; text-decoration: none; user-select: none; }\n"
      ".wyn .ln:target { background: #fc04; outline: 1px solid #fc0; font-weight: bold; }\n";
  return out;
}

namespace {

// The standalone page's sheet: its own rules for the page around the
// fragments' sheet, which it carries whole.
std::string page_style_sheet() {
  std::string out = both_schemes([](const Scheme& page, const char* indent) {
    return std::string(indent) + "body { color: " + css_colour(page.text) +
           "; background: " + css_colour(page.background) + "; }\n";
  });
  out +=
      ":root { color-scheme: light dark; }\n"
      "body { font-family: sans-serif; margin: 1em 2em; }\n"
      "h2 { font-size: 1.1em; font-family: monospace; }\n"
      "ul.legend, nav.toc ul { padding: 0; font-family: monospace; }\n"
      "ul.legend { list-style: none; }\n"
      "ul.legend li { display: inline-block; margin-right: 1.5em; }\n";
  return out + html_style_sheet();
}

}  // namespace

void html_begin(std::string* out, const std::vector<std::string>& names) {
  view.files = names.size() > 0 ? names.size() : 1;
  view.section = 0;
  if (view.fragment) return;
  *out +=
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"color-scheme\" content=\"light dark\">\n<title>";
  for (size_t i = 0; i < names.size(); i++) {
    if (i > 0) *out += ", ";
    append_name(out, names[i]);
  }
  // The legend is under .wyn too, for the categories' colours.
  *out += "</title>\n<style>\n" + page_style_sheet() +
          "</style>\n</head>\n<body>\n<ul class=\"legend wyn\">\n";
  for (int k = 0; k < CAT_COUNT; k++) {
    *out += "<li><span class=\"";
    *out += looks[k].css;
    *out += "\">";
    *out += looks[k].legend;
    *out += "</span></li>\n";
  }
  *out += "</ul>\n";
  if (names.size() < 2) return;
  *out += "<nav class=\"toc\">\n<ul>\n";
  for (size_t i = 0; i < names.size(); i++) {
    *out += "<li><a href=\"#f" + std::to_string(i + 1) + "\">";
    append_name(out, names[i]);
    *out += "</a></li>\n";
  }
  *out += "</ul>\n</nav>\n";
}

void html_begin(std::string* out, const std::string& name) {
  html_begin(out, std::vector<std::string>{name});
}

void html_section(PageBuffer* out, const std::string& name, const std::string& bytes,
                  const std::vector<signed char>& cats) {
  html_section_open(out, name);
  html_section_lines(out, bytes, cats, 1, nullptr);
  html_section_close(out);
}

void html_section_open(PageBuffer* out, const std::string& name) {
  view.section++;
  if (!view.fragment) {
    std::string heading = "<h2 id=\"f" + std::to_string(view.section) + "\">";
    append_name(&heading, name);
    heading += "</h2>\n";
    out->put(heading);
  }
  out->put("<pre class=\"wyn\">");
}

void html_section_close(PageBuffer* out) {
  out->put("</pre>\n");
}

void PageBuffer::grow(size_t n) {
  // To the size asked for, not doubled: a buffer that lives as long as the
  // run should not be twice what it needs. Past what a size can count is
  // memory running out.
  if (n > SIZE_MAX / 2 - size_) throw std::bad_alloc();
  size_t want = size_ + n + 4096;
  if (capacity_ > 0 && want < capacity_ + capacity_ / 2) want = capacity_ + capacity_ / 2;
  std::unique_ptr<char[]> bigger(new char[want]);  // left as it is: written before it is read
  if (size_ > 0) memcpy(bigger.get(), bytes_.get(), size_);
  bytes_ = std::move(bigger);
  capacity_ = want;
}

void PageBuffer::expect(size_t n) {
  if (capacity_ - size_ >= n || n > SIZE_MAX / 4 - size_) return;
  try {
    grow(n);
  } catch (const std::bad_alloc&) {
    // Only a guess: the room is taken a piece at a time instead.
  }
}

namespace {

// Each category's span opener, made once; plain arrays, so nothing is
// torn down at exit under a rendering thread that is still at work.
struct HtmlSpans {
  char open[CAT_COUNT][40];  // a class name is at most this long
  size_t length[CAT_COUNT];
  HtmlSpans() {
    for (int k = 0; k < CAT_COUNT; k++) {
      int n = snprintf(open[k], sizeof open[k], "<span class=\"%s\">", looks[k].css);
      length[k] = n > 0 && (size_t)n < sizeof open[k] ? (size_t)n : 0;
    }
  }
};
const HtmlSpans html_spans;

// n in decimal at the end of digits; answers where it starts.
char* decimal(size_t n, char (&digits)[24]) {
  char* at = digits + sizeof digits;
  do {
    *--at = (char)('0' + n % 10);
    n /= 10;
  } while (n > 0);
  return at;
}

// The page's lines from n bytes of text as they are shown (the script's own
// bytes when they read the same, else the text decoded), cats one category
// a byte or null. Each line closes what it opened, so lines rendered a
// piece at a time read exactly as when rendered at once; a line cut into
// pieces leaves its anchor and its open span to the next piece, in cut.
void html_lines(PageBuffer* out, const char* text, size_t n, const signed char* cats,
                long first_line, CutLine* cut) {
  assert(first_line >= 1);
  const std::string prefix = anchor_prefix();
  out->expect(n * 6);  // generated scripts take about 5.3 times
  const unsigned char* p = (const unsigned char*)text;
  const unsigned char* cls = html_classes.of;
  size_t line = (size_t)first_line;
  int open = cut->inside ? cut->open : (int)CAT_NONE;
  bool line_open = cut->inside;
  for (size_t i = 0; i < n;) {
    if (!line_open) {
      // The line-number cell, a link to itself: #L12, or #f2-L12 on a
      // page of several files. snprintf per line would cost more than the
      // rest.
      char digits[24];
      const char* number = decimal(line, digits);
      size_t length = (size_t)(digits + sizeof digits - number);
      out->put("<a class=\"ln\" id=\"", 18);
      out->put(prefix.data(), prefix.size());
      out->put(number, length);
      out->put("\" href=\"#", 9);
      out->put(prefix.data(), prefix.size());
      out->put(number, length);
      out->put("\">", 2);
      out->put(number, length);
      out->put("</a>", 4);
      line_open = true;
    }
    unsigned char c = p[i], k = cls[c];
    bool at_break = k == HTML_LF || (k == HTML_CR && i + 1 < n && p[i + 1] == '\n');
    int want = at_break || cats == nullptr ? (int)CAT_NONE : cats[i];
    if (want != open) {
      if (open != CAT_NONE) out->put("</span>", 7);
      if (want != CAT_NONE) out->put(html_spans.open[want], html_spans.length[want]);
      open = want;
    }
    if (at_break) {
      if (k == HTML_CR) i++;
      out->put("\n", 1);
      line++;
      line_open = false;
      i += 1;
    } else if (k == HTML_ESCAPE) {
      out->put(html_escape_of((char)c));
      i++;
    } else {
      // A run of plain bytes of one category (a lone CR among them). A
      // character's bytes share one category, so a run never splits one.
      size_t j = i + 1;
      if (cats == nullptr)
        while (j < n && cls[p[j]] == HTML_PLAIN) j++;
      else
        while (j < n && cls[p[j]] == HTML_PLAIN && cats[j] == want) j++;
      out->put(text + i, j - i);
      i = j;
    }
  }
  if (open != CAT_NONE && !cut->more) {
    out->put("</span>", 7);
    open = CAT_NONE;
  }
  cut->open = open;
  cut->inside = line_open;
}

}  // namespace

void html_section_lines(PageBuffer* out, const std::string& bytes,
                        const std::vector<signed char>& cats, long first_line, const char* encoding,
                        CutLine* cut) {
  CutLine whole;  // whole lines: nothing goes on into another piece
  if (cut == nullptr) cut = &whole;
  Piece piece(*cut, bytes, cats);
  const std::string& source = piece.bytes();
  const char* shown_as = view.encoding != nullptr ? view.encoding : encoding;
  size_t took;
  if (is_ascii(source) && display_keeps_ascii(shown_as)) {
    // ASCII throughout in an encoding that keeps ASCII as it is: the
    // script's bytes are what is shown, with no copy.
    const signed char* by_byte =
        piece.cats().size() == source.size() ? piece.cats().data() : nullptr;
    took = undecoded_part(*cut, source);
    html_lines(out, source.data(), took, by_byte, first_line, cut);
  } else {
    Shown shown;
    took = decoder_for(cut, shown_as, first_line).decode(source, piece.cats(), cut->more, &shown);
    const signed char* by_byte = shown.cats.empty() ? nullptr : shown.cats.data();
    html_lines(out, shown.text.data(), shown.text.size(), by_byte, first_line, cut);
  }
  piece_done(cut, piece, took, !cut->inside, cut->open, 0);
}

void html_end(std::string* out) {
  if (!view.fragment) *out += "</body>\n</html>\n";
}

int cmd_css(const Options& opt) {
  const char* out = opt.html != nullptr ? opt.html : "-";
  if (!output_allowed(out, {}, true) || !session_open(opt)) return EXIT_ERROR;
  return write_output(out, html_style_sheet()) ? EXIT_DONE : EXIT_ERROR;
}

bool html_write(const char* path, const PageBuffer& page) {
  OutputSink* sink = output_open(path);
  if (sink == nullptr) return false;
  if (!output_write(sink, page.data(), page.size())) {
    output_abort(sink);
    return false;
  }
  return output_commit(sink);
}
