// wyn: a script's bytes turned into the text a person is shown. The plug-in
// always sees the file's own bytes; only what is shown is decoded, from the
// file's encoding to UTF-8, and for a terminal on to the locale's charset.
#ifndef WYN_DISPLAY_H
#define WYN_DISPLAY_H

#include <string>
#include <vector>

// Text to show: valid UTF-8 and, when categories were given, one category
// per byte of it: the category of the first byte of the script's character
// it came from, so a character is never split between two colours.
struct Shown {
  std::string text;
  std::vector<signed char> cats;
};

// False, with what is wrong in *problem, when iconv knows no encoding name.
bool display_encoding_known(const char* name, std::string* problem);

// Decodes bytes for display. encoding is an iconv name, or null for UTF-8
// when bytes are well-formed UTF-8 and Windows-1252 otherwise. cats is
// empty, or holds one category per byte of bytes. What does not decode
// becomes U+FFFD, one for each byte that starts no character.
void decode_for_display(const std::string& bytes, const std::vector<signed char>& cats,
                        const char* encoding, Shown* out);
// The same for a text that comes in pieces, a line longer than a piece
// among them: the pieces decode exactly as the text would at once. When
// more follows, the last few bytes of a piece, which may be part of a
// character (and a CR, which may be half of a CR LF), are left for the next
// one; a stateful encoding's shift state goes on from piece to piece.
class Decoder {
 public:
  // As decode_for_display takes it; null is settled by the first piece.
  explicit Decoder(const char* encoding);
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  // Decodes the start of bytes into *out (emptied first); answers how many
  // bytes it took: all of them unless more.
  size_t decode(const std::string& bytes, const std::vector<signed char>& cats, bool more,
                Shown* out);

 private:
  const char* encoding_;  // null until the first piece decides it
  void* cd_ = nullptr;    // iconv's descriptor, opened on the first piece that needs it
  bool table_ = false;    // a single-byte encoding: table_of_ maps each byte
  unsigned table_of_[256];
};

// What decode_for_display takes a null encoding as, for a script whose
// bytes are (or are not) well-formed UTF-8 throughout.
const char* display_encoding_of(bool valid_utf8);

// True when no byte of text has its high bit set.
bool is_ascii(const std::string& text);
// True when encoding (an iconv name, or null as decode_for_display takes
// it) shows every ASCII byte as that same character, as UTF-8 and the
// common single-byte code pages do.
bool display_keeps_ascii(const char* encoding);

// Converts UTF-8 text to the charset of the user's locale (LC_CTYPE), as a
// terminal expects it; a character the charset lacks becomes its nearest
// transliteration or '?'. Nothing changes under a UTF-8 locale.
void to_terminal_charset(std::string* text);

#endif
