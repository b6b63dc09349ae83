// wyn: how a script's bytes stand for its text. A byte-order mark is kept
// out of the text the plug-in sees and UTF-16 is read as UTF-8, both put
// back as they were when the script is written; any other bytes reach the
// plug-in as they are, and only what is shown is decoded.
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

// Appends code point cp (at most U+10FFFF, no surrogate) as UTF-8.
void append_utf8(std::string* out, unsigned cp);

// Tells whether bytes handed over a piece at a time are UTF-8 throughout;
// a sequence cut at a piece's end is completed by the next piece.
class Utf8Watch {
 public:
  void feed(const char* data, size_t n);
  // True when everything fed is well-formed UTF-8, ending whole.
  bool valid() const { return valid_ && carry_.empty(); }

 private:
  bool valid_ = true;
  std::string carry_;  // the start of a sequence the last piece cut
};

// How a script's text is held in its file.
enum class FileForm {
  BYTES,        // as it is: UTF-8, or a code page the plug-in reads as bytes
  UTF8_BOM,     // UTF-8 after a byte-order mark
  UTF16LE_BOM,  // UTF-16 after a byte-order mark, either byte order
  UTF16BE_BOM,
  UTF16LE,  // UTF-16 without a mark (--encoding=utf-16le, utf-16be, utf-16)
  UTF16BE,
};

// What reading a script found, for writing it back and for showing it.
struct FileCoding {
  FileForm form = FileForm::BYTES;
  // Bytes that are not UTF-8, read with no --encoding: the code page they
  // are shown as (an iconv name), guessed or the default. Null otherwise.
  const char* guess = nullptr;
  bool guessed = false;  // guess is the guesser's, not the default
};

// The run's --encoding, null when none. Set once, before any script is
// read.
void encoding_choose(const char* name);
const char* encoding_chosen(void);

// True for the names under which --encoding asks for UTF-16.
bool is_utf16_name(const char* name);

// The form a script's first bytes announce (n at least 3 unless the script
// is shorter): a byte-order mark, else UTF-16 when --encoding asks for it,
// else the bytes as they are.
FileForm form_of(const char* p, size_t n);
// How many bytes form's byte-order mark takes.
size_t bom_length(FileForm form);
bool is_utf16(FileForm form);

// Decodes UTF-16 (after its mark) to UTF-8. False, with *problem saying
// where, for an odd length or an unpaired surrogate: such a file is not
// read, so it is never written back altered.
bool utf16_decode(const std::string& bytes, bool big_endian, std::string* out,
                  std::string* problem);

// The bytes that hold text in form (not BYTES): the mark put back, UTF-16
// encoded. False, with *problem saying where, when the text holds bytes
// that are not UTF-8 and so have no place in UTF-16.
bool encode_form(FileForm form, const std::string& text, std::string* out, std::string* problem);

// Guesses the code page of bytes that are not UTF-8, fed a piece at a
// time. Where no guesser is built in, the bytes hold too few characters
// past ASCII to tell code pages apart, or it names nothing usable (no code
// page iconv knows, or UTF-8 or UTF-16 the bytes are not), there is no
// guess.
class CodePageGuess {
 public:
  CodePageGuess();
  ~CodePageGuess();
  CodePageGuess(const CodePageGuess&) = delete;
  CodePageGuess& operator=(const CodePageGuess&) = delete;
  void feed(const char* data, size_t n);
  // The guess as an iconv name, kept for the run; null for none.
  const char* result();

 private:
  // Unused where the tool is built without a guesser.
  [[maybe_unused]] void* detector_ = nullptr;
  [[maybe_unused]] size_t high_ = 0;  // bytes past ASCII fed so far
};

#endif
