#!/usr/bin/env bash
# What the saver costs at its frame rates and on battery: process CPU seconds
# (utime + stime of every thread, llvmpipe's included, from /proc/PID/stat)
# per minute of a 640x360 window (or WxH) on a private Xvfb, for 30 frames a second,
# on battery (UPower mocked by python3-dbusmock on a private bus standing in
# for the system bus: 15 a second), --frame-rate 10, and --power pause on
# battery. Without music (--no-sound), so the figures are the drawing's.
# RENDER_SCALE=1 holds the render scale, so that auto's choice (a smaller
# frame at 30 a second than at 15) does not blur the comparison.
# usage: bench/power/power-cost.sh [BUILD_DIR] [SECONDS] [WxH]
set -euo pipefail
veltrix=$(realpath "${1:-build}")/veltrix
span=${2:-60}
size=${3:-640x360}
dir=$(mktemp -d /tmp/veltrix-bench-power-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

display=:$((200 + RANDOM % 300))
Xvfb "$display" -screen 0 800x600x24 -noreset >"$dir/xvfb.log" 2>&1 &
pids+=($!)
bus=unix:path=$dir/bus
dbus-daemon --session --nofork --nopidfile --address="$bus" >"$dir/bus.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$dir/bus" ] && break; sleep 0.1; done
DBUS_SYSTEM_BUS_ADDRESS=$bus /usr/bin/python3 -m dbusmock --system --template upower -p '{"OnBattery": false}' \
  >"$dir/mock.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  gdbus call --address "$bus" --dest org.freedesktop.UPower --object-path /org/freedesktop/UPower \
    --method org.freedesktop.DBus.Properties.Get org.freedesktop.UPower OnBattery >/dev/null 2>&1 && break
  sleep 0.1
done
battery() {
  gdbus call --address "$bus" --dest org.freedesktop.UPower --object-path /org/freedesktop/UPower \
    --method org.freedesktop.DBus.Properties.Set org.freedesktop.UPower OnBattery "<$1>" >/dev/null
}

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
base=""
# Frames the window has drawn so far, from the report SIGUSR1 asks for.
drawn() {
  local log=$1 pid=$2 lines
  lines=$(wc -l <"$log")
  kill -USR1 "$pid"
  for _ in $(seq 50); do
    [ "$(wc -l <"$log")" -gt "$lines" ] && break
    sleep 0.1
  done
  tail -n +"$((lines + 1))" "$log" | sed -n 's/.* drew \([0-9]*\) frames.*/\1/p' | tail -1
}
run() {
  local name=$1 onBattery=$2
  shift 2
  battery "$onBattery"
  local log=$dir/${name// /_}.log
  DISPLAY=$display DBUS_SYSTEM_BUS_ADDRESS=$bus ALSOFT_DRIVERS=null \
    "$veltrix" --x11 --size "$size" --no-sound --verbose ${RENDER_SCALE:+--render-scale "$RENDER_SCALE"} "$@" 2>"$log" &
  local pid=$!
  sleep 3 # start-up and the first frames
  local before first
  before=$(ticks "$pid")
  first=$(drawn "$log" "$pid")
  sleep "$span"
  local used=$(($(ticks "$pid") - before)) frames=$(($(drawn "$log" "$pid") - first))
  kill -INT "$pid"
  wait "$pid" || true
  local perMinute
  perMinute=$(echo "$used / $hz * 60 / $span" | bc -l)
  [ -n "$base" ] || base=$perMinute
  printf '%-16s %6.2f CPU s/min  %5.1f %% of the first  %5.1f frames/s  %s\n' "$name" "$perMinute" \
    "$(echo "100 * $perMinute / $base" | bc -l)" "$(echo "$frames / $span" | bc -l)" \
    "$([ "$frames" -gt 0 ] && printf '%.1f ms CPU/frame' "$(echo "1000 * $used / $hz / $frames" | bc -l)")"
}
run "30 fps" false
run "on battery" true
run "--frame-rate 10" false --frame-rate 10
run "--power pause" true --power pause
