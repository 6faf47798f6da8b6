#!/usr/bin/env bash
# veltrix --all-screens on two 1280x720 outputs of a headless sway against
# two 1280x720 monitors of an Xvfb, in the same run, alternating: how long
# after the process started the first frames were on every output (module
# load and music included), the frame time, the process's CPU and its peak
# memory over SECONDS of running.
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
Xvfb :97 -screen 0 2560x720x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do ls "$work"/wayland-? >/dev/null 2>&1 && [ -e /tmp/.X11-unix/X97 ] && break; sleep 0.1; done
socket=$(ls "$work"/wayland-?)
DISPLAY=:97 xrandr --setmonitor VL 1280/338x720/190+0+0 screen >/dev/null
DISPLAY=:97 xrandr --setmonitor '*VR' 1280/338x720/190+1280+0 none >/dev/null

# One run: prints "first-frames-s frame-median-ms cpu-percent peak-rss-MB".
run() {
  local err=$work/err.txt
  "$@" --all-screens --verbose 2>"$err" &
  local pid=$!
  for _ in $(seq 600); do grep -q "first frames presented" "$err" && break; sleep 0.05; done
  local cpu0 t0
  cpu0=$(awk '{print $14+$15}' /proc/$pid/stat); t0=$(date +%s.%N)
  sleep "$seconds"
  local cpu1 t1 hwm
  cpu1=$(awk '{print $14+$15}' /proc/$pid/stat); t1=$(date +%s.%N)
  hwm=$(awk '/VmHWM/ {print $2}' /proc/$pid/status)
  kill -TERM $pid; wait $pid || true
  local first median
  first=$(sed -n 's/.*first frames presented \([0-9.]*\) s.*/\1/p' "$err")
  median=$(sed -n 's/.*frame median \([0-9.]*\) ms.*/\1/p' "$err")
  awk -v f="$first" -v m="$median" -v c0="$cpu0" -v c1="$cpu1" -v t0="$t0" -v t1="$t1" -v h="$hwm" -v tck="$(getconf CLK_TCK)" \
    'BEGIN { printf "%s s  %s ms  %.0f %%  %.0f MB\n", f, m, 100 * (c1 - c0) / tck / (t1 - t0), h / 1024 }'
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for r in $(seq "$rounds"); do
  echo "round $r  wayland (sway, 2 outputs): $(unset DISPLAY; XDG_RUNTIME_DIR=$work WAYLAND_DISPLAY=$socket ALSOFT_DRIVERS=null run "$veltrix")"
  echo "round $r  x11 (Xvfb, 2 monitors):    $(unset WAYLAND_DISPLAY; DISPLAY=:97 ALSOFT_DRIVERS=null run "$veltrix")"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
