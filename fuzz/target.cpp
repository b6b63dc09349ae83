// The one main of every fuzz program: the build names the target
// (WYN_FUZZ_TARGET, e.g. "colour"), whose driver in support/harness.h says
// what is called and checked; a fault it reports aborts the run.
#include <stdio.h>
#include <stdlib.h>

#include "support/harness.h"

#ifndef WYN_FUZZ_TARGET
#error "WYN_FUZZ_TARGET names the target this program drives"
#endif

static fuzz::driver run;  // written once by LLVMFuzzerInitialize

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  run = fuzz::driver_named(WYN_FUZZ_TARGET);
  if (!run) {
    fprintf(stderr, "fuzz: no target named %s\n", WYN_FUZZ_TARGET);
    abort();
  }
  atexit(fuzz::release_at_exit);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const char* fault = run(data, size)) {
    fprintf(stderr, "fuzz_%s: %s\n", WYN_FUZZ_TARGET, fault);
    abort();
  }
  return 0;
}
