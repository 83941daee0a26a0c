#!/usr/bin/env bash
# Sets up the machine, builds everything, and plots example images: the real
# Vardelkist.8bf applied by our host (vkhost.exe, under wine) to a generated
# test picture, in both layouts, several shifts, 8- and 16-bit.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh

BUILD="${VARDELKIST_BUILD_DIR:-build}"
cmake -S . -B "$BUILD" -G Ninja >/dev/null
cmake --build "$BUILD"

source tools/display.sh
start_display

VKHOST="$BUILD/windows/tools/host/vkhost.exe"
PLUGIN="$BUILD/windows/Vardelkist.8bf"
OUT=out/examples
mkdir -p "$OUT"
rm -f "$OUT"/*.png

vkhost() { bash tools/wine-run.sh "$VKHOST" "$@"; }

vkhost --info "$PLUGIN"
vkhost generate "$OUT/input-rgb8.png" 400 300
vkhost generate "$OUT/input-square-rgb8.png" 301 301
vkhost generate "$OUT/input-gray16.png" 400 300 --gray --16bit

apply() {
  local input="$1" output="$2"
  shift 2
  echo "== $output: $*"
  vkhost apply "$PLUGIN" "$OUT/$input" "$OUT/$output" "$@"
}

for layout in normal spiral; do
  for shift in 0 41 1000; do
    apply input-rgb8.png "rgb8-$layout-shift$shift.png" --layout "$layout" --shift "$shift"
  done
done
apply input-square-rgb8.png square-spiral.png --layout spiral
apply input-square-rgb8.png square-spiral-coloured.png --layout spiral --fg 1E3C8C --bg F4ECD8
apply input-rgb8.png rgb16-spiral-shift41.png --layout spiral --shift 41 --16bit
apply input-gray16.png gray16-normal.png --layout normal
apply input-gray16.png gray16-spiral-rect.png --layout spiral --rect 50,100,250,300

echo
echo "Examples written to $PWD/$OUT:"
ls -1 "$OUT"
