/*
** Byte-position indexes for the pattern search: a search that splits its
** pattern at a closure over everything looks up here where the literal
** after that closure occurs, instead of letting the closure scan for it.
*/
#include "literal_index.h"

#include <string.h>

namespace cw {

const std::vector<size_t>& LiteralIndexes::find(unsigned char literal, const char* text,
                                                size_t length, unsigned long long generation) {
  Index* x;
  for (Index& kept : slots_)
    if (kept.valid && kept.literal == literal && kept.text == text && kept.length == length &&
        kept.generation == generation)
      return kept.at;
  x = &slots_[next_];
  next_ = (next_ + 1) % SLOTS;
  x->valid = true;
  x->literal = literal;
  x->text = text;
  x->length = length;
  x->generation = generation;
  x->at.clear();
  for (const char* q = text; (q = (const char*)memchr(q, literal, (size_t)(text + length - q)));
       q++)
    x->at.push_back((size_t)(q - text));
  return x->at;
}

}  // namespace cw
