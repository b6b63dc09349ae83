// wyn colour FILE...: each file coloured by the plug-in in counted runs
// from its start and shown a piece at a time as its colours become final,
// to the terminal or to an HTML page.
#include "render.h"
#include "tool.h"

#include "display.h"
#include "encoding.h"

#include <string.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>

// The rendering thread where the C++ library has threads (not the
// Windows cross build's).
#ifndef _WIN32
#define RENDER_THREAD
#include <malloc.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#endif

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
// beyond its lines does not count, and short enough that the rendering
// side, which takes new pieces between runs, always has some at hand.
const long first_run_lines = 64, most_run_lines = 1024;
// The most text rendered in one piece.
const size_t most_piece = 8 << 10;

// One piece of output: made and written on the rendering side, in order.
struct Job {
  enum Kind { RAW, LINES, OPEN, CLOSE } kind = RAW;
  std::string text;               // RAW: written as it is; LINES: the bytes; OPEN: the file's name
  std::vector<signed char> cats;  // LINES: one category per byte, or none
  long first_line = 1;            // LINES
  bool more = false;              // LINES: the last line goes on in the next job
  const char* encoding = nullptr;
  enum State { FREE, QUEUED };
  std::atomic<State> state{FREE};  // changed under the pipeline's lock
};

// Renders the output a piece at a time and writes each piece in order as
// soon as it is made. With a second core, pieces are rendered and written
// there while this thread goes on colouring: the rendering side touches
// only the jobs handed to it (text and categories copied out of the
// document, which it never reads), the view, which nothing else uses
// meanwhile, and the output; a job's state passes it from one side to the
// other under the lock. A failed write to a file is noted for this side to
// see; a failed stdout ends the program at once (_exit, no clean-up that
// could pull the plug-in from under this thread).
class Pipeline {
 public:
  Pipeline(OutputSink* sink, bool to_html, bool ansi, bool threaded, Clock* t)
      : sink_(sink), to_html_(to_html), ansi_(ansi), t_(t) {
#ifdef RENDER_THREAD
    if (threaded && std::thread::hardware_concurrency() > 1) {
#ifdef M_ARENA_MAX
      // The rendering side's few buffers need no allocation arena of
      // their own, which would keep what it freed from the other side.
      mallopt(M_ARENA_MAX, 1);
#endif
      try {
        worker_ = std::thread([this] { work(); });
      } catch (const std::exception&) {  // std::system_error, std::bad_alloc
        // No room for a second thread: everything is done on this one.
      }
    }
#else
    (void)threaded;
#endif
  }
  ~Pipeline() {
    stop();
  }

  // The next job to fill, once the rendering side is done with it; hand
  // it over with submit.
  Job& next() {
    Job& j = slots_[filled_ % slots];
    wait_free(j);
    return j;
  }
  void submit(Job& j) {
    if (!threaded()) {
      render_and_write(j, &render_time_, &write_time_);
      return;
    }
    filled_++;
    set_state(j, Job::QUEUED);
  }
  // Whether a job can be handed over without waiting.
  bool takes_more() const {
    return slots_[filled_ % slots].state.load(std::memory_order_acquire) == Job::FREE;
  }
  // True once a write failed: what is left need not be made.
  bool failed() const {
    return !ok_;
  }
  void raw(const std::string& text) {
    Job& j = next();
    j.kind = Job::RAW;
    j.text = text;
    submit(j);
  }
  // Waits until every job is written; false when a write failed. The
  // rendering side ends; memory running out there is thrown here.
  bool finish() {
    stop();
    if (failure_) {
      std::exception_ptr failure = failure_;
      failure_ = nullptr;
      std::rethrow_exception(failure);
    }
    return ok_;
  }

 private:
  // What is coloured but not yet taken waits in the document, so a few
  // pieces in flight are enough to keep the rendering side busy.
  static const size_t slots = 8;

  // Ends the rendering side once every job handed over is done.
  void stop() {
#ifdef RENDER_THREAD
    if (threaded()) {
      {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;  // once every job handed over is written
      }
      changed_.notify_all();
      worker_.join();
    }
#endif
    t_->render += render_time_;
    t_->write += write_time_;
    render_time_ = write_time_ = 0;
  }

  bool threaded() const {
#ifdef RENDER_THREAD
    return worker_.joinable();
#else
    return false;
#endif
  }

