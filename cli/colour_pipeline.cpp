// The colour command's output pipeline: jobs handed from the colouring
// thread to the rendering one through a ring of slots, each passed back
// once written, so the order is kept and what is in flight stays bounded.
#include "colour_pipeline.h"

#include <assert.h>
#include <time.h>

#include <algorithm>

#ifdef RENDER_THREAD
#include <malloc.h>
#endif

double now_seconds() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

Pipeline::Pipeline(OutputSink* sink, bool to_html, bool ansi, bool threaded, Clock* t)
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

Pipeline::~Pipeline() {
  stop();
}

Job& Pipeline::next() {
  Job& j = slots_[filled_ % slots];
  wait_free(j);
  return j;
}

void Pipeline::submit(Job& j) {
  assert(&j == &slots_[filled_ % slots]);  // the one next() gave
  if (!threaded()) {
    render_and_write(j, &render_time_, &write_time_);
    return;
  }
  filled_++;
  set_state(j, Job::QUEUED);
}

void Pipeline::raw(const std::string& text) {
  Job& j = next();
  j.kind = Job::RAW;
  j.text = text;
  submit(j);
}

bool Pipeline::finish() {
  stop();
  if (failure_) {
    std::exception_ptr failure = failure_;
    failure_ = nullptr;
    std::rethrow_exception(failure);
  }
  return ok_;
}

// Ends the rendering side once every job handed over is done.
void Pipeline::stop() {
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

bool Pipeline::threaded() const {
#ifdef RENDER_THREAD
  return worker_.joinable();
#else
  return false;
#endif
}

// Renders a job into out_ or page_ (a raw one is written as it is) and
// writes it.
void Pipeline::render_and_write(Job& j, double* rendering, double* writing) {
  double a = now_seconds();
  const char* made = nullptr;
  size_t size = 0;
  out_.clear();
  page_.clear();
  switch (j.kind) {
    case Job::RAW:
      made = j.text.data();
      size = j.text.size();
      break;
    case Job::OPEN:
      html_section_open(&page_, j.text);
      break;
    case Job::CLOSE:
      html_section_close(&page_);
      break;
    case Job::LINES:
      cut_.more = j.more;
      if (to_html_)
        html_section_lines(&page_, j.text, j.cats, j.first_line, j.encoding, &cut_);
      else
        render_terminal(j.text, j.cats, ansi_, &out_, j.first_line, j.encoding, &cut_);
      break;
  }
  if (made == nullptr) {
    made = to_html_ ? page_.data() : out_.data();
    size = to_html_ ? page_.size() : out_.size();
  }
  double b = now_seconds();
  *rendering += b - a;
  if (ok_ && size > 0) {
    if (sink_ == nullptr)
      out_write(made, size);
    else if (!output_write(sink_, made, size))
      ok_ = false;
  }
  *writing += now_seconds() - b;
}

#ifdef RENDER_THREAD
void Pipeline::set_state(Job& j, Job::State state) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    j.state = state;
  }
  (state == Job::QUEUED ? changed_ : done_).notify_all();
}

// A thread that waits sleeps: on a core the two threads share, a waiting
// one that kept looking would take the time the other needs to get on.
void Pipeline::wait_free(Job& j) {
  if (j.state.load(std::memory_order_acquire) == Job::FREE) return;
  std::unique_lock<std::mutex> hold(lock_);
  done_.wait(hold, [&] { return j.state == Job::FREE; });
}

void Pipeline::work() {
  double rendering = 0, writing = 0;
  for (size_t k = 0;; k++) {
    Job& j = slots_[k % slots];
    if (j.state.load(std::memory_order_acquire) != Job::QUEUED) {
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
#else
void Pipeline::set_state(Job& j, Job::State state) {
  j.state = state;
}

void Pipeline::wait_free(Job&) {}
#endif

size_t render_lines(const wyn::Document& doc, size_t from, size_t to, const char* encoding,
                    bool coloured, long* line, Pipeline* out, Clock* t, bool wait) {
  size_t n = doc.size();
  assert(from <= to && to <= n && *line >= 1);
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
