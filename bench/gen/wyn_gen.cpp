// wyn_gen BYTES [SEED [real]]: writes BYTES of generated WYN script to
// stdout, the same text the benchmarks colour, so scripts can measure the
// tool on inputs of any size (K, M and G suffixes: KiB, MiB, GiB). Written
// a piece at a time, so a gigabyte costs no more memory than a megabyte.
// With "real", routines as their authors write them (every block closed,
// nothing for a checker to find), cut at a routine's end, rather than
// block words at random.
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "support/wyn_text.h"

int main(int argc, char** argv) {
  bool real = argc == 4 && std::string(argv[3]) == "real";
  if (argc < 2 || argc > 4 || (argc == 4 && !real)) {
    fprintf(stderr, "usage: wyn_gen BYTES [SEED [real]]\n");
    return 2;
  }
  char* end = nullptr;
  unsigned long long bytes = strtoull(argv[1], &end, 10);
  if (*end == 'K' || *end == 'k') bytes <<= 10, end++;
  if (*end == 'M' || *end == 'm') bytes <<= 20, end++;
  if (*end == 'G' || *end == 'g') bytes <<= 30, end++;
  if (*end != 0) {
    fprintf(stderr, "wyn_gen: bad size '%s'\n", argv[1]);
    return 2;
  }
  uint64_t seed = argc >= 3 ? strtoull(argv[2], nullptr, 10) : 7;
  // Pieces of whole lines from one seed after another; the first piece is
  // the benchmarks' own text when BYTES is at most a piece.
  const size_t piece = 16u << 20;
  for (unsigned long long written = 0; written < bytes; seed++) {
    size_t want = bytes - written < piece ? (size_t)(bytes - written) : piece;
    std::string text;
    if (real) {
      // About 30 bytes a line; whole routines only.
      text = wyn_text::generate_real(seed, want / 30 + 1);
      size_t cut = text.size() > want ? text.rfind("\n\n", want) : std::string::npos;
      if (cut != std::string::npos) text.resize(cut + 2);
    } else {
      text = wyn_text::generate(seed, want);
    }
    if (text.size() > want) text.resize(want);
    if (fwrite(text.data(), 1, text.size(), stdout) != text.size()) return 1;
    written += text.size();
    if (text.empty()) break;
  }
  return fflush(stdout) == 0 ? 0 : 1;
}
