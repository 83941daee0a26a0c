#!/usr/bin/env bash
# Creates the 32-bit wine prefix the host and the tests run in.
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-vardelkist}"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -f "$WINEPREFIX/.vardelkist-ready" ]; then exit 0; fi
echo "setup: creating wine prefix $WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w || true
# Without a window manager, managed windows cost seconds each to map.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w || true
touch "$WINEPREFIX/.vardelkist-ready"
