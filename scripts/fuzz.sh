#!/usr/bin/env bash
# Builds the fuzz targets (the fuzz preset: clang, libFuzzer, ASan + UBSan) and runs each for
# SECONDS (default 10) on its corpus, one after the other, at the lowest priority:
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# The committed seeds (tests/fuzz/corpus/<target>) are copied into build/fuzz/corpus/<target>,
# which keeps what the runs find; a crashing input lands in build/fuzz/findings/<target>/.
# Prints executions and coverage per target; exits non-zero when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(profile device_decode stored_path usb_walk usb_enum block_tool station_file device_name
           result_log records check_text)
fi

cmake --preset fuzz >/dev/null
nice -n 19 cmake --build --preset fuzz -j "${FUZZ_JOBS:-1}" \
  --target "${targets[@]/%/_fuzz}" >/dev/null

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

build=build/fuzz
failed=()
printf '%-14s %12s %8s %8s %6s  %s\n' target executions cov ft corpus result
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$corpus" "$findings"
  cp -n "tests/fuzz/corpus/$t"/* "$corpus"/ 2>/dev/null || true
  log="$build/fuzz-$t.log"
  result=ok
  # The walk and the station reader see tens of thousands of features per input; weighing them
  # (libFuzzer's entropic schedule) then takes most of the time.
  extra=()
  case "$t" in usb_enum | station_file) extra=(-entropic=0) ;; esac
  # A kilobyte already builds a machine of dozens of hubs and devices and rewrites hundreds of
  # replies; longer inputs only walk bigger trees, each run several times slower.
  max_len=8192
  [ "$t" = usb_enum ] && max_len=1024
  nice -n 19 "$build/tests/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=2048 -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$findings/" \
    "${extra[@]}" "$corpus" >"$log" 2>&1 || result="FOUND (see $log)"
  [ "$result" = ok ] || failed+=("$t")
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  units=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  printf '%-14s %12s %8s %8s %6s  %s\n' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${units:-?}" \
    "$result"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in: ${failed[*]}" >&2
  exit 1
fi
