// The part of iconv the tool uses, on Windows: decoding a code page named
// as iconv names it to UTF-32LE with the system's own converters
// (platform/iconv_win32.cpp). Stateless code pages only; other conversions
// cannot be opened.
#ifndef WYN_TOOLS_WIN32_ICONV_H
#define WYN_TOOLS_WIN32_ICONV_H

#include <stddef.h>

typedef struct wyn_iconv* iconv_t;

iconv_t iconv_open(const char* to, const char* from);
size_t iconv(iconv_t cd, char** in, size_t* in_left, char** out, size_t* out_left);
int iconv_close(iconv_t cd);

#endif
