#!/usr/bin/env bash
# Where a scaled frame's time goes, run alternately so that all see the same
# load: drawing (headless, the scaled size at scale 1), drawing and the blit
# (headless, the full size at the scale), and drawing, blit and presenting
# (a window of the full size under Xvfb at the scale, the loop's frame
# median).
#   bench/scale/breakdown.sh BUILD_DIR SIZE SCALE [REPETITIONS]
# e.g. bench/scale/breakdown.sh build 1920x1080 0.5 3
set -euo pipefail

build=${1:?usage: breakdown.sh BUILD_DIR SIZE SCALE [REPETITIONS]}
size=${2:?usage: breakdown.sh BUILD_DIR SIZE SCALE [REPETITIONS]}
scale=${3:?usage: breakdown.sh BUILD_DIR SIZE SCALE [REPETITIONS]}
reps=${4:-3}
frames=${FRAMES:-150}
seconds=${SECONDS_WINDOW:-8}
w=${size%x*}
h=${size#*x}
small=$(awk -v w="$w" -v h="$h" -v s="$scale" 'BEGIN { printf "%dx%d", int(w * s + 0.5), int(h * s + 0.5) }')
work=$(mktemp -d)
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 "${size}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1
export ALSOFT_DRIVERS=null

headless() {
  "$build/veltrix" --headless --no-pacing --no-sound --frames "$frames" --output "$work/o" "$@" 2>&1 |
    sed -n 's/.*render median \([0-9.]*\) ms.*/\1/p'
}
window() {
  DISPLAY=$display timeout -s TERM "$seconds" "$build/veltrix" --verbose --no-sound --size "$size" \
    --render-scale "$scale" --module "$build/Veltrix.saver" 2>&1 | sed -n 's/.*frame median \([0-9.]*\) ms.*/\1/p' || true
}

uptime
echo "draw($small) draw+blit($size@$scale) window($size@$scale) ms"
for ((i = 0; i < reps; ++i)); do
  echo "$(headless --size "$small") $(headless --size "$size" --render-scale "$scale") $(window)" | tee -a "$work/all"
done
# Median of column $1 of the runs.
median() { cut -d' ' -f"$1" "$work/all" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
draw=$(median 1)
blit=$(median 2)
frame=$(median 3)
awk -v a="$draw" -v b="$blit" -v c="$frame" \
  'BEGIN { printf "medians: drawing %.1f ms, blit %.1f ms, presenting %.1f ms (frame %.1f ms)\n", a, b - a, c - b, c }'
