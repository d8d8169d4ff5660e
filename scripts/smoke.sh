#!/usr/bin/env bash
# Smoke test of the real program under wine64 on a virtual display: starts Tavrin.exe beside a
# prepared Tavrin.ini and check file, finds its window by its title, saves a screenshot of it,
# closes it through its close box and checks what Tavrin.ini then holds.
#   bash scripts/smoke.sh [BUILD_DIR]   (default build/win64)
# SMOKE_WINE is the wine command (words; default wine64) and SMOKE_PREFIX the name of its prefixes
# in the cache (default wine64; "-xvfb" is added on a virtual display). The x86 build:
#   SMOKE_WINE="scripts/wine32.sh --wine" SMOKE_PREFIX=wine32 bash scripts/smoke.sh build/win32
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(realpath "${1:-build/win64}")"
work="$build/smoke"
artifacts="$build/artifacts"
rm -rf "$work"
mkdir -p "$work" "$artifacts"
cp "$build/app/Tavrin.exe" "$work/"

printf '[Setting]\r\nCHECK_FILE=line1.chk\r\nInfoCheck=1\r\n' > "$work/Tavrin.ini"
printf '[Value]\r\nvid=1234\r\npid=7730\r\nRFreq=1\r\nBlink=2\r\n[Enable]\r\nvid=1\r\npid=1\r\nRFreq=1\r\nBlink=1\r\nCapMin=1\r\nCapMax=1\r\n' \
  > "$work/line1.chk"

export WINEDEBUG="${WINEDEBUG:--all}"
# No automatic debugger: a program that crashes ends with its status, where wine's debugger
# would wait, unseen, for ever.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
export SMOKE_WORK="$work" SMOKE_ARTIFACTS="$artifacts" SMOKE_DRIVER="$build/tests/tavrin-smoke-driver.exe"
export SMOKE_CHECK="$build/tools/tavrin-check.exe"
export SMOKE_PREFIX_SCRIPT="$PWD/scripts/wine-prefix.sh"
if [ -z "${SMOKE_WINE:-}" ]; then
  if command -v wine64 >/dev/null 2>&1; then SMOKE_WINE=wine64; else SMOKE_WINE=wine; fi
fi
export SMOKE_WINE
read -r -a wine <<<"$SMOKE_WINE"
# A relative command is the clone's: the session runs in other folders.
[[ "${wine[0]}" == */* ]] && wine[0]=$(realpath "${wine[0]}")
SMOKE_WINE="${wine[*]}"
prefix_name="${SMOKE_PREFIX:-wine64}"

session='
set -euo pipefail
read -r -a wine <<<"$SMOKE_WINE"
source "$SMOKE_PREFIX_SCRIPT"
await_earlier_wineserver
prepare_wine_prefix "${wine[@]}"
"${wine[@]}" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1

ini_path=$("${wine[@]}" winepath -w "$SMOKE_WORK/line1.chk" 2>/dev/null | tr -d "\r")
expected="RV7730 Tavrin (1.0.0.3) - $ini_path"

(cd "$SMOKE_WORK" && "${wine[@]}" ./Tavrin.exe) &
program=$!
title=$("${wine[@]}" "$SMOKE_DRIVER" find "RV7730 Tavrin (1.0.0.3)" 120 | tr -d "\r") || {
  echo "smoke: no Tavrin window appeared"; exit 1; }
echo "smoke: window \"$title\""
if [ "$title" != "$expected" ]; then
  echo "smoke: expected the title \"$expected\""; exit 1
fi
sleep 2  # let it paint
import -window root -crop 1000x800+0+0 "$SMOKE_ARTIFACTS/tavrin-window.png" || true
"${wine[@]}" "$SMOKE_DRIVER" close "RV7730 Tavrin (1.0.0.3)" 60 || { echo "smoke: the window did not close"; exit 1; }
wait "$program" || true
wineserver -w || true
'

if [ -n "${DISPLAY:-}" ]; then
  export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrin/$prefix_name}"
  bash -c "$session"
else
  export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrin/$prefix_name-xvfb}"
  mkdir -p "$(dirname "$WINEPREFIX")"
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "$session"
fi

# tavrin-check on its arguments: each that does not fit exits 2 with its reason; fitting ones
# walk the machine, which under wine has no USB disk: a run that checks nothing fails and says so.
# With SMOKE_PIPE=NAME the run has \\.\pipe\NAME served by the driver, which fails it (3) if the
# run took the pipe from its reader.
check_exe=$("${wine[@]}" winepath -w "$SMOKE_CHECK" 2>/dev/null | tr -d "\r")
check_case() {  # STATUS REASON ARGS...
  local want=$1 reason=$2 status=0
  shift 2
  local run=("$SMOKE_CHECK")
  if [ -n "${SMOKE_PIPE:-}" ]; then run=("$SMOKE_DRIVER" pipe "$SMOKE_PIPE" "$check_exe"); fi
  (cd "$SMOKE_WORK" && "${wine[@]}" "${run[@]}" "$@" > check.out 2> check.err) || status=$?
  if [ "$status" != "$want" ] || { [ -n "$reason" ] && ! grep -qF -- "$reason" "$SMOKE_WORK/check.err"; }; then
    echo "smoke: tavrin-check $* gave $status, expected $want and \"$reason\":"
    cat "$SMOKE_WORK/check.out" "$SMOKE_WORK/check.err"; exit 1
  fi
}
check_case 2 "unknown option '--bogus'" --bogus
check_case 2 "--format is text or csv, not 'xml'" --format xml
check_case 2 "missing.chk: no such file" --check missing.chk
# A log that is no file is refused before the walk, by its name where it names a device or a pipe.
check_case 2 "NUL: not a regular file: the log must be a file" --check line1.chk --log NUL
check_case 2 "nul.csv: not a regular file: the log must be a file" --log 'C:\nul.csv'
check_case 2 'tavrin-smoke: not a regular file: the log must be a file' --log '\\.\pipe\tavrin-smoke'
SMOKE_PIPE=tavrin-smoke check_case 2 'tavrin-smoke: not a regular file: the log must be a file' \
  --log '\\.\pipe\tavrin-smoke'
check_case 2 ".: a folder, not a file: the log must be a file" --log .
check_case 1 "no USB disk E:" --check line1.chk E:
check_case 1 "no disk found" --check line1.chk --format csv
# Leave no wine process of this prefix behind for the next program on a virtual display.
wineserver -w || true
echo "smoke: tavrin-check answered its arguments"

ini=$(tr -d '\r' < "$work/Tavrin.ini")
expected_ini=$'[Setting]\nCHECK_FILE=line1.chk\nInfoCheck=1\nTopmost=0\nAutoCheck=0'
if [ "$ini" != "$expected_ini" ]; then
  echo "smoke: Tavrin.ini after closing:"; echo "$ini"
  echo "smoke: expected:"; echo "$expected_ini"
  exit 1
fi
echo "smoke: passed; screenshot $artifacts/tavrin-window.png"
