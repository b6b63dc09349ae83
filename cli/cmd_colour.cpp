// wyn colour FILE...: each file coloured by the plug-in in counted runs
// from its start and shown a piece at a time as its colours become final,
// to the terminal or to an HTML page.
#include "colour_pipeline.h"

#include "display.h"
#include "encoding.h"

#include <string.h>

#include <memory>

namespace {

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
// beyond its lines does not count, and short enough that the rendering
// side, which takes new pieces between runs, always has some at hand.
const long first_run_lines = 64, most_run_lines = 1024;

// Colours doc in counted runs and hands it to the pipeline as its colours
// become final, a piece at a time (a run may colour the whole rest at
// once).
bool show_streamed(wyn::Document* doc, const std::string& name, const char* encoding, bool to_html,
                   bool ansi, Pipeline* out, Clock* t) {
  if (to_html) {
    Job& j = out->next();
    j.kind = Job::OPEN;
    j.text = name;
    out->submit(j);
  }
  doc->colour_begin();
  size_t n = doc->size(), shown = 0, ready = 0;
  long lines = first_run_lines, line = 1;
  bool coloured = to_html || ansi;
  while (shown < n && !out->failed()) {
    if (ready == n) {  // all coloured: the rest goes out as it is taken
      shown = render_lines(*doc, shown, n, encoding, coloured, &line, out, t);
      break;
    }
    double a = now_seconds();
    std::string error;
    size_t final_end = 0;
    if (!reported(doc->colour_more(lines, &final_end, &error), error)) return false;
    if (lines < most_run_lines) lines *= 2;
    t->plugin += now_seconds() - a;
    // Up to a line start: only a line longer than a piece is cut, and the
    // rendering side carries it from piece to piece, so it renders exactly
    // as the same lines rendered at once. What the rendering side
    // does not take now waits in the document while the next run is
    // coloured, so that colouring never waits for rendering.
    ready = final_end < n ? (size_t)doc->line_start(doc->line_of((long)final_end)) : n;
    shown = render_lines(*doc, shown, ready, encoding, coloured, &line, out, t, false);
  }
  if (to_html) {
    Job& j = out->next();
    j.kind = Job::CLOSE;
    out->submit(j);
  }
  return true;
}

// What a document's text decodes as for display, read a piece at a time; a piece ends
// after a line feed or else before a character it would cut in two, whose
// bytes then start the next piece. Text that is not UTF-8 is shown as guess
// says, or with none as the default code page.
const char* encoding_of(const wyn::Document& doc, const char* guess) {
  size_t n = doc.size();
  for (size_t at = 0; at < n;) {
    std::string text = doc.text(at, 4 * most_piece);
    size_t keep = text.size();
    if (at + keep < n) {
      size_t end = text.rfind('\n');
      if (end != std::string::npos) {
        keep = end + 1;
      } else {
        size_t back = keep;
        while (back > 0 && keep - back < 3 && ((unsigned char)text[back - 1] & 0xC0) == 0x80)
          back--;
        if (back > 0 && (unsigned char)text[back - 1] >= 0xC0) keep = back - 1;
        if (keep == 0) keep = text.size();
      }
      text.resize(keep);
    }
    if (!is_ascii(text) && !is_valid_utf8(text))
      return guess != nullptr ? guess : display_encoding_of(false);
    at += keep;
  }
  return display_encoding_of(true);
}

}  // namespace

void show_coloured(const wyn::Document& doc, bool ansi, bool plain, const char* guess) {
  Clock t;
  if (plain) {
    for (size_t at = 0; at < doc.size(); at += most_piece) out_text(doc.text(at, most_piece));
    return;
  }
  size_t n = doc.size();
  Pipeline out(nullptr, false, ansi, false, &t);
  long line = 1;
  render_lines(doc, 0, n, encoding_of(doc, guess), ansi, &line, &out, &t);
  out.finish();
}

int cmd_colour(const Options& opt) {
  Clock t;
  // Read every file first, so that a page is never written over one of
  // them and names only those that can be shown; a bad one is reported,
  // the others still shown, and the run fails at the end. No FILE reads
  // stdin.
  double t0 = now_seconds();
  std::vector<const char*> names = opt.args;
  if (names.empty()) names.push_back("-");
  std::vector<Source> files;
  std::vector<FileId> read;
  std::vector<const char*> names_read;  // as given, to find each one's .wyn.cfg
  std::vector<bool> again;              // read again in its turn, not kept
  int rc = EXIT_DONE;
  // A file alone goes straight into its document, so its text is never
  // held twice. Of several, each regular file is read again in its turn,
  // straight into its document, so only one text is held at a time; what
  // cannot be read twice (stdin, a pipe) is kept as read.
  wyn::Document alone;
  for (const char* name : names) {
    Source file;
    if (names.size() == 1 ? !read_source_into(name, &file, &alone) : !read_source(name, &file)) {
      rc = EXIT_ERROR;
      continue;
    }
    say_coding(file);
    t.bytes += names.size() == 1 ? alone.size() : file.text.size();
    again.push_back(names.size() > 1 && file.id.regular && strcmp(name, "-") != 0);
    if (again.back()) std::string().swap(file.text);
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
  // Everything goes out as it is made: a page for a file goes to a
  // temporary file beside it that takes its place only once it is whole.
  OutputSink* sink = output_open(to_html ? opt.html : "-");
  if (sink == nullptr) return EXIT_ERROR;
  std::string head;
  if (to_html) {
    std::vector<std::string> titles;
    for (const Source& file : files) titles.push_back(file.name);
    html_begin(&head, titles);
  } else if (opt.legend) {
    head = terminal_legend(ansi);
  }
  bool ok = true;
  std::string tail;
  try {
    Pipeline out(sink, to_html, ansi, true, &t);
    out.raw(head);
    for (size_t i = 0; i < files.size() && ok; i++) {
      working_on(names_read[i]);
      ok = session_for(opt, names_read[i]);
      if (!ok) break;
      if (names.size() == 1) {
        ok = show_streamed(&alone, files[i].name, encoding_of(alone, files[i].coding.guess),
                           to_html, ansi, &out, &t);
        break;
      }
      // The document holds the text from here on: it is never kept twice.
      std::unique_ptr<wyn::Document> doc(new wyn::Document(files[i].text));
      std::string().swap(files[i].text);
      Source reread;
      if (again[i] && !read_source_into(names_read[i], &reread, doc.get())) {
        // Gone bad since it was first read: said, and its section left
        // empty, so the page's contents still lead somewhere.
        rc = EXIT_ERROR;
        doc.reset(new wyn::Document());
        if (!to_html) continue;
      }
      const char* encoding = encoding_of(*doc, (again[i] ? reread : files[i]).coding.guess);
      if (!to_html && files.size() > 1) out.raw((i ? "\n==> " : "==> ") + files[i].name + " <==\n");
      ok = show_streamed(doc.get(), files[i].name, encoding, to_html, ansi, &out, &t);
    }
    ok = out.finish() && ok;
    if (to_html) html_end(&tail);
  } catch (const std::bad_alloc&) {
    output_abort(sink);  // its temporary file goes with it
    throw;
  }
  if (!ok) {
    output_abort(sink);
    return EXIT_ERROR;
  }
  double w = now_seconds();
  if (!output_write(sink, tail.data(), tail.size())) {
    output_abort(sink);
    return EXIT_ERROR;
  }
  if (!output_commit(sink)) return EXIT_ERROR;
  t.write += now_seconds() - w;
  if (opt.stats) print_stats(t, files.size());
  return rc;
}
