#!/usr/bin/env bash
# Sets up the machine, builds everything, and plots example images: the real
# Vardelkist.8bf applied by our host (vkhost.exe, under wine) to a generated
# test picture, in both layouts, several shifts, 8- and 16-bit. The 64-bit
# Vardelkist64.8bf, through the 64-bit host, plots the same examples into
# out/examples/x64/, and every file must be identical to its 32-bit twin.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh

BUILD="${VARDELKIST_BUILD_DIR:-build}"
cmake -S . -B "$BUILD" -G Ninja >/dev/null
cmake --build "$BUILD"

source tools/display.sh
start_display

VKHOST="$BUILD/windows/tools/vkhost/vkhost.exe"
VKHOST64="$BUILD/windows64/tools/vkhost/vkhost.exe"
PLUGIN="$BUILD/plugins/Vardelkist.8bf"
PLUGIN64="$BUILD/plugins/Vardelkist64.8bf"
OUT=out/examples
OUT64="$OUT/x64"
mkdir -p "$OUT" "$OUT64"
rm -f "$OUT"/*.png "$OUT64"/*.png

vkhost() { bash tools/wine-run.sh "$VKHOST" "$@"; }
vkhost64() { bash tools/wine-run.sh "$VKHOST64" "$@"; }

vkhost --info "$PLUGIN"
vkhost64 --info "$PLUGIN64"
vkhost generate "$OUT/input-rgb8.png" 400 300
vkhost generate "$OUT/input-square-rgb8.png" 301 301
vkhost generate "$OUT/input-gray16.png" 400 300 --gray --16bit

different=0
apply() {
  local input="$1" output="$2"
  shift 2
  echo "== $output: $*"
  vkhost apply "$PLUGIN" "$OUT/$input" "$OUT/$output" "$@"
  vkhost64 apply "$PLUGIN64" "$OUT/$input" "$OUT64/$output" "$@" >/dev/null
  if cmp -s "$OUT/$output" "$OUT64/$output"; then
    echo "   64-bit plug-in: identical"
  else
    echo "   64-bit plug-in: DIFFERENT ($OUT64/$output)"
    different=$((different + 1))
  fi
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
echo "Examples written to $PWD/$OUT (32-bit plug-in) and $PWD/$OUT64 (64-bit plug-in):"
ls -1 "$OUT"
if [ "$different" -ne 0 ]; then
  echo "$different example(s) differ between the 32-bit and the 64-bit plug-in"
  exit 1
fi
echo "The 64-bit plug-in's examples are identical to the 32-bit plug-in's."

# Four of them make the README's gallery; then the release zip.
mkdir -p docs/gallery
cp "$OUT/rgb8-normal-shift0.png" docs/gallery/normal.png
cp "$OUT/rgb8-spiral-shift0.png" docs/gallery/spiral.png
cp "$OUT/rgb8-spiral-shift41.png" docs/gallery/spiral-shift41.png
cp "$OUT/square-spiral-coloured.png" docs/gallery/spiral-coloured.png
# The machine is set up and the build configured: the zip is one more target.
cmake --build "$BUILD" --target release
