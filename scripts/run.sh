#!/usr/bin/env bash
# Runs Tavrin: builds the Windows x64 program and starts it (under wine64 when not on Windows)
# in build/win64/station, where its Tavrin.ini and check files stay between runs. Without a
# display it runs on a virtual one and saves a screenshot instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset win64 >/dev/null
cmake --build --preset win64 --target Tavrin tavrin-smoke-driver >/dev/null
station=build/win64/station
mkdir -p "$station"
cp build/win64/app/Tavrin.exe "$station/"

cat <<'TEXT'
Tavrin: the quality-check station for RV7730 flash disks.
In the window:
  - the upper area holds the reference configuration: type the expected texts, pick the
    clocks, LED modes and EFS size; "Check Config Select" chooses which values are checked
    (their columns appear in the result list);
  - "Save" writes the configuration to a check file (*.chk), "Load" reads one; the title shows
    the check file in use, and the next start opens it again;
  - "Dialog Always on Top" keeps the window above the others; "MP Info Check" and "Auto Check"
    choose when disks are checked; all three are kept in Tavrin.ini when the window closes;
  - the system menu (the icon at the top left) holds "About Tavrin".
Disks plugged into the station are found by themselves and listed with PASS or FAIL (the disk
scan arrives with a later version). Close the window to end the program.
TEXT

export WINEDEBUG="${WINEDEBUG:--all}"
if [ -n "${DISPLAY:-}" ]; then
  cd "$station" && exec ../../../scripts/wine-run.sh ./Tavrin.exe
fi
echo
echo "No display: running on a virtual one for 10 seconds, then saving a screenshot."
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrin/wine64-xvfb}"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  if command -v wine64 >/dev/null 2>&1; then wine=wine64; else wine=wine; fi
  (cd "$0" && "$wine" ./Tavrin.exe) &
  "$wine" "$1" find "RV7730 Tavrin" 120 >/dev/null && sleep 8
  import -window root -crop 1000x800+0+0 "$0/screenshot.png" || true
  "$wine" "$1" close "RV7730 Tavrin" 60 || true
  wineserver -w || true
' "$station" "$(realpath build/win64/tests/tavrin-smoke-driver.exe)"
echo "Screenshot: $station/screenshot.png"
