// Colouring a text piece by piece, as the tool's pipeline hands a long
// file on while the rest is still being coloured: counted runs from the
// top, each checked against what a whole-buffer colouring would give, and
// coloured again from further back where it could differ.
#include <assert.h>

#include <algorithm>

#include "cwedit.h"
#include "plugin_calls.h"
#include "session.h"

namespace wyn {

void Document::colour_begin() {
  stream_next_ = 0;
  stream_held_from_ = 0;
  stream_held_.clear();
  stream_starts_.clear();
  stream_distrusted_ = false;
}

// Each run starts where the last one stopped: at a line start, or on the
// '/' that closed a block comment, where the whole-buffer colouring is in
// its plain state too. The plug-in may still back up from there to what it
// takes for the opener of an enclosing comment. From a closing '/' that is
// the comment just closed, coloured again as it was; from a line start it
// is an opener the whole-buffer run saw inside a string or a line comment,
// and the run's colours cannot be trusted. Then, and whenever a backed-up
// run changes colours already handed out, its colours go and the text is
// coloured again from the last line start where a trusted run began, at or
// before where the distrusted one went: a run from there backs up over
// nothing, as before, and goes on the way the whole-buffer run goes. It
// runs on for twice the lines it goes back over, so that the runs after it
// start out of the misleading opener's reach, or the next distrust goes
// back twice as far: the work stays linear in the text.
bool Document::colour_more(long lines, size_t* final_end, std::string* error) {
  assert(final_end != nullptr);
  select();
  size_t n = size();
  if (stream_next_ >= n) {
    *final_end = n;
    return true;
  }
  if (lines < 1) lines = 1;
  bool on_closer = stream_next_ > 0 && cw_char_at((cw_long)stream_next_ - 1) != '\n';
  cw_clear_runs();
  cw_set_scan_pos((cw_long)stream_next_);
  std::string count = std::to_string(lines);
  const char* argv[] = {count.c_str()};
  if (!call_plugin("_wyn_language_colors", 1, argv, nullptr, error)) return false;
  long end = (long)cw_scan_pos();
  cw_long low = cw_colour_low();  // where the run's first colour went
  cw_clear_runs();
  bool trusted = (size_t)end > stream_next_;
  if (trusted && low >= 0 && (size_t)low < stream_next_) {
    trusted = on_closer && (size_t)low >= stream_held_from_;
    if (trusted) {
      // Only a run that ended on a closer leaves a back-up from here
      // possible, and it held every colour from its start to its end.
      assert(stream_held_from_ + stream_held_.size() == stream_next_);
      std::vector<signed char> now(stream_next_ - (size_t)low);
      categories((size_t)low, now.size(), now.data());
      trusted = std::equal(now.begin(), now.end(),
                           stream_held_.begin() + (ptrdiff_t)((size_t)low - stream_held_from_));
    }
  }
  if (!trusted) {
    stream_distrusted_ = true;
    size_t went = low >= 0 && (size_t)low < stream_next_ ? (size_t)low : stream_next_;
    auto after = std::upper_bound(stream_starts_.begin(), stream_starts_.end(), went);
    size_t start = after == stream_starts_.begin() ? 0 : *(after - 1);
    cw_long first = cw_line_of((cw_long)start);
    cw_long last = cw_line_of((cw_long)std::max((size_t)end, stream_next_));
    ColorClear(first, last, CW_FIRST_COLUMN, CW_LAST_COLUMN, CW_CLEAR_FLAG);  // whole lines
    long again = std::min<long>(2L * (last - first + 1) + lines, (long)cw_line_count() + 1);
    end = colour_lines((long)start, again, error);
    if (end < 0) return false;
    stream_held_.clear();  // nothing to back up over unchanged
    stream_held_from_ = stream_next_ = (size_t)end;
    *final_end = stream_next_;
    return true;
  }
  if (!on_closer) stream_starts_.push_back(stream_next_);
  stream_held_from_ = stream_next_;
  // The next run can back up over these colours unchanged only from the
  // closer of a comment; from a line start any back-up is distrusted.
  bool ends_on_closer = cw_char_at((cw_long)end - 1) != '\n';
  stream_held_.resize(ends_on_closer ? (size_t)end - stream_next_ : 0);
  categories(stream_next_, stream_held_.size(), stream_held_.data());
  stream_next_ = (size_t)end;
  *final_end = stream_next_;
  return true;
}

bool Document::distrusted_a_run() const {
  return stream_distrusted_;
}

}  // namespace wyn
