#!/usr/bin/env bash
# Applies the 32-bit and the 64-bit plug-in, each through our host of its own
# word size, to the same pictures with the same settings, and requires the
# same exit status and byte-identical output files. The large pictures
# ("...mp.png"), which the plug-ins plot on two lanes, are also plotted by the
# 64-bit one bound to a single processor, on one lane, and must come out the
# same again.
# Usage: compare_word_sizes.sh WINDOWS_BUILD_DIR WINDOWS64_BUILD_DIR
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
host32="$1/tools/vkhost/vkhost.exe" plugin32="$1/Vardelkist.8bf"
host64="$2/tools/vkhost/vkhost.exe" plugin64="$2/Vardelkist64.8bf"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Output goes to a log, shown when a case fails.
run() { "$ROOT/tools/wine-run.sh" "$@" >>"$work/log" 2>&1 </dev/null; }
run_on_one_processor() { taskset -c 0 "$ROOT/tools/wine-run.sh" "$@" >>"$work/log" 2>&1 </dev/null; }

: >"$work/log"
if ! run "$host32" generate "$work/rgb8.png" 211 157 ||
   ! run "$host32" generate "$work/gray16.png" 173 129 --gray --16bit ||
   ! run "$host32" generate "$work/rgba8.png" 120 90 --alpha ||
   ! run "$host32" generate "$work/graya16.png" 64 48 --gray --alpha --16bit ||
   ! run "$host32" generate "$work/gray-12mp.png" 4000 3000 --gray ||
   ! run "$host32" generate "$work/gray-24mp.png" 6000 4000 --gray ||
   ! run "$host32" generate "$work/graya-12mp.png" 4000 3000 --gray --alpha ||
   ! run "$host32" generate "$work/rgba16-3mp.png" 2000 1500 --alpha --16bit ||
   ! run "$host32" generate "$work/rgb-6mp.png" 3000 2000 ||
   ! run "$host32" generate "$work/gray16-8mp.png" 2800 2800 --gray --16bit; then
  echo "FAIL: cannot generate the pictures"
  cat "$work/log"
  exit 1
fi

cases=(
  "rgb8.png --layout normal --shift 0"
  "rgb8.png --layout spiral --shift 41"
  "rgb8.png --layout normal --shift 65535 --fg 1E3C8C --bg F4ECD8"
  "rgb8.png --layout spiral --shift 7 --16bit"
  "rgb8.png --layout spiral --rect 10,20,150,200"
  "gray16.png --layout normal --shift 12345"
  "gray16.png --layout spiral --shift 65535 --rect 5,5,100,170"
  "rgba8.png --layout spiral --fg FF0000 --bg 00FF00"
  "graya16.png --layout normal --shift 3"
  "rgb8.png --layout spiral --abort-at 3"
  # Plots large enough for a worker lane beside the host's under wine,
  # their output written through the cache (up to 16 MB) and past it.
  "gray-12mp.png --layout spiral --shift 9"
  "gray-12mp.png --layout normal --shift 65535"
  "gray-24mp.png --layout spiral --shift 30"
  "graya-12mp.png --layout spiral --shift 1"
  "rgba16-3mp.png --layout spiral --shift 77 --fg 1E3C8C --bg F4ECD8"
  "rgba16-3mp.png --layout normal"
  "rgb-6mp.png --layout spiral --shift 2"
  "gray16-8mp.png --layout spiral --shift 65535"
  # Stopped by the user while the two lanes sieve, and while the host's
  # lane makes the layout's polls and the worker waits.
  "gray-24mp.png --layout spiral --abort-at 20000"
  "gray-24mp.png --layout spiral --abort-at 50000"
)

failed=0
for i in "${!cases[@]}"; do
  read -r -a words <<<"${cases[$i]}"
  input="$work/${words[0]}" options=("${words[@]:1}")
  : >"$work/log"
  run "$host32" apply "$plugin32" "$input" "$work/$i-x86.png" "${options[@]}"
  status32=$?
  run "$host64" apply "$plugin64" "$input" "$work/$i-x64.png" "${options[@]}"
  status64=$?
  problem=""
  if [ "$status32" -ne "$status64" ]; then
    problem="exit status $status32 (32-bit) and $status64 (64-bit)"
  elif [ "$status32" -ne 0 ] && [[ "${cases[$i]}" != *--abort-at* ]]; then
    problem="both runs failed with exit status $status32"
  elif [[ "${cases[$i]}" == *--abort-at* ]] && [ "$(grep -c 'result -128 (userCanceledErr)' "$work/log")" -ne 2 ]; then
    problem="the runs did not both end as the user asked"
  elif [ -e "$work/$i-x86.png" ] || [ -e "$work/$i-x64.png" ]; then
    cmp -s "$work/$i-x86.png" "$work/$i-x64.png" || problem="the output files differ"
  fi
  if [ -z "$problem" ] && [[ "${words[0]}" == *mp.png ]] && command -v taskset >/dev/null; then
    run_on_one_processor "$host64" apply "$plugin64" "$input" "$work/$i-x64-one-lane.png" "${options[@]}"
    status1=$?
    if [ "$status1" -ne "$status64" ]; then
      problem="exit status $status1 on one processor, $status64 on all"
    elif [ -e "$work/$i-x64.png" ] && ! cmp -s "$work/$i-x64.png" "$work/$i-x64-one-lane.png"; then
      problem="the 64-bit plug-in's files on one processor and on all differ"
    fi
  fi
  if [ -n "$problem" ]; then
    echo "FAIL ${cases[$i]}: $problem"
    sed 's/^/    /' "$work/log"
    failed=$((failed + 1))
  else
    echo "same: ${cases[$i]} (exit status $status32)"
  fi
done
echo "$(( ${#cases[@]} - failed )) of ${#cases[@]} cases identical"
[ "$failed" -eq 0 ]
