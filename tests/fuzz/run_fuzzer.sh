#!/usr/bin/env bash
# Runs one fuzzer for a while: new inputs go to FOUND_DIR, the committed
# seeds in SEED_DIR are read only.
#   run_fuzzer.sh FUZZER SECONDS FOUND_DIR SEED_DIR
set -euo pipefail
fuzzer="$1" seconds="$2" found="$3" seeds="$4"
mkdir -p "$found"
exec "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$found/" "$found" "$seeds"
