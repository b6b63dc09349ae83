// wyn colour FILE...: each file coloured by the plug-in in counted runs
// from its start and shown a piece at a time as its colours become final,
// to the terminal or to an HTML page.
#include "tool.h"

#include "display.h"
#include "encoding.h"

#include <stdint.h>
#include <string.h>
#include <time.h>

namespace {

// Seconds on a monotonic clock.
double now_seconds() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// Where the time went, for --stats.
struct Clock {
  double read = 0, load = 0, plugin = 0, colours = 0, render = 0, write = 0;
  size_t bytes = 0;
};

void print_stats(const Clock& t, size_t files) {
  double total = t.read + t.load + t.plugin + t.colours + t.render + t.write;
  double own = t.read + t.colours + t.render + t.write;
  fprintf(stderr,
          "wyn: stats: %.1f MB in %zu file(s): plug-in start-up %.0f ms, read %.0f ms, "
          "plug-in colouring %.0f ms, reading colours back %.0f ms, render %.0f ms, "
          "write %.0f ms; the tool's own share %.0f ms (%.0f%% of %.0f ms)\n",
          (double)t.bytes / 1e6, files, t.load * 1e3, t.read * 1e3, t.plugin * 1e3, t.colours * 1e3,
          t.render * 1e3, t.write * 1e3, own * 1e3, total > 0 ? own * 100 / total : 0.0,
          total * 1e3);
}

// The first counted run is short, so the first screenful shows at once;
// each later one doubles, up to runs long enough that what a run costs
// beyond its lines does not count.
const long first_run_lines = 64, most_run_lines = 16384;
// What is rendered goes out once this much has gathered.
const size_t write_at = 64 << 10;
// The most text rendered in one piece.
const size_t most_piece = 64 << 10;

// True when no byte has its high bit set; eight bytes at a time, as most
// scripts are ASCII throughout and this is read before anything shows.
bool all_ascii(const std::string& text) {
  const char* p = text.data();
  size_t n = text.size(), i = 0;
  uint64_t high = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    memcpy(&w, p + i, 8);
    high |= w;
  }
  for (; i < n; i++) high |= (unsigned char)p[i];
  return (high & 0x8080808080808080ull) == 0;
}

// What the whole text decodes as for display, read a piece at a time;
// pieces end at line ends, so no character is split.
const char* encoding_of(const wyn::Document& doc) {
  const size_t piece = 64 << 10;
  size_t n = doc.size();
  for (size_t at = 0; at < n;) {
    std::string text = doc.text(at, piece);
    size_t end = at + text.size() < n ? text.rfind('\n') : std::string::npos;
    if (end != std::string::npos) text.resize(end + 1);
    if (!all_ascii(text) && !is_valid_utf8(text)) return display_encoding_of(false);
    at += text.size();
  }
  return display_encoding_of(true);
}

// Renders the lines [from, to) of doc (both line starts, or to the end)
// into *out, at most about most_piece bytes at a time; with stream, what
// gathers goes to stdout as it comes. *line is the number of the line at
// from, and afterwards of the line at to.
void render_lines(const wyn::Document& doc, size_t from, size_t to, bool to_html, bool ansi,
                  bool stream, const char* encoding, long* line, std::string* out, Clock* t) {
  size_t n = doc.size();
  std::vector<signed char> cats;
  while (from < to) {
    double b = now_seconds();
    size_t end = to;
    if (to - from > most_piece) {  // whole lines: a piece never ends inside one
      long at = doc.line_of((long)(from + most_piece));
      end = (size_t)doc.line_start(at);
      if (end <= from) end = at < doc.line_count() ? (size_t)doc.line_start(at + 1) : n;
    }
    std::string text = doc.text(from, end - from);
    cats.assign(text.size(), wyn::CAT_NONE);
    if (to_html || ansi) doc.categories(from, text.size(), cats.data());
    double c = now_seconds();
    if (to_html)
      html_section_lines(out, text, cats, *line, encoding);
    else
      render_terminal(text, cats, ansi, out, *line, encoding);
    for (char ch : text) *line += ch == '\n';
    from = end;
    double d = now_seconds();
    // The first lines go out at once, then every write_at bytes.
    if (stream && (out->size() >= write_at || from == n || *line <= 1 + first_run_lines)) {
      out_text(*out);
      out->clear();
    }
    t->colours += c - b;
    t->render += d - c;
    t->write += now_seconds() - d;
  }
}

