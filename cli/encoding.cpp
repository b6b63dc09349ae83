// Telling well-formed UTF-8 from the rest, byte for byte as the standard
// draws the line, so a page that passes our bytes on stays valid UTF-8;
// byte-order marks and UTF-16 taken off on reading and put back on
// writing; and the guess at a code page for what is not UTF-8.
#include "encoding.h"

#include <assert.h>
#include <iconv.h>
#include <string.h>
#include <strings.h>

#include <set>

#ifdef WYN_HAVE_UCHARDET
#include <uchardet.h>
#endif

size_t utf8_sequence_length(const unsigned char* p, size_t n) {
  if (n == 0 || p[0] < 0x80) return n == 0 ? 0 : 1;
  size_t len = p[0] >= 0xC2 && p[0] <= 0xDF   ? 2
               : p[0] >= 0xE0 && p[0] <= 0xEF ? 3
               : p[0] >= 0xF0 && p[0] <= 0xF4 ? 4
                                              : 0;  // 80..C1: no lead; F5..FF: never UTF-8
  if (len == 0 || len > n) return 0;
  // The second byte's range closes the gaps the lead byte leaves open:
  // overlong three- and four-byte forms, surrogates, and past U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (p[0] == 0xE0) low = 0xA0;
  if (p[0] == 0xED) high = 0x9F;
  if (p[0] == 0xF0) low = 0x90;
  if (p[0] == 0xF4) high = 0x8F;
  if (p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < len; i++)
    if ((p[i] & 0xC0) != 0x80) return 0;
  return len;
}

bool is_valid_utf8(const std::string& text) {
  const unsigned char* p = (const unsigned char*)text.data();
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    if (p[i] < 0x80) {  // ASCII needs no sequence check
      i++;
      continue;
    }
    size_t len = utf8_sequence_length(p + i, n - i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

void append_utf8(std::string* out, unsigned cp) {
  assert(cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF));
  if (cp < 0x80) {
    *out += (char)cp;
  } else if (cp < 0x800) {
    *out += (char)(0xC0 | (cp >> 6));
    *out += (char)(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += (char)(0xE0 | (cp >> 12));
    *out += (char)(0x80 | ((cp >> 6) & 0x3F));
    *out += (char)(0x80 | (cp & 0x3F));
  } else {
    *out += (char)(0xF0 | (cp >> 18));
    *out += (char)(0x80 | ((cp >> 12) & 0x3F));
    *out += (char)(0x80 | ((cp >> 6) & 0x3F));
    *out += (char)(0x80 | (cp & 0x3F));
  }
}

namespace {

// How long the sequence lead byte b starts should be; 0 for no lead byte.
size_t lead_length(unsigned char b) {
  return b < 0x80                 ? 1
         : b >= 0xC2 && b <= 0xDF ? 2
         : b >= 0xE0 && b <= 0xEF ? 3
         : b >= 0xF0 && b <= 0xF4 ? 4
                                  : 0;
}

// The run's --encoding.
const char* chosen = nullptr;

}  // namespace

void Utf8Watch::feed(const char* data, size_t n) {
  if (!valid_) return;
  const unsigned char* p = (const unsigned char*)data;
  size_t i = 0;
  if (!carry_.empty()) {
    size_t want = lead_length((unsigned char)carry_[0]);
    while (carry_.size() < want && i < n) carry_ += (char)p[i++];
    if (carry_.size() < want) return;  // still cut: the next piece goes on
    valid_ = utf8_sequence_length((const unsigned char*)carry_.data(), want) == want;
    carry_.clear();
    if (!valid_) return;
  }
  while (i < n) {
    if (p[i] < 0x80) {
      i++;
      continue;
    }
    size_t len = utf8_sequence_length(p + i, n - i);
    if (len != 0) {
      i += len;
      continue;
    }
    size_t want = lead_length(p[i]);
    if (want == 0 || i + want <= n) {
      valid_ = false;
      return;
    }
    carry_.assign((const char*)p + i, n - i);  // checked once the rest comes
    return;
  }
}

void encoding_choose(const char* name) {
  chosen = name;
}

const char* encoding_chosen(void) {
  return chosen;
}

bool is_utf16_name(const char* name) {
  return name != nullptr && (!strcasecmp(name, "UTF-16") || !strcasecmp(name, "UTF16") ||
                             !strcasecmp(name, "UTF-16LE") || !strcasecmp(name, "UTF-16BE"));
}

FileForm form_of(const char* p, size_t n) {
  const unsigned char* b = (const unsigned char*)p;
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return FileForm::UTF8_BOM;
  if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) return FileForm::UTF16LE_BOM;
  if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) return FileForm::UTF16BE_BOM;
  if (!is_utf16_name(chosen)) return FileForm::BYTES;
  // Scripts come from Windows: plain "utf-16" without a mark is its order.
  return !strcasecmp(chosen, "UTF-16BE") ? FileForm::UTF16BE : FileForm::UTF16LE;
}

size_t bom_length(FileForm form) {
  switch (form) {
    case FileForm::UTF8_BOM:
      return 3;
    case FileForm::UTF16LE_BOM:
    case FileForm::UTF16BE_BOM:
      return 2;
    default:
      return 0;
  }
}

