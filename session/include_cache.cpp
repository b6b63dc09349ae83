// The included files' texts and colours kept between one following of a
// script's includes and the next, each checked against the file's size
// and modification time before it is given again.
#include <sys/stat.h>

#include "includes.h"

namespace wyn {

IncludeReader IncludeCache::reader(IncludeReader inner) {
  return [this, inner](const std::string& path, std::string* text, std::vector<signed char>* cats) {
    return read(inner, path, text, cats);
  };
}

void IncludeCache::clear() {
  entries_.clear();
  held_ = 0;
}

bool IncludeCache::read(const IncludeReader& inner, const std::string& path, std::string* text,
                        std::vector<signed char>* cats) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return inner(path, text, cats);
  Entry now;
  now.size = (long long)st.st_size;
  now.seconds = (long long)st.st_mtime;
#ifndef _WIN32
  now.nanoseconds = (long long)st.st_mtim.tv_nsec;
#endif
  auto it = entries_.find(path);
  if (it != entries_.end() && it->second.size == now.size && it->second.seconds == now.seconds &&
      it->second.nanoseconds == now.nanoseconds) {
    if (!it->second.ok) return false;
    *text = it->second.text;
    *cats = it->second.cats;
    return true;
  }
  if (it != entries_.end()) {
    held_ -= it->second.text.size() + it->second.cats.size();
    entries_.erase(it);
  }
  bool ok = inner(path, text, cats);
  size_t bytes = ok ? text->size() + cats->size() : 0;
  if (bytes > budget_) return ok;
  if (held_ + bytes > budget_) clear();
  now.ok = ok;
  if (ok) {
    now.text = *text;
    now.cats = *cats;
  }
  held_ += bytes;
  entries_.emplace(path, std::move(now));
  return ok;
}

}  // namespace wyn
