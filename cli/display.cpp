// Decoding a script's bytes for display with glibc's iconv, keeping each
// shown character in the colour the plug-in gave its first byte.
#include "display.h"

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <stdint.h>
#include <string.h>
#include <strings.h>

#include "encoding.h"

namespace {

const char fallback_encoding[] = "WINDOWS-1252";
const unsigned replacement = 0xFFFD;

bool is_utf8_name(const char* name) {
  return !strcasecmp(name, "UTF-8") || !strcasecmp(name, "UTF8");
}

// Appends one shown character and, when there are categories, its
// category once for each byte it took.
void put(Shown* out, unsigned cp, const std::vector<signed char>& cats, size_t from) {
  size_t before = out->text.size();
  // iconv never yields surrogates or values past U+10FFFF; a decoder that
  // did would make the page invalid, so they are replaced too.
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = replacement;
  append_utf8(&out->text, cp);
  if (!cats.empty()) out->cats.insert(out->cats.end(), out->text.size() - before, cats[from]);
}

// Whether decoding a piece stops at p[i], when more of the text follows:
// within keep bytes of the piece's end a character may be cut in two, and a
// CR just before them may be half of a CR LF. keep is at least as long as
// the longest character, shift sequences included, so that what is decoded
// before is what the whole text decodes there.
bool held(const unsigned char* p, size_t i, size_t n, size_t keep) {
  return n - i < keep || (p[i] == '\r' && n - i <= keep);
}

// Where a piece's bytes need no such check: below it, nothing is held.
size_t unheld_end(size_t n, bool more, size_t keep) {
  return !more ? n : n > keep ? n - keep : 0;
}

// Well-formed UTF-8 passes as it is; a byte that starts no sequence is
// shown as U+FFFD. Answers how many bytes it took.
size_t decode_utf8(const std::string& bytes, const std::vector<signed char>& cats, bool more,
                   Shown* out) {
  const unsigned char* p = (const unsigned char*)bytes.data();
  size_t n = bytes.size(), keep = 4, safe = unheld_end(n, more, keep);
  for (size_t i = 0; i < n;) {
    if (i >= safe && more && held(p, i, n, keep)) return i;
    if (p[i] < 0x80) {  // ASCII, the bulk of a script: a run at a time
      size_t j = i + 1;
      while (j < safe && p[j] < 0x80) j++;
      out->text.append(bytes, i, j - i);
      if (!cats.empty())
        out->cats.insert(out->cats.end(), cats.begin() + (ptrdiff_t)i, cats.begin() + (ptrdiff_t)j);
      i = j;
      continue;
    }
    size_t len = utf8_sequence_length(p + i, n - i);
    if (len == 0) {
      put(out, replacement, cats, i);
      i++;
      continue;
    }
    out->text.append(bytes, i, len);
    if (!cats.empty()) out->cats.insert(out->cats.end(), len, cats[i]);
    i += len;
  }
  return n;
}

// One character from in (at most n bytes): its code point and how many
// bytes it took, shift sequences before it included. 0 when no character
// comes out: an invalid sequence, or the input ends inside one.
size_t next_char(iconv_t cd, const char* in, size_t n, unsigned* cp) {
  unsigned char buf[4];
  char* src = const_cast<char*>(in);
  size_t left = n;
  char* dst = (char*)buf;
  size_t room = sizeof buf;  // room for exactly one character
  iconv(cd, &src, &left, &dst, &room);
  if (room != 0) return 0;
  *cp = (unsigned)buf[0] | (unsigned)buf[1] << 8 | (unsigned)buf[2] << 16 | (unsigned)buf[3] << 24;
  return n - left;
}

// A single-byte encoding, one table lookup a byte; false for a multi-byte
// or stateful one, where some byte alone is an incomplete character.
bool byte_table(iconv_t cd, unsigned table[256]) {
  for (unsigned b = 0; b < 256; b++) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char c = (char)b;
    char* src = &c;
    size_t left = 1;
    unsigned char buf[8];
    char* dst = (char*)buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    if (r == (size_t)-1 && errno == EILSEQ) {
      table[b] = replacement;  // a byte the code page leaves undefined
      continue;
    }
    if (r == (size_t)-1 || left != 0 || sizeof buf - room != 4) return false;
    table[b] =
        (unsigned)buf[0] | (unsigned)buf[1] << 8 | (unsigned)buf[2] << 16 | (unsigned)buf[3] << 24;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  return true;
}

// A single-byte encoding: nothing is held but a CR at the end.
size_t decode_table(const unsigned table[256], const std::string& bytes,
                    const std::vector<signed char>& cats, bool more, Shown* out) {
  const unsigned char* p = (const unsigned char*)bytes.data();
  size_t n = bytes.size();
  for (size_t i = 0; i < n; i++) {
    if (more && held(p, i, n, 1)) return i;
    put(out, table[p[i]], cats, i);
  }
  return n;
}

// Any other encoding, a character at a time; the descriptor's shift state
// goes on into the next piece.
size_t decode_iconv(iconv_t cd, const std::string& bytes, const std::vector<signed char>& cats,
                    bool more, Shown* out) {
  const unsigned char* p = (const unsigned char*)bytes.data();
  size_t n = bytes.size(), keep = 16, safe = unheld_end(n, more, keep);
  for (size_t i = 0; i < n;) {
    if (i >= safe && more && held(p, i, n, keep)) return i;
    unsigned cp = 0;
    size_t took = next_char(cd, bytes.data() + i, n - i, &cp);
    if (took == 0) {  // undecodable, or cut off at the end: show the byte and go on
      put(out, replacement, cats, i);
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      i++;
      continue;
    }
    put(out, cp, cats, i);
    i += took;
  }
  return n;
}

}  // namespace

