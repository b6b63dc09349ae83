// wyn: the colour command's output pipeline. Pieces of a document's lines,
// copied out with their categories, are rendered and written in order, on
// a second thread where there is one, while the first goes on colouring.
#ifndef WYN_COLOUR_PIPELINE_H
#define WYN_COLOUR_PIPELINE_H

#include "render.h"

#include <atomic>
#include <exception>
#include <string>
#include <vector>

// The rendering thread where the C++ library has threads (not the
// Windows cross build's).
#ifndef _WIN32
#define RENDER_THREAD
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

// Seconds on a monotonic clock.
double now_seconds();

// Where the time went, for --stats.
struct Clock {
  double read = 0, load = 0, plugin = 0, colours = 0, render = 0, write = 0;
  size_t bytes = 0;
};

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
  // sink: where the output goes, null for stdout; threaded: on a second
  // thread when there is a second core.
  Pipeline(OutputSink* sink, bool to_html, bool ansi, bool threaded, Clock* t);
  ~Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // The next job to fill, once the rendering side is done with it; hand
  // it over with submit.
  Job& next();
  void submit(Job& j);
  // Whether a job can be handed over without waiting.
  bool takes_more() const {
    return slots_[filled_ % slots].state.load(std::memory_order_acquire) == Job::FREE;
  }
  // True once a write failed: what is left need not be made.
  bool failed() const { return !ok_; }
  // A job that writes text as it is.
  void raw(const std::string& text);
  // Waits until every job is written; false when a write failed. The
  // rendering side ends; memory running out there is thrown here.
  bool finish();

 private:
  // What is coloured but not yet taken waits in the document, so a few
  // pieces in flight are enough to keep the rendering side busy.
  static const size_t slots = 8;

  void stop();
  bool threaded() const;
  void render_and_write(Job& j, double* rendering, double* writing);
  void set_state(Job& j, Job::State state);
  void wait_free(Job& j);
#ifdef RENDER_THREAD
  void work();
  std::thread worker_;
  std::mutex lock_;
  std::condition_variable changed_, done_;  // a job queued, a job written
  bool stopping_ = false;
#endif

  OutputSink* sink_;
  bool to_html_, ansi_;
  Clock* t_;
  Job slots_[slots];
  std::string out_;    // the rendering side's output for a terminal, a job at a time
  PageBuffer page_;    // the same for a page
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
                    bool coloured, long* line, Pipeline* out, Clock* t, bool wait = true);

#endif
