/*
** Pattern search in the editor's own dialect, built on PCRE2.
** Placeholder until the translating search lands: finds nothing.
*/
#include "search.h"

namespace cw {

bool pattern_search(const char* text, size_t length, unsigned long long generation,
                    size_t cursor, const char* pattern, bool backward, size_t* out)
{
    (void)text; (void)length; (void)generation; (void)cursor;
    (void)pattern; (void)backward; (void)out;
    return false;
}

}  // namespace cw
