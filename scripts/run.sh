#!/usr/bin/env bash
# Runs the Tavrin demo: the real main window (Windows x64 build, under wine64 when not on
# Windows) on a virtual station of sixteen ports whose disks come and go by themselves, with a
# panel to plug and pull them by hand. It runs in build/win64/tools, where its Tavrin.ini and
# check files stay between runs. Without a display it runs on a virtual one and saves
# screenshots in build/win64/demo-screenshots instead.
#   bash scripts/run.sh [--x86]   (--x86: the shipped x86 build, in build/win32, under 32-bit
#                                  wine: scripts/wine32.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

preset=win64
wine=()
prefix_name=wine64
if [ "${1:-}" = --x86 ]; then
  preset=win32
  wine=("$PWD/scripts/wine32.sh" --wine)
  prefix_name=wine32
elif [ -n "${1:-}" ]; then
  echo "usage: scripts/run.sh [--x86]" >&2
  exit 2
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target TavrinDemo tavrin-smoke-driver >/dev/null
demo=build/$preset/tools

cat <<'TEXT'
Tavrin demo: the quality-check station for RV7730 flash disks, on a virtual station.

What the operator does at the station:
  1. Start Tavrin. The title names the check file in use (the line's reference configuration);
     "Load" chooses another. The list has one numbered row per station port.
  2. Plug finished disks into the station's ports. Each disk appears in its port's row by itself,
     with its drive letter and the values read from its controller.
  3. Read the bar in the "Check" column: "PASS" on green, or "FAIL" on pink with every value that
     did not meet the reference painted. Pull the disk; its row empties.
  "Refresh" reads every disk again; with "Auto Check" off, "Run" checks every row.

In the demo the disks arrive on their own, one a second, and leave after 40 seconds; the panel
"Tavrin demo station" beside the window plugs and pulls them by hand. Two of them never get a row:
one of another controller, and one on a port outside the station's port map. Close the main window
to end the demo.
TEXT

export WINEDEBUG="${WINEDEBUG:--all}"
if [ -n "${DISPLAY:-}" ]; then
  runner=../../../scripts/wine-run.sh
  [ "$preset" = win32 ] && runner=../../../scripts/wine32.sh
  cd "$demo" && exec "$runner" ./TavrinDemo.exe
fi
shots=build/$preset/demo-screenshots
rm -rf "$shots"
mkdir -p "$shots"
echo
echo "No display: running on a virtual one for 20 seconds, saving screenshots."
# Nobody would see a crash's debugger there: the demo ends instead.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrin/$prefix_name-xvfb}"
# Room for the window and the panel beside it in any font, on a black root; each screenshot is
# trimmed to the windows.
xvfb-run -a -s "-screen 0 1920x1440x24 -br" bash -c '
  read -r -a wine <<<"$4"
  if [ "${#wine[@]}" -eq 0 ]; then
    if command -v wine64 >/dev/null 2>&1; then wine=(wine64); else wine=(wine); fi
  fi
  shot() {
    import -window root "$1" && convert "$1" -bordercolor black -border 1 -trim +repage "$1"
  }
  source "$3"
  await_earlier_wineserver
  prepare_wine_prefix "${wine[@]}"
  "${wine[@]}" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1 || true
  # The demo folder as drive T:, so that the window shows short paths.
  ln -sfn "$(realpath "$0")" "$WINEPREFIX/dosdevices/t:"
  (cd "$0" && "${wine[@]}" "T:\\TavrinDemo.exe") &
  "${wine[@]}" "$2" find "RV7730 Tavrin" 120 >/dev/null || echo "demo: no Tavrin window appeared" >&2
  # Which fonts the window got: the label "版本号:" and the caption buttons, as Windows shows them.
  "${wine[@]}" "$2" fonts "RV7730 Tavrin" 60 > "$1/demo-fonts.txt" || cat "$1/demo-fonts.txt" >&2
  sleep 5
  shot "$1/demo-arriving.png" || true
  sleep 11
  shot "$1/demo.png" || true
  "${wine[@]}" "$2" close "RV7730 Tavrin" 60 || true
  wineserver -w || true
' "$demo" "$(realpath "$shots")" "$(realpath "build/$preset/tests/tavrin-smoke-driver.exe")" \
  "$(realpath scripts/wine-prefix.sh)" "${wine[*]}"
echo "Screenshots: $shots/demo-arriving.png (after 5 seconds), $shots/demo.png (after 16);"
echo "the fonts the window got: $shots/demo-fonts.txt"
