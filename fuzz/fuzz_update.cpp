// Fuzz target: range re-colouring.
// harness.h says what is driven and what is checked.
#include <stdio.h>
#include <stdlib.h>

#include "harness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  atexit(fuzz::release_at_exit);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const char* fault = fuzz::run_update(data, size)) {
    fprintf(stderr, "fuzz_update: %s\n", fault);
    abort();
  }
  return 0;
}
