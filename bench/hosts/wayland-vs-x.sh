#!/usr/bin/env bash
# veltrix --all-screens on two 1280x720 outputs of a headless sway against
# two 1280x720 monitors of an Xvfb (two views on each side), alternating in
# the same run: how long after the process started the first frames were on
# every output (module load and music included), the frames each output got
# over SECONDS of running, the frame time, the process's CPU and its peak
# memory.
# usage: bench/hosts/wayland-vs-x.sh BUILD_DIR [ROUNDS] [SECONDS]
set -euo pipefail
build=$(realpath "$1") rounds=${2:-3} seconds=${3:-10}
veltrix=$build/veltrix
work=$(mktemp -d /tmp/veltrix-hosts-XXXXXX)
chown nobody:nogroup "$work" && chmod 700 "$work"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

printf 'output HEADLESS-1 mode --custom 1280x720 position 0 0\noutput HEADLESS-2 mode --custom 1280x720 position 1280 0\n' >"$work/config"
chmod 644 "$work/config"
env -i PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$work" WLR_BACKENDS=headless WLR_RENDERER=pixman \
  WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=2 \
  setpriv --reuid=nobody --regid=nogroup --clear-groups sway -c "$work/config" >"$work/sway.log" 2>&1 &
pids+=($!)
# -noreset: without it the server resets when xrandr disconnects, and the
# monitors set below would be gone before veltrix connects.
exec 3>"$work/display"
Xvfb -displayfd 3 -noreset -screen 0 2560x720x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do ls "$work"/wayland-? >/dev/null 2>&1 && [ -s "$work/display" ] && break; sleep 0.1; done
socket=$(ls "$work"/wayland-?)
display=:$(cat "$work/display")
DISPLAY=$display xrandr --setmonitor VL 1280/338x720/190+0+0 screen >/dev/null
DISPLAY=$display xrandr --setmonitor '*VR' 1280/338x720/190+1280+0 none >/dev/null
monitors=$(DISPLAY=$display xrandr --listmonitors)
if [ "$(grep -c ' 1280/[0-9]*x720/' <<<"$monitors")" -ne 2 ]; then
  echo "wayland-vs-x: the Xvfb does not have two 1280x720 monitors:" >&2
  echo "$monitors" >&2
  exit 1
fi

# One run: prints "first-frames-s frame-median-ms cpu-percent peak-rss-MB frames-per-view".
run() {
  local err=$work/err.txt
  "$@" --all-screens --verbose 2>"$err" &
  local pid=$!
  for _ in $(seq 600); do grep -q "first frames presented" "$err" && break; sleep 0.05; done
  local cpu0 t0
  cpu0=$(awk '{print $14+$15}' /proc/$pid/stat); t0=$(date +%s.%N)
  local before
  kill -USR1 $pid; sleep 0.5; before=$(grep -c ' drew ' "$err" || true)
  sleep "$seconds"
  local cpu1 t1 hwm
  cpu1=$(awk '{print $14+$15}' /proc/$pid/stat); t1=$(date +%s.%N)
  hwm=$(awk '/VmHWM/ {print $2}' /proc/$pid/status)
  kill -USR1 $pid; sleep 0.5
  kill -TERM $pid; wait $pid || true
  local first median frames views
  first=$(sed -n 's/.*first frames presented \([0-9.]*\) s.*/\1/p' "$err")
  median=$(sed -n 's/.*frame median \([0-9.]*\) ms.*/\1/p' "$err" | tail -1)
  # Frames each view drew in the measured seconds: the second report less the first.
  frames=$(awk -v skip="$before" '/ drew [0-9]+ frames/ {
      n++; name = $2; for (i = 3; $i != "drew"; i++) name = name " " $i; count = $(i + 1)
      if (n <= skip) start[name] = count; else if (n <= 2 * skip) printf "%s=%d ", name, count - start[name] }' "$err")
  views=$(grep -c ': \(main\|secondary\) screen' "$err" || true)
  awk -v f="$first" -v m="$median" -v c0="$cpu0" -v c1="$cpu1" -v t0="$t0" -v t1="$t1" -v h="$hwm" \
    -v tck="$(getconf CLK_TCK)" -v fr="$frames" -v v="$views" \
    'BEGIN { printf "%s s  %s ms  %.0f %%  %.0f MB  %d views  frames %s\n", f, m, 100 * (c1 - c0) / tck / (t1 - t0), h / 1024, v, fr }'
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for r in $(seq "$rounds"); do
  echo "round $r  wayland (sway, 2 outputs): $(unset DISPLAY; XDG_RUNTIME_DIR=$work WAYLAND_DISPLAY=$socket ALSOFT_DRIVERS=null run "$veltrix")"
  echo "round $r  x11 (Xvfb, 2 monitors):    $(unset WAYLAND_DISPLAY; DISPLAY=$display ALSOFT_DRIVERS=null run "$veltrix" --x11)"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
