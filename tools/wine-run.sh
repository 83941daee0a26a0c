#!/usr/bin/env bash
# Runs a Windows program under wine: a 64-bit program in the project's 64-bit
# prefix, anything else in its 32-bit prefix.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG="${VARDELKIST_WINE_LANG:-ja_JP.UTF-8}"

# The machine field of a PE file's header ("8664" for x86-64), or nothing.
pe_machine() {
  [ -f "$1" ] || return 0
  local header
  header=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$header" ] || return 0
  od -An -tx2 -j$((header + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

if [ "$(pe_machine "${1:-}")" = "8664" ]; then
  export WINEPREFIX="${WINEPREFIX64:-$HOME/.wine-vardelkist64}" WINEARCH=win64
  # Handed to the 32-bit loader, a 64-bit program runs as a child of a 32-bit
  # launcher process that relays its exit status; that relay once lost a run's
  # output and status. The 64-bit loader runs it directly.
  if [ -x /usr/lib/wine/wine64 ]; then exec /usr/lib/wine/wine64 "$@"; fi
else
  export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-vardelkist}" WINEARCH=win32
fi
exec wine "$@"
