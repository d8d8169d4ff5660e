#!/usr/bin/env bash
# Runs a Windows x64 executable under wine64, in a prefix kept for this project.
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrin/wine64}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$(dirname "$WINEPREFIX")"
if command -v wine64 >/dev/null 2>&1; then wine=wine64; else wine=wine; fi
exec "$wine" "$@"
