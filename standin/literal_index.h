/*
** Where one byte occurs in a buffer: the ascending positions, built once
** per buffer generation and kept for the searches that follow.
*/
#ifndef CW_LITERAL_INDEX_H
#define CW_LITERAL_INDEX_H

#include <stddef.h>

#include <vector>

namespace cw {

/* A few indexes, each of one byte in one text of one generation; the
** oldest gives way when a new one is needed. */
class LiteralIndexes {
 public:
  /* The ascending positions of literal in text[0..length), kept or built
  ** now. The caller changes generation whenever the bytes at text change.
  ** The answer stays valid until the next call. */
  const std::vector<size_t>& find(unsigned char literal, const char* text, size_t length,
                                  unsigned long long generation);

 private:
  enum { SLOTS = 4 };
  struct Index {
    bool valid;
    unsigned char literal;
    const char* text;
    size_t length;
    unsigned long long generation;
    std::vector<size_t> at;
  };
  Index slots_[SLOTS] = {};
  int next_ = 0; /* slot replaced next */
};

}  // namespace cw

#endif /* CW_LITERAL_INDEX_H */
