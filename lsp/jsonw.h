// Writing the large replies (completion lists, symbols, folding ranges)
// straight into their JSON text: building a JSON tree of thousands of small
// objects first costs more than the work behind them. Strings are escaped
// and always come out as valid UTF-8.
#ifndef WYN_LSP_JSONW_H
#define WYN_LSP_JSONW_H

#include <stdint.h>

#include <string>
#include <string_view>

#include "text.h"

namespace wyn::lsp {

// Appends s as a JSON string; a byte that is no part of well-formed UTF-8
// becomes U+FFFD.
void write_string(std::string* out, std::string_view s);
void write_uint(std::string* out, uint64_t v);
// Writes v in decimal at p, at most 10 bytes; the end of what it wrote.
// For arrays of many small numbers written into a buffer of their own.
char* put_uint(char* p, uint32_t v);
void write_position(std::string* out, Position p);
void write_range(std::string* out, Position a, Position b);

}  // namespace wyn::lsp

#endif
