// wyn_gen BYTES [SEED]: writes BYTES of generated WYN script to stdout, the
// same text the benchmarks colour, so scripts can measure the tool on
// inputs of any size (K, M and G suffixes: KiB, MiB, GiB). Written a piece
// at a time, so a gigabyte costs no more memory than a megabyte.
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "support/wyn_text.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: wyn_gen BYTES [SEED]\n");
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
  uint64_t seed = argc == 3 ? strtoull(argv[2], nullptr, 10) : 7;
  // Pieces of whole lines from one seed after another; the first piece is
  // the benchmarks' own text when BYTES is at most a piece.
  const size_t piece = 16u << 20;
  for (unsigned long long written = 0; written < bytes; seed++) {
    size_t want = bytes - written < piece ? (size_t)(bytes - written) : piece;
    std::string text = wyn_text::generate(seed, want);
    if (text.size() > want) text.resize(want);
    if (fwrite(text.data(), 1, text.size(), stdout) != text.size()) return 1;
    written += text.size();
    if (text.empty()) break;
  }
  return fflush(stdout) == 0 ? 0 : 1;
}
