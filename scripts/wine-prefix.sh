# Sourced by the scripts that run wine. prepare_wine_prefix WINE makes the prefix in $WINEPREFIX
# draw as Windows does: wine's own fonts (Marlett for the caption buttons, Tahoma behind "MS Shell
# Dlg") in its Fonts folder, and the CJK font linked behind every face the dialogs name, as
# Windows links its East Asian fonts, so that a Chinese label shows in an English dialog too.
# Done once per prefix; a display is not needed.

tavrin_wine_fonts=/usr/share/wine/fonts
tavrin_cjk_link="wqy-zenhei.ttc,WenQuanYi Zen Hei"
# The dialogs' faces (app/res/*.rc, the demo's panel) and what wine puts in their place.
tavrin_linked_faces=("MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "Microsoft Sans Serif" "MS Sans Serif"
                     "SimSun" "宋体" "PMingLiU" "新細明體")

prepare_wine_prefix() {  # WINE...: the wine command, one word or more
  local wine=("$@") marker="$WINEPREFIX/.tavrin-fonts-1" face font
  [ -e "$marker" ] && return 0
  # The first call makes the prefix; wine installs no fonts of its own into it here.
  "${wine[@]}" reg delete "HKCU\\Software\\Wine\\Fonts\\Replacements" /f >/dev/null 2>&1 || true
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  for font in "$tavrin_wine_fonts"/*; do
    [ -e "$font" ] || { echo "wine-prefix: no fonts in $tavrin_wine_fonts (fonts-wine)" >&2; return 1; }
    ln -sf "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
  done
  for face in "${tavrin_linked_faces[@]}"; do
    "${wine[@]}" reg add "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink" \
      /v "$face" /t REG_MULTI_SZ /d "$tavrin_cjk_link" /f >/dev/null || return 1
  done
  touch "$marker"
}

# A wineserver of this prefix that is still ending (wine keeps it a few seconds after its last
# program) serves its desktop on the display it was started with, which may be gone: a program
# started on a new virtual display would put its windows there, unseen. Wait for it to end first.
await_earlier_wineserver() {  # the server of $WINESERVER when set (32-bit wine's), else wine's own
  local server="${WINESERVER:-wineserver}"
  if command -v "$server" >/dev/null 2>&1; then "$server" -w || true; fi
}
