// wyn: the script's bytes as text for display. The plug-in always sees the
// file's own bytes; only what is shown is converted.
#ifndef WYN_ENCODING_H
#define WYN_ENCODING_H

#include <stddef.h>

#include <string>

// Length of the well-formed UTF-8 sequence that starts at p (at most n
// bytes), or 0 when none does: a lead byte C2..F4, the right number of
// continuation bytes, no overlong form, no surrogate, nothing past U+10FFFF.
size_t utf8_sequence_length(const unsigned char* p, size_t n);

// True when every byte of text belongs to a well-formed UTF-8 sequence.
bool is_valid_utf8(const std::string& text);

#endif
