#!/usr/bin/env bash
# Hostile text: builds the stand-in editor, the plug-in and the tests with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs the whole test
# suite on them, then builds the libFuzzer targets and runs each for a short
# fixed number of runs on its committed corpus. Build folders default to the
# presets' own; WYN_ASAN_BUILD and WYN_FUZZ_BUILD name others.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/lib.sh
install_missing clang libclang-rt-14-dev   # clang and libFuzzer's runtime

jobs=$(nproc 2>/dev/null || echo 2)
asan=${WYN_ASAN_BUILD:-build/linux-asan}
fuzz=${WYN_FUZZ_BUILD:-build/fuzz}

echo "== Sanitizer build"
cmake --preset linux-asan -B "$asan" >/dev/null
cmake --build "$asan" --target wyn_tests wyn_tool wyn_lsp_transcript -j "$jobs"
echo "== Sanitizer tests"
# As the linux-asan test preset, in whichever folder: the tool's own tests
# (real processes, a browser) are left to the normal run.
(cd "$asan" &&
  ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j "$jobs" -LE tool -E '_NOT_BUILT$')

echo "== Fuzz build"
cmake --preset fuzz -B "$fuzz" >/dev/null
cmake --build "$fuzz" --target wyn_fuzzers -j "$jobs"
echo "== Fuzz runs"
(cd "$fuzz" && ctest --output-on-failure -L fuzz)