bool display_encoding_known(const char* name, std::string* problem) {
  iconv_t cd = iconv_open("UTF-32LE", name);
  if (cd == (iconv_t)-1) {
    *problem = std::string("unknown encoding ") + name + " (see iconv --list)";
    return false;
  }
  iconv_close(cd);
  return true;
}

bool is_ascii(const std::string& text) {
  // Eight bytes at a time: most scripts are ASCII throughout.
  const char* p = text.data();
  size_t n = text.size(), i = 0;
  uint64_t high = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    memcpy(&w, p + i, 8);
    high |= w;
  }
  for (; i < n; i++) high |= (unsigned char)p[i];
  return (high & 0x8080808080808080ull) == 0;
}

bool display_keeps_ascii(const char* encoding) {
  static const char* const keeping[] = {
      "UTF-8",  "UTF8",        fallback_encoding, "CP1252", "ISO-8859-1",
      "LATIN1", "ISO-8859-15", "US-ASCII",        "ASCII",  "ANSI_X3.4-1968"};
  if (encoding == nullptr) return true;
  for (const char* name : keeping)
    if (!strcasecmp(encoding, name)) return true;
  return false;
}

const char* display_encoding_of(bool valid_utf8) {
  return valid_utf8 ? "UTF-8" : fallback_encoding;
}

Decoder::Decoder(const char* encoding) : encoding_(encoding) {}

Decoder::~Decoder() {
  if (cd_ != nullptr) iconv_close(static_cast<iconv_t>(cd_));
}

size_t Decoder::decode(const std::string& bytes, const std::vector<signed char>& cats, bool more,
                       Shown* out) {
  out->text.clear();
  out->cats.clear();
  const std::vector<signed char> none;
  const std::vector<signed char>& by_byte = cats.size() == bytes.size() ? cats : none;
  out->text.reserve(bytes.size());
  if (!by_byte.empty()) out->cats.reserve(bytes.size());
  if (encoding_ == nullptr) encoding_ = is_valid_utf8(bytes) ? "UTF-8" : fallback_encoding;
  if (is_utf8_name(encoding_)) return decode_utf8(bytes, by_byte, more, out);
  if (cd_ == nullptr) {
    iconv_t cd = iconv_open("UTF-32LE", encoding_);
    if (cd == (iconv_t)-1) {  // checked up front
      encoding_ = "UTF-8";
      return decode_utf8(bytes, by_byte, more, out);
    }
    cd_ = cd;
    table_ = byte_table(cd, table_of_);
  }
  if (table_) return decode_table(table_of_, bytes, by_byte, more, out);
  return decode_iconv(static_cast<iconv_t>(cd_), bytes, by_byte, more, out);
}

void decode_for_display(const std::string& bytes, const std::vector<signed char>& cats,
                        const char* encoding, Shown* out) {
  Decoder(encoding).decode(bytes, cats, false, out);
}

void to_terminal_charset(std::string* text) {
  static const char* charset = nullptr;  // the locale's, looked up once
  if (charset == nullptr) {
    setlocale(LC_CTYPE, "");
    charset = nl_langinfo(CODESET);
  }
  if (is_utf8_name(charset)) return;
  std::string target = std::string(charset) + "//TRANSLIT";
  iconv_t cd = iconv_open(target.c_str(), "UTF-8");
  std::string out;
  out.reserve(text->size());
  const unsigned char* p = (const unsigned char*)text->data();
  size_t n = text->size();
  char buf[4096];
  for (size_t i = 0; i < n;) {
    if (cd == (iconv_t)-1) {  // a charset iconv cannot write: ASCII is safe
      size_t len = utf8_sequence_length(p + i, n - i);
      out += p[i] < 0x80 ? (char)p[i] : '?';
      i += len == 0 ? 1 : len;
      continue;
    }
    char* src = (char*)p + i;
    size_t left = n - i;
    char* dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, sizeof buf - room);
    i = n - left;
    if (r != (size_t)-1 || errno == E2BIG) continue;
    // A character with no stand-in in the charset: '?' and on to the next.
    size_t len = utf8_sequence_length(p + i, n - i);
    out += '?';
    i += len == 0 ? 1 : len;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  if (cd != (iconv_t)-1) {
    char* dst = buf;
    size_t room = sizeof buf;
    iconv(cd, nullptr, nullptr, &dst, &room);  // back to the initial shift state
    out.append(buf, sizeof buf - room);
    iconv_close(cd);
  }
  text->swap(out);
}
