// The step guard of the fuzz programs: the plug-in's calls of the host
// operations every loop of it makes reach these wrappers first (the link
// names them with --wrap), which stop the run once the call under way has
// made more host calls than its text allows. An endless loop is reported
// where it spins, at once and without timing.
#include <stdio.h>
#include <stdlib.h>

#include "support/harness.h"

static void step(const char* op) {
  if (cw_call_count() <= fuzz::step_limit) return;
  fprintf(stderr, "step guard: %s beyond %llu host calls; the plug-in does not stop\n", op,
          fuzz::step_limit);
  abort();
}

#define GUARD0(op)                       \
  extern "C" cw_long __real_##op(void);  \
  extern "C" cw_long __wrap_##op(void) { \
    step(#op);                           \
    return __real_##op();                \
  }
#define GUARD1(op)                            \
  extern "C" cw_long __real_##op(cw_long);    \
  extern "C" cw_long __wrap_##op(cw_long a) { \
    step(#op);                                \
    return __real_##op(a);                    \
  }

// ORDER: the --wrap list in fuzz/CMakeLists.txt.
GUARD0(ScanNext)
GUARD0(ScanPrev)
GUARD0(ScanChar)
GUARD0(ScanPrevLine)
GUARD0(ScanLineLastChar)
GUARD1(ScanLineDown)
GUARD1(ScanSetPos)
GUARD1(CursorDown)

extern "C" cw_long __real_RegexSearch(const char*, cw_long, cw_long);
extern "C" cw_long __wrap_RegexSearch(const char* pattern, cw_long flags, cw_long reserved) {
  step("RegexSearch");
  return __real_RegexSearch(pattern, flags, reserved);
}
