#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: the native
# unit tests (plain and with sanitizers) and the tests of the real
# Vardelkist.8bf under wine and of Vardelkist64.8bf under 64-bit wine.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"

bash tools/setup.sh

cmake -S . -B build -G Ninja -DVARDELKIST_WERROR=ON >/dev/null
cmake --build build
cmake -S . -B build-asan -G Ninja -DVARDELKIST_WERROR=ON -DVARDELKIST_SANITIZE=ON >/dev/null
cmake --build build-asan --target native_tests

source tools/display.sh
start_display

status=0
summary=()
run_ctest() {
  local dir="$1" label="$2" log
  log="$(mktemp)"
  if ! ctest --test-dir "$dir" --output-on-failure -j2 "${@:3}" 2>&1 | tee "$log"; then status=1; fi
  if ! grep -q 'tests passed' "$log"; then status=1; fi
  summary+=("$label: $(grep -o '[0-9]* tests failed out of [0-9]*' "$log" | tail -1)")
  rm -f "$log"
}
run_ctest build all
run_ctest build-asan sanitizers -E '^(wine|module|fuzz)\.'

passed=0
failed=0
for line in "${summary[@]}"; do
  f=$(echo "$line" | sed -E 's/.*: ([0-9]+) tests failed out of ([0-9]+)/\1/')
  t=$(echo "$line" | sed -E 's/.*: ([0-9]+) tests failed out of ([0-9]+)/\2/')
  failed=$((failed + f))
  passed=$((passed + t - f))
  echo "$line"
done
[ "$failed" -eq 0 ] || status=1
echo "$passed passed, $failed failed"
exit $status
