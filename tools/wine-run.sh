#!/usr/bin/env bash
# Runs a Windows program under wine: a 64-bit program in the project's 64-bit
# prefix, anything else in its 32-bit prefix. Every step execs the next, so
# the program keeps this script's process and gets its signals (Ctrl+C).
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

# Debian's wine comes without wine's preloader, which reserves the low
# addresses a Windows process needs before the Linux loader maps anything.
# The kernel then starts the 64-bit loader's program break anywhere up to
# 1 GB above the loader at 0x7d000000, and about one start in several
# hundred the break lands on the pages wine maps at 0x7ff00000: the program
# dies before it runs, with exit status 1 and, under WINEDEBUG=-all, no word
# ("failed to map the shared user data: c0000018"). Without address
# randomization the break starts right above the loader, in both word sizes.
fixed=()
if setarch "$(uname -m)" -R true 2>/dev/null; then fixed=(setarch "$(uname -m)" -R); fi

if [ "$(pe_machine "${1:-}")" = "8664" ]; then
  export WINEPREFIX="${WINEPREFIX64:-$HOME/.wine-vardelkist64}" WINEARCH=win64
  # Handed to the 32-bit loader, a 64-bit program runs as a child of a 32-bit
  # launcher process; the 64-bit loader runs it directly, 0.2 s sooner.
  if [ -x /usr/lib/wine/wine64 ]; then exec "${fixed[@]}" /usr/lib/wine/wine64 "$@"; fi
else
  export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-vardelkist}" WINEARCH=win32
fi
exec "${fixed[@]}" wine "$@"
