#!/usr/bin/env bash
# Builds everything and runs every test:
#   native (ASan + UBSan) and native-tsan: the tests, here;
#   win64: the Windows x64 build, its test executable run under wine64;
#   win32: the Windows x86 build (the shipped program), its test executable run under 32-bit wine
#     through QEMU's user-mode emulator (scripts/wine32.sh), beside the stages after the builds;
#   bench: the benchmarks, built and run once briefly so that they keep building and running;
#   fuzz: every fuzz target, a few seconds on its seed corpus, so that they keep working;
#   linux: the kernel test's programs, run against Debian's kernel under QEMU;
#   then the smoke test and the demo as scripts/run.sh starts it, of x64 and of x86, and the
#   portable package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
for preset in native native-tsan win64 win32 bench; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  # The benchmarks' build is for the benchmarks alone.
  targets=()
  [ "$preset" = bench ] && targets=(--target tavrin-bench)
  cmake --build --preset "$preset" -j "$jobs" "${targets[@]}"
done

# The sanitizers must fail the run, not just print.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"

for preset in native native-tsan win64; do
  echo "== test $preset"
  ctest --preset "$preset"
done

# The x86 tests take one core for several minutes under the emulator: they run beside the stages
# that follow (not beside the timing-heavy tests above), in a process group of their own so that
# a failing run does not leave them behind.
x86_log=build/win32/x86-tests.log
echo "== test win32 (x86 under 32-bit wine), beside the next stages: $x86_log"
setsid bash -c 'ctest --preset win32 >"$1" 2>&1' x86-tests "$x86_log" &
x86_tests=$!
trap '[ -z "${x86_tests:-}" ] || kill -- "-$x86_tests" 2>/dev/null || true' EXIT
x86_start=$SECONDS

echo "== tavrin-report's page in a real browser"
bash scripts/report-test.sh build/native

echo "== tavrin-report --records read by DuckDB: its counts are the report's"
bash scripts/duckdb-test.sh build/native

echo "== the kernel test: Debian's kernel under QEMU, our flash disks on an emulated hub"
bash scripts/kernel-test.sh

echo "== benchmarks, once each (figures come from a quiet machine, not from here)"
# The report over a small generated log here; ten million records on a quiet machine.
TAVRIN_REPORT_BENCH_LINES=100000 build/bench/tests/tavrin-bench --benchmark_min_time=0.01

echo "== fuzz targets, a few seconds each (campaigns: scripts/fuzz.sh SECONDS)"
FUZZ_JOBS="$jobs" bash scripts/fuzz.sh 3

echo "== test win32: the x86 tests' end"
x86_status=0
wait "$x86_tests" || x86_status=$?
x86_tests=
cat "$x86_log"
echo "x86 tests: $((SECONDS - x86_start)) s from their start, status $x86_status"
[ "$x86_status" -eq 0 ] || { echo "the x86 tests failed: $x86_log"; exit 1; }

echo "== smoke test: Tavrin.exe under wine64"
bash scripts/smoke.sh build/win64

check_demo() {  # PRESET: what scripts/run.sh left in build/PRESET
  local shot=build/$1/demo-screenshots/demo.png
  # The window's own fonts, read while it ran: a screenshot without them shows boxes and letters.
  local fonts=build/$1/demo-screenshots/demo-fonts.txt
  cat "$fonts" 2>/dev/null || true
  if ! grep -q "every character has its glyph" "$fonts" 2>/dev/null ||
     ! grep -q "symbols shown" "$fonts" 2>/dev/null; then
    echo "demo: $shot was taken without the label's CJK font or Marlett (scripts/wine-prefix.sh)"; exit 1
  fi
  pixels() {  # how many pixels of the screenshot have the colour
    convert "$shot" -fill black -fuzz 1% +opaque "$1" -fill white -opaque "$1" \
      -format "%[fx:round(mean*w*h)]" info:
  }
  # The screenshot is trimmed to the windows: one as large as the virtual display was cut off.
  local width height colour n summary
  read -r width height < <(identify -format "%w %h\n" "$shot")
  echo "demo: screenshot $width x $height"
  if [ "$width" -ge 1920 ] || [ "$height" -ge 1440 ]; then
    echo "demo: the windows do not fit on the virtual display in $shot"; exit 1
  fi
  for colour in "rgb(152,251,152) PASS" "rgb(255,192,203) FAIL" "rgb(222,184,135) marked"; do
    set -- $colour
    n=$(pixels "$1")
    echo "demo: $n pixels of $2"
    if [ "$n" -lt 1000 ]; then echo "demo: too few $2 pixels in $shot"; exit 1; fi
  done
  # The demo's window logs its verdicts; the report reads them back.
  local results=${shot%/demo-screenshots/demo.png}/tools/results.csv
  summary=$(build/native/tools/tavrin-report "$results")
  echo "demo: tavrin-report $results: $(head -n 2 <<<"$summary" | tail -n 1)"
  grep -q '^checked [1-9]' <<<"$summary" || { echo "demo: the report found no verdict in the demo's log"; exit 1; }
}

echo "== the demo: scripts/run.sh on a virtual display; its screenshot shows PASS, FAIL, marked cells and its fonts"
env -u DISPLAY bash scripts/run.sh >/dev/null
check_demo win64

echo "== smoke test: the shipped x86 Tavrin.exe under 32-bit wine"
stage_start=$SECONDS
SMOKE_WINE="scripts/wine32.sh --wine" SMOKE_PREFIX=wine32 bash scripts/smoke.sh build/win32
echo "x86 smoke test: $((SECONDS - stage_start)) s"

echo "== the x86 demo: scripts/run.sh --x86 on a virtual display, its screenshot checked as the x64 one's"
stage_start=$SECONDS
env -u DISPLAY bash scripts/run.sh --x86 >/dev/null
check_demo win32
echo "x86 demo: $((SECONDS - stage_start)) s"

echo "== the portable package"
cmake --build --preset win64 --target portable >/dev/null
zip=build/win64/portable/Tavrin-1.0.0.3-windows.zip
listing=$(cmake -E tar tf "$zip")
for f in Tavrin.exe x64/Tavrin.exe tavrin-report.exe README.txt demo/TavrinDemo.exe demo/station16.station \
         demo/station16.pfg demo/line16.chk demo/Tavrin.ini; do
  grep -qx "Tavrin-1.0.0.3/$f" <<<"$listing" || { echo "portable: $f is missing from $zip"; exit 1; }
done
echo "portable: $zip"
