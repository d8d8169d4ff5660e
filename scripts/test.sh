#!/usr/bin/env bash
# Builds everything and runs every test:
#   native (ASan + UBSan) and native-tsan: the tests, here;
#   win64: the Windows x64 build, its test executable run under wine64;
#   win32: the Windows x86 build (the shipped program), built only: 32-bit code does not run here;
#   bench: the benchmarks, built and run once briefly so that they keep building and running;
#   fuzz: every fuzz target, a few seconds on its seed corpus, so that they keep working.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
for preset in native native-tsan win64 win32 bench; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

# The sanitizers must fail the run, not just print.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"

for preset in native native-tsan win64; do
  echo "== test $preset"
  ctest --preset "$preset"
done

echo "== benchmarks, once each (figures come from a quiet machine, not from here)"
build/bench/tests/tavrin-bench --benchmark_min_time=0.01

echo "== fuzz targets, a few seconds each (campaigns: scripts/fuzz.sh SECONDS)"
FUZZ_JOBS="$jobs" bash scripts/fuzz.sh 3

echo "== smoke test: Tavrin.exe under wine64"
bash scripts/smoke.sh build/win64
