# Sourced by the scripts that run Windows programs: wine needs an X display
# for windows, even hidden ones, and one wineserver kept alive per prefix
# (32-bit and 64-bit) saves seconds.
#
# stop_display ends only what start_display started: its own Xvfb, and with
# it the wine processes that drew on it. A wineserver is left to end by
# itself once its last program has (-p 60), so that someone else's program
# in the same prefix, a vkhost run from a terminal say, keeps running.
start_display() {
  if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    local n=91
    while [ -e "/tmp/.X${n}-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    VARDELKIST_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    trap stop_display EXIT
  fi
  export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-vardelkist}" WINEARCH=win32 WINEDEBUG=-all
  export WINEPREFIX64="${WINEPREFIX64:-$HOME/.wine-vardelkist64}"
  # Start wine's own services now, detached from our output: started later by
  # a test, they would inherit its pipe and keep the test runner waiting.
  wineserver -p 60 >/dev/null 2>&1 || true
  "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" cmd /c exit >/dev/null 2>&1 </dev/null || true
  WINEPREFIX="$WINEPREFIX64" WINEARCH=win64 wineserver -p 60 >/dev/null 2>&1 || true
  # The prefix's own 64-bit cmd.exe, so that wine-run.sh picks its loader.
  "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" "$WINEPREFIX64/drive_c/windows/system32/cmd.exe" /c exit \
    >/dev/null 2>&1 </dev/null || true
}

stop_display() {
  if [ -n "${VARDELKIST_XVFB_PID:-}" ]; then
    kill "$VARDELKIST_XVFB_PID" 2>/dev/null || true
    wait "$VARDELKIST_XVFB_PID" 2>/dev/null || true
    VARDELKIST_XVFB_PID=""
  fi
}
