#!/usr/bin/env bash
# Runs a Windows program under the project's 32-bit wine prefix.
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-vardelkist}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG="${VARDELKIST_WINE_LANG:-ja_JP.UTF-8}"
exec wine "$@"
