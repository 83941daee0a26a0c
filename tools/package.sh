#!/usr/bin/env bash
# Sets up the machine, builds both plug-ins and writes the release zip,
# dist/Vardelkist-<version>.zip: the two plug-ins, the user guides in English
# and Japanese, and SHA256SUMS. The same sources give the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
BUILD="${VARDELKIST_BUILD_DIR:-build}"
cmake -S . -B "$BUILD" -G Ninja >/dev/null
cmake --build "$BUILD" --target release
