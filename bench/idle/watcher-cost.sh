#!/usr/bin/env bash
# What veltrix --idle costs while it waits: its CPU time (utime + stime from
# /proc/PID/stat) over 60 s and its resident memory, on a headless sway (the
# org_kde_kwin_idle path) and a headless mutter (GNOME's idle monitor over
# D-Bus). As root; sway runs as nobody.
# usage: bench/idle/watcher-cost.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
veltrix=$(realpath "${1:-build}")/veltrix
span=${2:-60}
sway_dir=$(mktemp -d /tmp/veltrix-bench-sway-XXXXXX)
mutter_dir=$(mktemp -d /tmp/veltrix-bench-mutter-XXXXXX)
chown nobody:nogroup "$sway_dir"
echo 'xwayland disable' >"$sway_dir/config"
chmod 644 "$sway_dir/config"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$sway_dir" "$mutter_dir"
}
trap cleanup EXIT

(cd /tmp && exec setpriv --reuid=nobody --regid=nogroup --clear-groups env -i XDG_RUNTIME_DIR="$sway_dir" \
  WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$sway_dir/config" >"$sway_dir/log" 2>&1) &
pids+=($!)
(cd /tmp && XDG_RUNTIME_DIR="$mutter_dir" HOME="$mutter_dir" exec dbus-run-session -- sh -c \
  "echo \"\$DBUS_SESSION_BUS_ADDRESS\" >$mutter_dir/bus; echo \$\$ >$mutter_dir/pid; exec mutter --headless --wayland --no-x11 --virtual-monitor 1280x720 --wayland-display bench" \
  >"$mutter_dir/log" 2>&1) &
for _ in $(seq 100); do
  [ -s "$mutter_dir/pid" ] && ls "$sway_dir" | grep -q '^wayland-[0-9]*$' && [ -S "$mutter_dir/bench" ] && break
  sleep 0.2
done
pids=("$(cat "$mutter_dir/pid")" "${pids[@]}")
sleep 2 # mutter's idle monitor comes up after its socket
socket=$(ls "$sway_dir" | grep '^wayland-[0-9]*$' | head -1)

XDG_RUNTIME_DIR="$sway_dir" WAYLAND_DISPLAY=$socket "$veltrix" --idle 3600 2>"$sway_dir/watcher.log" &
on_sway=$!
XDG_RUNTIME_DIR="$mutter_dir" WAYLAND_DISPLAY=bench DBUS_SESSION_BUS_ADDRESS=$(cat "$mutter_dir/bus") \
  "$veltrix" --idle 3600 2>"$mutter_dir/watcher.log" &
on_mutter=$!
pids=("$on_sway" "$on_mutter" "${pids[@]}")
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
report() {
  local name=$1 pid=$2 before=$3
  printf '%-7s CPU ticks over %s s: %s (1 tick = 1/%s s); %s\n' "$name" "$span" "$(($(ticks "$pid") - before))" \
    "$(getconf CLK_TCK)" "$(grep -E '^(VmRSS|VmHWM|Threads)' "/proc/$pid/status" | tr -s ' \t' ' ' | tr '\n' ' ')"
}
sway_before=$(ticks "$on_sway") mutter_before=$(ticks "$on_mutter")
sleep "$span"
report sway "$on_sway" "$sway_before"
report mutter "$on_mutter" "$mutter_before"
