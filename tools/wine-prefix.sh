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

make_prefix "${WINEPREFIX:-$HOME/.wine-vardelkist}" win32
make_prefix "${WINEPREFIX64:-$HOME/.wine-vardelkist64}" win64
