#!/usr/bin/env bash
# What the saver costs at its frame rates and on battery: process CPU seconds
# (utime + stime of every thread, llvmpipe's included, from /proc/PID/stat)
# per minute of a 640x360 window on a private Xvfb, for 30 frames a second,
# on battery (UPower mocked by python3-dbusmock on a private bus standing in
# for the system bus: 15 a second), --frame-rate 10, and --power pause on
# battery. Without music (--no-sound), so the figures are the drawing's.
# usage: bench/power/power-cost.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
veltrix=$(realpath "${1:-build}")/veltrix
span=${2:-60}
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
run() {
  local name=$1 onBattery=$2
  shift 2
  battery "$onBattery"
  DISPLAY=$display DBUS_SYSTEM_BUS_ADDRESS=$bus ALSOFT_DRIVERS=null \
    "$veltrix" --x11 --size 640x360 --no-sound --verbose "$@" 2>"$dir/$name.log" &
  local pid=$!
  sleep 3 # start-up and the first frames
  local before
  before=$(ticks "$pid")
  sleep "$span"
  local used=$(($(ticks "$pid") - before))
  kill -INT "$pid"
  wait "$pid" || true
  local perMinute
  perMinute=$(echo "$used / $hz * 60 / $span" | bc -l)
  [ -n "$base" ] || base=$perMinute
  printf '%-16s %6.2f CPU s/min  %5.1f %% of 30 fps  (%s)\n' "$name" "$perMinute" \
    "$(echo "100 * $perMinute / $base" | bc -l)" "$(grep -o '[0-9]* frames at [0-9.]* a second' "$dir/$name.log" | head -1)"
}
run "30 fps" false
run "on battery" true
run "--frame-rate 10" false --frame-rate 10
run "--power pause" true --power pause