bool is_utf16(FileForm form) {
  return form == FileForm::UTF16LE_BOM || form == FileForm::UTF16BE_BOM ||
         form == FileForm::UTF16LE || form == FileForm::UTF16BE;
}

bool utf16_decode(const std::string& bytes, bool big_endian, std::string* out,
                  std::string* problem) {
  const unsigned char* p = (const unsigned char*)bytes.data();
  size_t n = bytes.size();
  if (n % 2 != 0) {
    *problem = "not UTF-16: an odd number of bytes";
    return false;
  }
  out->clear();
  out->reserve(n / 2 + n / 4);
  auto unit = [&](size_t i) -> unsigned {
    return big_endian ? (unsigned)p[i] << 8 | p[i + 1] : (unsigned)p[i + 1] << 8 | p[i];
  };
  for (size_t i = 0; i < n; i += 2) {
    unsigned u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 2 < n) {
      unsigned low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      *problem = "not UTF-16: an unpaired surrogate at byte " + std::to_string(i);
      return false;
    }
    append_utf8(out, u);
  }
  return true;
}

bool encode_form(FileForm form, const std::string& text, std::string* out, std::string* problem) {
  assert(form != FileForm::BYTES);
  static const char utf8_bom[] = "\xEF\xBB\xBF";
  out->clear();
  if (form == FileForm::UTF8_BOM) {
    out->reserve(text.size() + 3);
    *out = utf8_bom;
    *out += text;
    return true;
  }
  bool big = form == FileForm::UTF16BE_BOM || form == FileForm::UTF16BE;
  out->reserve(2 * text.size() + 2);
  auto put = [&](unsigned u) {
    *out += (char)(big ? u >> 8 : u & 0xFF);
    *out += (char)(big ? u & 0xFF : u >> 8);
  };
  if (bom_length(form) != 0) put(0xFEFF);
  const unsigned char* p = (const unsigned char*)text.data();
  size_t n = text.size();
  long line = 1;
  for (size_t i = 0; i < n;) {
    size_t len = utf8_sequence_length(p + i, n - i);
    if (len == 0) {
      *problem = "line " + std::to_string(line) +
                 " holds bytes that are not UTF-8, which UTF-16 cannot hold";
      return false;
    }
    unsigned cp = len == 1   ? p[i]
                  : len == 2 ? (p[i] & 0x1Fu) << 6 | (p[i + 1] & 0x3Fu)
                  : len == 3 ? (p[i] & 0x0Fu) << 12 | (p[i + 1] & 0x3Fu) << 6 | (p[i + 2] & 0x3Fu)
                             : (p[i] & 0x07u) << 18 | (p[i + 1] & 0x3Fu) << 12 |
                                   (p[i + 2] & 0x3Fu) << 6 | (p[i + 3] & 0x3Fu);
    if (p[i] == '\n') line++;
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
    i += len;
  }
  return true;
}

#ifdef WYN_HAVE_UCHARDET
namespace {

// A guess from a word or two with an accent is a coin toss between the
// code pages that share those letters: below this many bytes past ASCII,
// the default stands.
const size_t least_high = 16;

}  // namespace

CodePageGuess::CodePageGuess() : detector_(uchardet_new()) {}

CodePageGuess::~CodePageGuess() {
  if (detector_ != nullptr) uchardet_delete(static_cast<uchardet_t>(detector_));
}

void CodePageGuess::feed(const char* data, size_t n) {
  if (detector_ == nullptr) return;
  for (size_t i = 0; i < n && high_ < least_high; i++) high_ += (unsigned char)data[i] >= 0x80;
  uchardet_handle_data(static_cast<uchardet_t>(detector_), data, n);
}

const char* CodePageGuess::result() {
  if (detector_ == nullptr || high_ < least_high) return nullptr;
  uchardet_t detector = static_cast<uchardet_t>(detector_);
  uchardet_data_end(detector);
  std::string name = uchardet_get_charset(detector);
  // Bytes that are not UTF-8 hold no UTF-8 or ASCII, and UTF-16 or UTF-32
  // without a mark is not what a script is: such a guess is no guess.
  if (name.empty() || !strncasecmp(name.c_str(), "UTF", 3) || !strcasecmp(name.c_str(), "ASCII"))
    return nullptr;
  // Bytes 80..9F are no Latin-1 character but are Windows-1252's, which
  // shows every other byte alike: the guess that holds for more text.
  if (!strcasecmp(name.c_str(), "ISO-8859-1")) name = "WINDOWS-1252";
  iconv_t cd = iconv_open("UTF-32LE", name.c_str());
  if (cd == (iconv_t)-1) return nullptr;
  iconv_close(cd);
  static std::set<std::string> names;  // each guess once, for the whole run
  return names.insert(name).first->c_str();
}
#else
CodePageGuess::CodePageGuess() {}
CodePageGuess::~CodePageGuess() {}
void CodePageGuess::feed(const char*, size_t) {}
const char* CodePageGuess::result() {
  return nullptr;
}
#endif
