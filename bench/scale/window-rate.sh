#!/usr/bin/env bash
# Frame rate and CPU of the saver in a window under Xvfb, at a render scale
# against another, run alternately so that both see the same load.
#   bench/scale/window-rate.sh BUILD_DIR SIZE [REPETITIONS] [SCALES...]
# e.g. bench/scale/window-rate.sh build 1920x1080 3 auto 1
# Each run: `veltrix --verbose --no-sound --size SIZE --render-scale S`; after
# SETTLE seconds (6: auto's steps are done) the frames drawn and the CPU used
# so far are read (SIGUSR1 makes --verbose report the frames), and again
# MEASURE seconds (10) later. Prints frames a second and CPU (share of one
# core) over that span, the scale auto chose, then the medians.
set -euo pipefail

build=${1:?usage: window-rate.sh BUILD_DIR SIZE [REPETITIONS] [SCALES...]}
size=${2:?usage: window-rate.sh BUILD_DIR SIZE [REPETITIONS] [SCALES...]}
reps=${3:-3}
shift $(($# < 3 ? $# : 3))
scales=("$@")
[ ${#scales[@]} -gt 0 ] || scales=(auto 1)
settle=${SETTLE:-6}
measure=${MEASURE:-10}
work=$(mktemp -d)
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 "${size}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1
export ALSOFT_DRIVERS=null
ticks=$(getconf CLK_TCK)

cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
frames() { sed -n 's/.* drew \([0-9]*\) frames.*/\1/p' "$work/log" | tail -1; }

run() {
  local scale=$1
  DISPLAY=$display "$build/veltrix" --verbose --no-sound --size "$size" --render-scale "$scale" \
    --module "$build/Veltrix.saver" >"$work/log" 2>&1 &
  local pid=$!
  sleep "$settle"
  kill -USR1 $pid
  sleep 0.2
  local f0 c0 t0
  f0=$(frames)
  c0=$(cpu $pid)
  t0=$(date +%s.%N)
  sleep "$measure"
  kill -USR1 $pid
  sleep 0.2
  local f1 c1 t1
  f1=$(frames)
  c1=$(cpu $pid)
  t1=$(date +%s.%N)
  kill -TERM $pid
  wait $pid || true
  local chosen
  chosen=$(sed -n 's/.*render scale \([0-9.]*\).*/\1/p' "$work/log" | tail -1)
  awk -v f0="$f0" -v f1="$f1" -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v tk="$ticks" \
    -v s="$scale" -v ch="${chosen:-1}" \
    'BEGIN { printf "%s %.1f %.2f %s\n", s, (f1 - f0) / (t1 - t0), (c1 - c0) / tk / (t1 - t0), ch }'
}

uptime
echo "scale fps cpu chosen"
for ((i = 0; i < reps; ++i)); do
  for s in "${scales[@]}"; do
    run "$s" | tee -a "$work/all"
  done
done
echo "medians:"
for s in "${scales[@]}"; do
  fps=$(awk -v s="$s" '$1 == s { print $2 }' "$work/all" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  cpu=$(awk -v s="$s" '$1 == s { print $3 }' "$work/all" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  echo "$s: $fps frames a second, CPU $cpu cores"
done
