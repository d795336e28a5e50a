#!/usr/bin/env bash
# Builds riruride and runs every test: the native unit and end-to-end tests,
# then each further leg whose tools this machine has. A leg that cannot run
# here says so and is skipped; any failing leg fails the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)

echo "== native build and tests"
cmake --preset default
cmake --build --preset default --parallel "$jobs"
ctest --preset default --parallel "$jobs"

# The benchmark's generator and script on small sources: proves they work; the
# real measurement (256 MiB) is bench/run_bench.py, see the README.
if [ ! -x /usr/bin/time ]; then
  echo "== benchmark smoke run skipped: no GNU time at /usr/bin/time (Debian: time)"
else
  echo "== benchmark smoke run (2 MiB and 1 MiB sources, no target judged)"
  python3 bench/run_bench.py build/riruride --work build/bench-smoke \
    --mib 2 --small-mib 1 --repeat 3 --smoke
fi

# --- hardening: sanitizers and the fuzzer -------------------------------------
echo "== sanitizer build and tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake --preset asan
cmake --build --preset asan --parallel "$jobs"
ctest --preset asan --parallel "$jobs"

# The fuzzer needs clang with libFuzzer (Debian: clang, libclang-rt-14-dev).
fuzz_skip=""
if ! command -v clang++ >/dev/null; then
  fuzz_skip="clang++ not found"
else
  fuzz_probe=$(mktemp -d)
  printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
    'extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' \
    > "$fuzz_probe/probe.cpp"
  if ! clang++ -fsanitize=fuzzer,address,undefined "$fuzz_probe/probe.cpp" \
       -o "$fuzz_probe/probe" 2>/dev/null; then
    fuzz_skip="clang++ cannot link libFuzzer (libclang-rt-14-dev missing?)"
  fi
  rm -rf "$fuzz_probe"
fi
if [ -n "$fuzz_skip" ]; then
  echo "== fuzzer skipped: $fuzz_skip"
else
  echo "== fuzzer: 60 s on a copy of the seed corpus"
  cmake --preset fuzz
  cmake --build --preset fuzz --parallel "$jobs"
  # Each input is a whole run with files: keep them in memory when possible.
  fuzz_base=/dev/shm
  [ -d "$fuzz_base" ] && [ -w "$fuzz_base" ] || fuzz_base=${TMPDIR:-/tmp}
  fuzz_scratch=$(mktemp -d "$fuzz_base/riruride-fuzz-ci-XXXXXX")
  mkdir "$fuzz_scratch/corpus" "$fuzz_scratch/tmp"
  cp fuzz/corpus/* "$fuzz_scratch/corpus/"
  mkdir -p build-fuzz/artifacts
  fuzz_status=0
  TMPDIR="$fuzz_scratch/tmp" build-fuzz/fuzz/riruride_fuzz \
    -max_total_time=60 -max_len=8192 -close_fd_mask=2 -print_final_stats=1 \
    -dict=fuzz/riruride.dict -artifact_prefix="$PWD/build-fuzz/artifacts/" \
    "$fuzz_scratch/corpus" || fuzz_status=$?
  rm -rf "$fuzz_scratch"
  if [ "$fuzz_status" -ne 0 ]; then
    echo "== fuzzer FAILED: the input is saved in build-fuzz/artifacts/" >&2
    exit "$fuzz_status"
  fi
fi

# --- Windows: riruride.exe cross-built with MinGW-w64, tested under Wine ------
# Debian: g++-mingw-w64-x86-64, wine, and the GoogleTest sources (googletest).
# The end-to-end run also compares riruride.exe's documents byte for byte with
# those of the native build above.
win_skip=""
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  win_skip="x86_64-w64-mingw32-g++-posix not found (Debian: g++-mingw-w64-x86-64)"
elif ! command -v wine >/dev/null || ! command -v wineserver >/dev/null; then
  win_skip="wine not found (Debian: wine)"
elif [ ! -f /usr/src/googletest/CMakeLists.txt ]; then
  win_skip="no GoogleTest sources in /usr/src/googletest (Debian: googletest)"
fi
if [ -n "$win_skip" ]; then
  echo "== Windows leg skipped: $win_skip"
else
  echo "== Windows leg: riruride.exe cross-built with MinGW-w64, tests under Wine"
  cmake --preset windows -DRIRURIDE_LINUX_RIRURIDE="$PWD/build/riruride"
  cmake --build --preset windows --parallel "$jobs"
  ctest --preset windows
fi