// Colours doc in counted runs and renders it into *out as its colours
// become final, whole lines a piece, at most about most_piece bytes a piece
// (a run may colour the whole rest at once); with stream, what gathers
// goes to stdout as it comes.
bool show_streamed(wyn::Document* doc, const std::string& name, bool to_html, bool ansi,
                   bool stream, std::string* out, Clock* t) {
  const char* encoding = encoding_of(*doc);
  if (to_html) html_section_open(out, name);
  doc->colour_begin();
  size_t n = doc->size(), shown = 0, final_end = 0;
  long lines = first_run_lines, line = 1;
  while (shown < n) {
    double a = now_seconds();
    std::string error;
    if (!reported(doc->colour_more(lines, &final_end, &error), error)) return false;
    if (lines < most_run_lines) lines *= 2;
    t->plugin += now_seconds() - a;
    // Whole lines only: a piece never ends inside a line, so it renders
    // exactly as the same lines rendered at once.
    size_t ready = final_end < n ? (size_t)doc->line_start(doc->line_of((long)final_end)) : n;
    render_lines(*doc, shown, ready, to_html, ansi, stream, encoding, &line, out, t);
    shown = ready;
  }
  if (to_html) html_section_close(out);
  return true;
}

}  // namespace

void show_coloured(const wyn::Document& doc, bool ansi, bool plain) {
  std::string out;
  Clock t;
  long line = 1;
  if (!plain)
    return render_lines(doc, 0, doc.size(), false, ansi, true, encoding_of(doc), &line, &out, &t);
  for (size_t at = 0; at < doc.size(); at += most_piece) out_text(doc.text(at, most_piece));
}

int cmd_colour(const Options& opt) {
  Clock t;
  // Read every file first, so that a page is never written over one of
  // them; a bad one is reported, the others still shown, and the run
  // fails at the end. No FILE reads stdin.
  double t0 = now_seconds();
  std::vector<const char*> names = opt.args;
  if (names.empty()) names.push_back("-");
  std::vector<Source> files;
  std::vector<FileId> read;
  std::vector<const char*> names_read;  // as given, to find each one's .wyn.cfg
  int rc = EXIT_DONE;
  for (const char* name : names) {
    Source file;
    if (!read_source(name, &file)) {
      rc = EXIT_ERROR;
      continue;
    }
    t.bytes += file.text.size();
    read.push_back(file.id);
    names_read.push_back(name);
    files.push_back(std::move(file));
  }
  if (opt.html != nullptr && !output_allowed(opt.html, read, true)) return EXIT_ERROR;
  if (files.empty()) return rc;
  double t1 = now_seconds();
  t.read = t1 - t0;
  if (!session_open(opt)) return EXIT_ERROR;
  t.load = now_seconds() - t1;

  bool to_html = opt.html != nullptr;
  bool ansi = !to_html && use_colour(opt.colour);
  std::string out;
  if (to_html) {
    std::vector<std::string> titles;
    for (const Source& file : files) titles.push_back(file.name);
    html_begin(&out, titles);
  } else if (opt.legend) {
    out += terminal_legend(ansi);
  }
  // A page for stdout goes out as it is made, like the terminal's text;
  // a page for a file is made whole and then put in place.
  bool stream = !to_html || !strcmp(opt.html, "-");
  for (size_t i = 0; i < files.size(); i++) {
    if (!session_for(opt, names_read[i])) return EXIT_ERROR;
    // The document holds the text from here on: it is never kept twice.
    wyn::Document doc(files[i].text);
    std::string().swap(files[i].text);
    if (!to_html && files.size() > 1) out += (i ? "\n==> " : "==> ") + files[i].name + " <==\n";
    if (!show_streamed(&doc, files[i].name, to_html, ansi, stream, &out, &t)) return EXIT_ERROR;
  }
  double w = now_seconds();
  if (to_html) {
    html_end(&out);
    if (!html_write(opt.html, out)) return EXIT_ERROR;
  }
  out_flush();
  t.write += now_seconds() - w;
  if (opt.stats) print_stats(t, files.size());
  return rc;
}
