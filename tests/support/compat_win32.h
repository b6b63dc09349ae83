// Forced into every test source of the Windows build: the few POSIX
// helpers the tests use that the Windows C library lacks.
#ifndef WYN_TESTS_COMPAT_WIN32_H
#define WYN_TESTS_COMPAT_WIN32_H

#if defined(_WIN32)

// The POSIX re-entrant generator: the same recurrence on every platform is
// not needed, only a deterministic sequence per seed.
static inline int rand_r(unsigned int* seed) {
  *seed = *seed * 1103515245u + 12345u;
  return (int)((*seed / 65536u) % 32768u);
}

#endif

#endif
