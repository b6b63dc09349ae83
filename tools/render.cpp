// Showing the colours the plug-in gave a document, as categories per
// character: ANSI for a terminal, a standalone HTML page for a browser.
#include "tool.h"

#include "encoding.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

struct Look {
  const char* css;     // class name in the page
  const char* legend;  // what the legend calls it
  const char* ansi;    // SGR parameters for a terminal
  bool bold;
};

// ORDER: wyn::Category.
const Look looks[CAT_COUNT] = {
    {"wyn-comment", "comment", "32", false},
    {"wyn-constant", "constant or system variable", "35", false},
    {"wyn-keyword", "reserved word", "1;34", true},
    {"wyn-function", "built-in function", "36", false},
    {"wyn-string", "string", "33", false},
    {"wyn-number", "number", "31", false},
    {"wyn-operator", "operator", "1", false},
};

// The editor's colour values are 0x00BBGGRR.
std::string css_colour(long c) {
  char out[8];
  snprintf(out, sizeof out, "#%02x%02x%02x", (unsigned)(c & 0xFF), (unsigned)((c >> 8) & 0xFF),
           (unsigned)((c >> 16) & 0xFF));
  return out;
}

void append_escaped(std::string* out, char c) {
  switch (c) {
    case '<':
      *out += "&lt;";
      break;
    case '>':
      *out += "&gt;";
      break;
    case '&':
      *out += "&amp;";
      break;
    case '"':
      *out += "&quot;";
      break;
    default:
      *out += c;
  }
}

// Bytes 128..255 go through as UTF-8 where they form it well; any other is
// taken as Latin-1, the likeliest for old scripts, and written as a
// character reference.
size_t append_high(std::string* out, const std::string& text, size_t i) {
  const unsigned char* p = (const unsigned char*)text.data() + i;
  size_t len = utf8_sequence_length(p, text.size() - i);
  if (len > 0) {
    out->append(text, i, len);
    return len;
  }
  char ref[8];
  snprintf(ref, sizeof ref, "&#%u;", (unsigned)p[0]);
  *out += ref;
  return 1;
}

// A file name in the page: escaped, and valid UTF-8 whatever its bytes.
void append_name(std::string* out, const std::string& name) {
  for (size_t i = 0; i < name.size();) {
    if ((unsigned char)name[i] >= 0x80) {
      i += append_high(out, name, i);
    } else {
      append_escaped(out, name[i++]);
    }
  }
}

// Characters a page cannot take as they are, or that end a line.
bool special_in_html(char c) {
  return c == '<' || c == '>' || c == '&' || c == '"' || c == '\n' || c == '\r' ||
         (unsigned char)c >= 0x80;
}

// The line-number cell; snprintf per line would cost more than the rest.
void append_line_number(std::string* out, long line) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = (char)('0' + line % 10);
    line /= 10;
  } while (line > 0);
  *out += "<span class=\"ln\">";
  while (n > 0) *out += digits[--n];
  *out += "</span>";
}

}  // namespace

bool use_colour(ColourWhen when) {
  if (when != COLOUR_AUTO) return when == COLOUR_ALWAYS;
  const char* term = getenv("TERM");
  const char* no_colour = getenv("NO_COLOR");
  return isatty(1) && (term == nullptr || strcmp(term, "dumb") != 0) &&
         (no_colour == nullptr || no_colour[0] == 0);
}

void render_ansi(const std::string& text, const std::vector<signed char>& cats, std::string* out) {
  out->reserve(out->size() + text.size() * 2);
  int open = CAT_NONE;
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    char c = text[i];
    // Close at line ends so each line stands alone in a pager.
    int want = (c == '\n' || c == '\r') ? (int)CAT_NONE : cats[i];
    if (want != open) {
      if (open != CAT_NONE) *out += "\x1b[0m";
      if (want != CAT_NONE) {
        *out += "\x1b[";
        *out += looks[want].ansi;
        *out += 'm';
      }
      open = want;
    }
    size_t j = i + 1;
    if (want != CAT_NONE)
      while (j < n && cats[j] == want && text[j] != '\n' && text[j] != '\r') j++;
    out->append(text, i, j - i);
    i = j;
  }
  if (open != CAT_NONE) *out += "\x1b[0m";
}

void html_begin(std::string* out, const char* title) {
  *out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
  append_name(out, title);
  *out +=
      "</title>\n<style>\n"
      "body { font-family: sans-serif; margin: 1em 2em; }\n"
      "h2 { font-size: 1.1em; font-family: monospace; }\n"
      "pre.wyn { font-family: monospace; line-height: 1.35; tab-size: 8;"
      " background: #fbfbf8; border: 1px solid #ddd; padding: .5em 0; }\n"
      ".wyn .ln { display: inline-block; min-width: 4.5em; padding-right: 1em;"
      " text-align: right; color: #999; user-select: none; }\n"
      "ul.legend { list-style: none; padding: 0; font-family: monospace; }\n"
      "ul.legend li { display: inline-block; margin-right: 1.5em; }\n";
  for (int k = 0; k < CAT_COUNT; k++) {
    *out += '.';
    *out += looks[k].css;
    *out += " { color: ";
    *out += css_colour(plugin().category_colour(k));
    *out += looks[k].bold ? "; font-weight: bold; }\n" : "; }\n";
  }
  *out += "</style>\n</head>\n<body>\n<ul class=\"legend\">\n";
  for (int k = 0; k < CAT_COUNT; k++) {
    *out += "<li><span class=\"";
    *out += looks[k].css;
    *out += "\">";
    *out += looks[k].legend;
    *out += "</span></li>\n";
  }
  *out += "</ul>\n";
}

void html_section(std::string* out, const std::string& name, const std::string& text,
                  const std::vector<signed char>& cats) {
  out->reserve(out->size() + text.size() * 3);
  *out += "<h2>";
  append_name(out, name);
  *out += "</h2>\n<pre class=\"wyn\">";
  long line = 1;
  int open = CAT_NONE;
  bool line_open = false;
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    if (!line_open) {
      append_line_number(out, line);
      line_open = true;
    }
    char c = text[i];
    bool at_break = c == '\n' || (c == '\r' && i + 1 < n && text[i + 1] == '\n');
    int want = at_break ? (int)CAT_NONE : cats[i];
    if (want != open) {
      if (open != CAT_NONE) *out += "</span>";
      if (want != CAT_NONE) {
        *out += "<span class=\"";
        *out += looks[want].css;
        *out += "\">";
      }
      open = want;
    }
    if (c == '\r' && at_break) {
      i++;
    } else if (c == '\n') {
      *out += '\n';
      line++;
      line_open = false;
      i++;
    } else if ((unsigned char)c >= 0x80) {
      i += append_high(out, text, i);
    } else if (special_in_html(c)) {
      append_escaped(out, c);
      i++;
    } else {
      size_t j = i + 1;
      while (j < n && cats[j] == want && !special_in_html(text[j])) j++;
      out->append(text, i, j - i);
      i = j;
    }
  }
  if (open != CAT_NONE) *out += "</span>";
  *out += "</pre>\n";
}

void html_end(std::string* out) {
  *out += "</body>\n</html>\n";
}

bool html_write(const char* path, const std::string& page) {
  return write_output(path, page);
}
