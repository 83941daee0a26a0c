#!/usr/bin/env bash
# Runs one of our GoogleTest programs under wine.
#
# Wine 8 now and then kills a program with SIGSEGV as it exits: a thread
# that wine starts during the exit takes the server's termination signal
# before its thread block is set up, and wine's own signal handler faults
# (core dumps show pthread_getspecific in NtCurrentTeb, in a signal handler,
# on a thread still in its first server call). That death comes after every
# test has reported. Only such a run is run once more: one that died of a
# signal after GoogleTest's summary said every test passed.
set -uo pipefail
wine_run="$(cd "$(dirname "$0")/../.." && pwd)/tools/wine-run.sh"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

"$wine_run" "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
if [ "$status" -gt 128 ] && grep -q '^\[  PASSED  \]' "$log" && ! grep -q '^\[  FAILED  \]' "$log"; then
  echo "wine killed the program with signal $((status - 128)) after all its tests had passed; running it once more"
  "$wine_run" "$@"
  status=$?
fi
exit "$status"
