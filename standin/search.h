/*
** Pattern search in the editor's own dialect, over a buffer's bytes.
** Used by RegexSearch; nothing here touches editor state.
*/
#ifndef CW_SEARCH_H
#define CW_SEARCH_H

#include <stddef.h>

namespace cw {

/* Searches text[0..length) for pattern. Forward: the first match beginning
** at or after cursor. Backward: the match beginning nearest at or before
** cursor. No wrap-around. On success stores the new cursor position (where
** the pattern's \c stands in the match, else the match start) in *out and
** returns true; otherwise returns false and leaves *out alone. A pattern
** that does not compile finds nothing. generation identifies the buffer's
** contents: the caller changes it whenever the bytes change, so that the
** search may keep indexes of the text between calls. */
bool pattern_search(const char* text, size_t length, unsigned long long generation, size_t cursor,
                    const char* pattern, bool backward, size_t* out);

}  // namespace cw

#endif /* CW_SEARCH_H */