  // Renders a job into out_ (a raw one is written as it is) and writes it.
  void render_and_write(Job& j, double* rendering, double* writing) {
    double a = now_seconds();
    const std::string* made = &out_;
    out_.clear();
    switch (j.kind) {
      case Job::RAW:
        made = &j.text;
        break;
      case Job::OPEN:
        html_section_open(&out_, j.text);
        break;
      case Job::CLOSE:
        html_section_close(&out_);
        break;
      case Job::LINES:
        cut_.more = j.more;
        if (to_html_)
          html_section_lines(&out_, j.text, j.cats, j.first_line, j.encoding, &cut_);
        else
          render_terminal(j.text, j.cats, ansi_, &out_, j.first_line, j.encoding, &cut_);
        break;
    }
    double b = now_seconds();
    *rendering += b - a;
    if (ok_ && !made->empty()) {
      if (sink_ == nullptr)
        out_write(made->data(), made->size());
      else if (!output_write(sink_, made->data(), made->size()))
        ok_ = false;
    }
    *writing += now_seconds() - b;
  }

#ifdef RENDER_THREAD
  void set_state(Job& j, Job::State state) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      j.state = state;
    }
    (state == Job::QUEUED ? changed_ : done_).notify_all();
  }
  void wait_free(Job& j) {
    if (soon(j, Job::FREE)) return;
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [&] { return j.state == Job::FREE; });
  }
  // Whether j comes to be in state within a short while: the other side
  // is usually about to get there, and waking a sleeping thread takes
  // longer than rendering a piece.
  static bool soon(const Job& j, Job::State state) {
    double until = now_seconds() + 100e-6;
    for (unsigned k = 1;; k++) {
      if (j.state.load(std::memory_order_acquire) == state) return true;
      if (k % 64 == 0 && now_seconds() > until) return false;
    }
  }
  void work() {
    double rendering = 0, writing = 0;
    for (size_t k = 0;; k++) {
      Job& j = slots_[k % slots];
      if (!soon(j, Job::QUEUED)) {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return j.state == Job::QUEUED || stopping_; });
        if (j.state != Job::QUEUED) break;
      }
      // Out of memory here, the rest is passed over, still freeing each
      // job so that the other side never waits, and thrown there at finish.
      try {
        if (ok_) render_and_write(j, &rendering, &writing);
      } catch (const std::bad_alloc&) {
        failure_ = std::current_exception();
        ok_ = false;
      }
      set_state(j, Job::FREE);
    }
    render_time_ += rendering;  // read after the join
    write_time_ += writing;
  }
  std::thread worker_;
  std::mutex lock_;
  std::condition_variable changed_, done_;  // a job queued, a job written
  bool stopping_ = false;
#else
  void set_state(Job& j, Job::State state) {
    j.state = state;
  }
  void wait_free(Job&) {}
#endif

  OutputSink* sink_;
  bool to_html_, ansi_;
  Clock* t_;
  Job slots_[slots];
  std::string out_;    // the rendering side's output, a job at a time
  CutLine cut_;        // the rendering side's: where a line cut into jobs stands
  size_t filled_ = 0;  // jobs handed over so far
  std::atomic<bool> ok_{true};
  std::exception_ptr failure_;  // the rendering side's, read after the join
  double render_time_ = 0, write_time_ = 0;
};

// Hands the lines [from, to) of doc (both line starts, or to the end) to
// the pipeline, at most most_piece bytes a piece: whole lines, or a piece
// of a line longer than that, so that what is held at once never depends
// on how long a line is. Without wait, only as many pieces as it takes at
// once. Answers how far it got; *line is the number of the line at from,
// and afterwards of the line there.
size_t render_lines(const wyn::Document& doc, size_t from, size_t to, const char* encoding,
                    bool coloured, long* line, Pipeline* out, Clock* t, bool wait = true) {
  size_t n = doc.size();
  while (from < to && (wait || out->takes_more())) {
    double b = now_seconds();
    Job& j = out->next();
    j.kind = Job::LINES;
    j.encoding = encoding;
    j.first_line = *line;
    j.text = doc.text(from, to - from > most_piece ? most_piece : to - from);
    j.more = false;
    if (from + j.text.size() < to) {  // whole lines, unless one is longer than a piece
      size_t last = j.text.rfind('\n');
      if (last != std::string::npos)
        j.text.resize(last + 1);
      else
        j.more = true;
    }
    j.cats.clear();
    if (coloured) {
      j.cats.resize(j.text.size());
      doc.categories(from, j.text.size(), j.cats.data());
    }
    from += j.text.size();
    *line =
        from < n ? doc.line_of((long)from) : *line + std::count(j.text.begin(), j.text.end(), '\n');
    t->colours += now_seconds() - b;
    out->submit(j);
  }
  return from;
}

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
// bytes then start the next piece.
const char* encoding_of(const wyn::Document& doc) {
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
    if (!is_ascii(text) && !is_valid_utf8(text)) return display_encoding_of(false);
    at += keep;
  }
  return display_encoding_of(true);
}

}  // namespace

void show_coloured(const wyn::Document& doc, bool ansi, bool plain) {
  Clock t;
  if (plain) {
    for (size_t at = 0; at < doc.size(); at += most_piece) out_text(doc.text(at, most_piece));
    return;
  }
  size_t n = doc.size();
  Pipeline out(nullptr, false, ansi, false, &t);
  long line = 1;
  render_lines(doc, 0, n, encoding_of(doc), ansi, &line, &out, &t);
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
        ok = show_streamed(&alone, files[i].name, encoding_of(alone), to_html, ansi, &out, &t);
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
      const char* encoding = encoding_of(*doc);
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
