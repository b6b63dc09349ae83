// Decoding code pages on Windows for display: iconv's names mapped to the
// system's code page numbers, one character at a time through
// MultiByteToWideChar, with iconv's way of telling an invalid sequence
// (EILSEQ) from one cut off at the end of the input (EINVAL).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <errno.h>
#include <iconv.h>
#include <stdlib.h>
#include <string.h>

#include <string>

struct wyn_iconv {
  UINT cp;
  unsigned longest;  // bytes in the longest character of the code page
};

namespace {

// Names iconv takes for the code pages a script is written in; any other
// is CPnnn, WINDOWS-nnn or IBMnnn.
const struct {
  const char* name;
  UINT cp;
} known_names[] = {
    {"UTF-8", 65001},      {"UTF8", 65001},       {"LATIN1", 28591},     {"L1", 28591},
    {"ISO-8859-1", 28591}, {"ISO8859-1", 28591},  {"ISO_8859-1", 28591}, {"ISO-8859-2", 28592},
    {"ISO-8859-5", 28595}, {"ISO-8859-7", 28597}, {"ISO-8859-9", 28599}, {"ISO-8859-15", 28605},
    {"LATIN2", 28592},     {"LATIN9", 28605},     {"GBK", 936},          {"GB2312", 936},
    {"CP936", 936},        {"GB18030", 54936},    {"BIG5", 950},         {"SHIFT_JIS", 932},
    {"SJIS", 932},         {"EUC-JP", 20932},     {"EUC-KR", 51949},     {"KOI8-R", 20866},
    {"KOI8-U", 21866},     {"ASCII", 20127},      {"US-ASCII", 20127},   {"MACINTOSH", 10000},
};

UINT code_page_of(std::string name) {
  size_t slashes = name.find("//");
  if (slashes != std::string::npos) name.erase(slashes);
  for (char& c : name) c = (char)toupper((unsigned char)c);
  for (const auto& k : known_names)
    if (name == k.name) return k.cp;
  for (const char* prefix : {"CP", "WINDOWS-", "IBM", "MS"}) {
    size_t n = strlen(prefix);
    if (name.compare(0, n, prefix) != 0 || name.size() == n) continue;
    if (name.find_first_not_of("0123456789", n) != std::string::npos) return 0;
    return (UINT)strtoul(name.c_str() + n, nullptr, 10);
  }
  return 0;
}

// One character from the first n bytes of in: its code point and length,
// 0 when no prefix of up to longest bytes decodes.
size_t decode_one(const wyn_iconv* cd, const char* in, size_t n, unsigned* cp) {
  for (size_t len = 1; len <= cd->longest && len <= n; len++) {
    wchar_t w[2];
    int got = MultiByteToWideChar(cd->cp, MB_ERR_INVALID_CHARS, in, (int)len, w, 2);
    // Windows' own code pages (874, 125x) turn the bytes they leave
    // undefined into C1 controls; they are no characters there.
    bool windows_cp = cd->cp == 874 || (cd->cp >= 1250 && cd->cp <= 1258);
    if (got == 1 && windows_cp && w[0] >= 0x80 && w[0] <= 0x9F) return 0;
    if (got == 1 && (w[0] < 0xD800 || w[0] > 0xDFFF)) {
      *cp = w[0];
      return len;
    }
    if (got == 2 && w[0] >= 0xD800 && w[0] <= 0xDBFF && w[1] >= 0xDC00 && w[1] <= 0xDFFF) {
      *cp = 0x10000 + (((unsigned)w[0] - 0xD800) << 10) + ((unsigned)w[1] - 0xDC00);
      return len;
    }
  }
  return 0;
}

}  // namespace

iconv_t iconv_open(const char* to, const char* from) {
  UINT cp = code_page_of(from);
  CPINFO info;
  if (strcmp(to, "UTF-32LE") != 0 || cp == 0 || !IsValidCodePage(cp) || !GetCPInfo(cp, &info)) {
    errno = EINVAL;
    return (iconv_t)-1;
  }
  return new wyn_iconv{cp, info.MaxCharSize < 1 ? 1u : (unsigned)info.MaxCharSize};
}

size_t iconv(iconv_t cd, char** in, size_t* in_left, char** out, size_t* out_left) {
  if (in == nullptr || *in == nullptr) return 0;  // no shift state to reset
  while (*in_left > 0) {
    if (*out_left < 4) {
      errno = E2BIG;
      return (size_t)-1;
    }
    unsigned cp = 0;
    size_t took = decode_one(cd, *in, *in_left, &cp);
    if (took == 0) {
      // Too few bytes to tell: perhaps a character cut off by the end.
      bool lead = *in_left == 1 && IsDBCSLeadByteEx(cd->cp, (BYTE) * *in);
      bool short_tail = *in_left < cd->longest && (lead || *in_left > 1 || cd->longest > 2);
      errno = short_tail ? EINVAL : EILSEQ;
      return (size_t)-1;
    }
    for (int k = 0; k < 4; k++) (*out)[k] = (char)((cp >> (8 * k)) & 0xFF);
    *out += 4;
    *out_left -= 4;
    *in += took;
    *in_left -= took;
  }
  return 0;
}

int iconv_close(iconv_t cd) {
  delete cd;
  return 0;
}
