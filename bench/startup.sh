#!/usr/bin/env bash
# Start-up, frame times and peak memory of two builds of veltrix, run
# interleaved so that both see the same load: a build against the one before
# it, with and without music.
#   bench/startup.sh NEW_BUILD_DIR OLD_BUILD_DIR [REPETITIONS]
# Prints one line per run and then the medians. Needs Xvfb and GNU time.
# FRAMES (300), SIZE (1280x720) and HEADLESS_REPS (half the repetitions)
# size the headless runs, HEADLESS=0 leaves them out; WINDOW_REPS (the
# repetitions) counts the window runs.
#  - window: 1280x720 under Xvfb, `veltrix --verbose`, the line "first
#    frames presented X s after the process started";
#  - headless: `veltrix --headless --no-pacing --size 1280x720 --frames 300`
#    (OpenAL's null output), its render median and max, and the peak RSS.
set -euo pipefail

new=${1:?usage: startup.sh NEW_BUILD_DIR OLD_BUILD_DIR [REPETITIONS]}
old=${2:?usage: startup.sh NEW_BUILD_DIR OLD_BUILD_DIR [REPETITIONS]}
reps=${3:-5}
frames=${FRAMES:-300}
size=${SIZE:-1280x720}
windowReps=${WINDOW_REPS:-$reps}
work=$(mktemp -d)
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1
export ALSOFT_DRIVERS=null

uptime
# One window start: the seconds to the first frames, from the line veltrix prints.
window() {
  local build=$1
  shift
  DISPLAY=$display timeout -s TERM 6 "$build/veltrix" --verbose --module "$build/Veltrix.saver" "$@" >"$work/wlog" 2>&1 || true
  sed -n 's/.*first frames presented \([0-9.]*\) s after.*(\([0-9.]*\) s of CPU).*/\1 \2/p' "$work/wlog" | head -1
}
# One headless recording: render median, max (ms) and peak RSS (KiB).
headless() {
  local build=$1
  shift
  rm -rf "$work/out"
  /usr/bin/time -f 'rss %M' "$build/veltrix" --headless --no-pacing --size "$size" --frames "$frames" \
    --output "$work/out" --module "$build/Veltrix.saver" "$@" >"$work/log" 2>&1 || true
  local median max rss
  median=$(sed -n 's/.*render median \([0-9.]*\) ms.*/\1/p' "$work/log")
  max=$(sed -n 's/.* max \([0-9.]*\) ms.*/\1/p' "$work/log")
  rss=$(sed -n 's/^rss \([0-9]*\)/\1/p' "$work/log")
  echo "$median $max $rss"
}

declare -A results
variants=("new music" "old music" "new no-sound" "old no-sound")
for ((r = 1; r <= windowReps; ++r)); do
  for v in "${variants[@]}"; do
    set -- $v
    build=$new
    [ "$1" = old ] && build=$old
    opts=()
    [ "$2" = no-sound ] && opts=(--no-sound)
    w=$(window "$build" "${opts[@]}")
    echo "run $r window   $v: ${w:-failed} (s wall, s CPU)"
    results["window $v"]+="${w%% *} "
    results["windowcpu $v"]+="${w##* } "
  done
done
if [ "${HEADLESS:-1}" = 1 ]; then
  for ((r = 1; r <= ${HEADLESS_REPS:-(reps + 1) / 2}; ++r)); do
    for v in "${variants[@]}"; do
      set -- $v
      build=$new
      [ "$1" = old ] && build=$old
      opts=()
      [ "$2" = no-sound ] && opts=(--no-sound)
      h=$(headless "$build" "${opts[@]}")
      echo "run $r headless $v: render median, max (ms), peak RSS (KiB): $h"
      read -r median max rss <<<"$h"
      results["median $v"]+="$median "
      results["max $v"]+="$max "
      results["rss $v"]+="$rss "
    done
  done
fi

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {if (NR) print a[int((NR + 1) / 2)]; else print "-"}'; }
echo
for key in window windowcpu median max rss; do
  for v in "${variants[@]}"; do
    [ -n "${results[$key $v]:-}" ] && echo "median $key $v: $(echo "${results[$key $v]}" | median)   (runs: ${results[$key $v]})"
  done
done
uptime
