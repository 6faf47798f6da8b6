#!/usr/bin/env bash
# How many frames each view of veltrix --all-screens draws on two outputs of
# a headless sway in the same SECONDS (SIGTERM and --verbose's count): every
# output should get as many as the main one.
# usage: bench/hosts/frames-per-output.sh VELTRIX [SECONDS] [SIZE]
set -euo pipefail
veltrix=$(realpath "$1") seconds=${2:-13} size=${3:-640x360}
width=${size%x*}
work=$(mktemp -d /tmp/veltrix-frames-XXXXXX)
chown nobody:nogroup "$work" && chmod 700 "$work"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

printf 'output HEADLESS-1 mode --custom %s position 0 0\noutput HEADLESS-2 mode --custom %s position %s 0\n' \
  "$size" "$size" "$width" >"$work/config"
chmod 644 "$work/config"
env -i PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$work" WLR_BACKENDS=headless WLR_RENDERER=pixman \
  WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=2 \
  setpriv --reuid=nobody --regid=nogroup --clear-groups sway -c "$work/config" >"$work/sway.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do ls "$work"/wayland-? >/dev/null 2>&1 && break; sleep 0.1; done
socket=$(ls "$work"/wayland-?)

env -u DISPLAY WAYLAND_DISPLAY="$socket" ALSOFT_DRIVERS=null "$veltrix" --all-screens --verbose --no-sound \
  2>"$work/err.txt" &
pid=$!
pids+=($pid)
sleep "$seconds"
kill -TERM "$pid"
wait "$pid" || true
grep -o 'HEADLESS-[12] drew [0-9]* frames' "$work/err.txt" | tr '\n' ' '
echo "(load $(cut -d' ' -f1 /proc/loadavg))"
