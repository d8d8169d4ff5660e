#!/usr/bin/env bash
# Runs a Windows x64 executable under wine64, in a prefix kept for this project. Windows need a
# display: without one the program runs on a virtual display (Xvfb, in a prefix of its own) where
# wine manages the windows itself, since no window manager would answer it there (it waits for
# one each time a window is shown or hidden).
set -euo pipefail
export WINEDEBUG="${WINEDEBUG:--all}"
# No automatic debugger: a program that crashes ends with its status, where wine's debugger
# would wait, unseen, for ever.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/tavrin"
# scripts/wine32.sh runs the x86 build through this script with its own wine, wineserver and
# prefix name: TAVRIN_WINE (the wine command), WINESERVER (its server, which wine reads too),
# TAVRIN_WINE_PREFIX (the prefixes' name in the cache, "-xvfb" added on a virtual display).
if [ -n "${TAVRIN_WINE:-}" ]; then wine=$TAVRIN_WINE
elif command -v wine64 >/dev/null 2>&1; then wine=wine64; else wine=wine; fi
prefix_name="${TAVRIN_WINE_PREFIX:-wine64}"
prefix_script="$(dirname "$(realpath "$0")")/wine-prefix.sh"

if [ -n "${DISPLAY:-}" ]; then
  export WINEPREFIX="${WINEPREFIX:-$cache/$prefix_name}"
  mkdir -p "$(dirname "$WINEPREFIX")"
  source "$prefix_script"
  prepare_wine_prefix "$wine"
  exec "$wine" "$@"
fi

export WINEPREFIX="${WINEPREFIX:-$cache/$prefix_name-xvfb}"
mkdir -p "$(dirname "$WINEPREFIX")"
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wine=$1
  source "$2"
  shift 2
  await_earlier_wineserver
  prepare_wine_prefix "$wine"
  if [ ! -e "$WINEPREFIX/.tavrin-unmanaged" ]; then
    "$wine" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1 &&
      touch "$WINEPREFIX/.tavrin-unmanaged"
  fi
  status=0
  "$wine" "$@" || status=$?
  # The virtual display goes when this script ends: the last wine process must go first.
  await_earlier_wineserver
  exit "$status"
' wine-run "$wine" "$prefix_script" "$@"
