// wyn colour FILE...: each file coloured by the plug-in's whole-buffer
// colouring, to the terminal or to an HTML page.
#include "tool.h"

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

}  // namespace

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
  std::vector<signed char> cats;
  for (size_t i = 0; i < files.size(); i++) {
    if (!session_for(opt, names_read[i])) return EXIT_ERROR;
    double a = now_seconds();
    wyn::Document doc(files[i].text);
    std::string error;
    if (!reported(doc.colour_whole(&error), error)) return EXIT_ERROR;
    double b = now_seconds();
    if (to_html || ansi) cats = doc.categories();
    double b2 = now_seconds();
    if (to_html) {
      html_section(&out, files[i].name, files[i].text, cats);
    } else {
      if (files.size() > 1) out += (i ? "\n==> " : "==> ") + files[i].name + " <==\n";
      render_terminal(files[i].text, cats, ansi, &out);
    }
    double c = now_seconds();
    t.plugin += b - a;
    t.colours += b2 - b;
    t.render += c - b2;
    if (!to_html) {  // a terminal sees each file as soon as it is ready
      out_text(out);
      out.clear();
      t.write += now_seconds() - c;
    }
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
