#!/usr/bin/env bash
# Remakes the pictures in docs/: the parameter dialog, the same dialog with
# its preview shown (the template keeps it hidden; our host shows it), and
# the about box, each as the real plug-in draws it under wine with Japanese
# labels, captured by our host from the screen. The dialogs' font comes out
# as on Windows: setup gives the prefixes IPA P Gothic in its place
# (tools/wine-prefix.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
BUILD="${VARDELKIST_BUILD_DIR:-build}"
cmake -S . -B "$BUILD" -G Ninja >/dev/null
cmake --build "$BUILD"

source tools/display.sh
start_display

VKHOST="$BUILD/windows/tools/vkhost/vkhost.exe"
PLUGIN="$BUILD/plugins/Vardelkist.8bf"
vkhost() { VARDELKIST_WINE_LANG=ja_JP.UTF-8 bash tools/wine-run.sh "$VKHOST" "$@"; }

mkdir -p docs
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"; stop_display' EXIT
vkhost generate "$scratch/in.png" 320 240 >/dev/null
vkhost apply "$PLUGIN" "$scratch/in.png" "$scratch/out.png" --layout spiral --shift 300 \
  --screenshot docs/parameter-dialog.png
vkhost apply "$PLUGIN" "$scratch/in.png" "$scratch/out.png" --layout normal --shift 0 --show-preview \
  --screenshot docs/parameter-dialog-preview.png
vkhost about "$PLUGIN" --screenshot docs/about-box.png
echo "Pictures written to $PWD/docs"
