#!/usr/bin/env bash
# Creates the two wine prefixes the host and the tests run in: a 32-bit one
# for the 32-bit programs and a 64-bit one for the 64-bit programs.
set -euo pipefail
# Wine's own start-up without address randomization, as tools/wine-run.sh
# explains.
if [ -z "${VARDELKIST_FIXED_ADDRESSES:-}" ] && setarch "$(uname -m)" -R true 2>/dev/null; then
  export VARDELKIST_FIXED_ADDRESSES=1
  exec setarch "$(uname -m)" -R bash "$0" "$@"
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

make_prefix() {
  export WINEPREFIX="$1" WINEARCH="$2"
  if [ -f "$WINEPREFIX/.vardelkist-ready" ]; then return 0; fi
  echo "setup: creating $WINEARCH wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
  # Without a window manager, managed windows cost seconds each to map.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -w || true
  touch "$WINEPREFIX/.vardelkist-ready"
}

# The dialogs ask for "ＭＳ Ｐゴシック", a Windows font wine does not have. IPA P
# Gothic (fonts-ipafont-gothic) has its metrics, so with it the dialogs in
# the tests and the screenshots take the size and the line breaks they have
# on Windows; it also stands in for "MS UI Gothic", the Japanese system's
# caption font. Prefixes made before this step get it too.
replace_fonts() {
  export WINEPREFIX="$1" WINEARCH="$2"
  if [ -f "$WINEPREFIX/.vardelkist-fonts" ]; then return 0; fi
  fc-list -q 'IPAPGothic' || { echo "setup: IPAPGothic is not installed"; return 1; }
  echo "setup: IPAPGothic for MS PGothic in $WINEPREFIX"
  # Wine draws the caption buttons with Marlett; Debian's wine finds its own
  # copy (fonts-wine) only in the prefix's font folder.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  local reg="$WINEPREFIX/drive_c/vardelkist-fonts.reg"
  # regedit reads UTF-16, which carries the font's Japanese name whatever
  # the locale.
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"ＭＳ Ｐゴシック"="IPAPGothic"' '"MS PGothic"="IPAPGothic"' '"MS UI Gothic"="IPAPGothic"' '' |
    iconv -f UTF-8 -t UTF-16 >"$reg"
  wine regedit /S 'C:\vardelkist-fonts.reg' >/dev/null 2>&1
  wineserver -w || true
  rm -f "$reg"
  touch "$WINEPREFIX/.vardelkist-fonts"
}

make_prefix "${WINEPREFIX:-$HOME/.wine-vardelkist}" win32
replace_fonts "${WINEPREFIX:-$HOME/.wine-vardelkist}" win32
make_prefix "${WINEPREFIX64:-$HOME/.wine-vardelkist64}" win64
replace_fonts "${WINEPREFIX64:-$HOME/.wine-vardelkist64}" win64
