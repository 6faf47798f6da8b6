#!/usr/bin/env bash
# MATE's screen saver, the real daemon (mate-screensaver 1.26), runs Veltrix
# from its desktop entry on Xvfb: the scene on the monitor,
# the music through a sound server
# the daemon's stripped environment does not name (no XDG_RUNTIME_DIR); its
# preferences' preview is silent. The entry and the program's link are put
# where the daemon looks in a private mount namespace, so the machine's /usr
# stays as it is. Sound goes to a PulseAudio server of the test's own, with a
# null sink, in /run/user/UID (also private to the namespace).
# usage: mate.sh VELTRIX DIST_DIR
set -euo pipefail
veltrix=$(realpath "$1") dist=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
for p in mate-screensaver mate-screensaver-command mate-screensaver-preferences pulseaudio pactl Xvfb xrandr \
  xwininfo dbus-run-session gsettings unshare; do
  command -v "$p" >/dev/null || {
    echo "SKIP: $p is not installed" >&2
    exit 77
  }
done
if [ -z "${VELTRIX_MATE_NAMESPACE:-}" ]; then
  exec unshare --mount env VELTRIX_MATE_NAMESPACE=1 bash "$0" "$@"
fi

scratch=$(mktemp -d /tmp/veltrix-mate-XXXXXX)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# Where the daemon looks, in this namespace only.
mount --make-rprivate /
mkdir -p "$scratch/libexec/xscreensaver" "$scratch/work" "$scratch/entries" "$scratch/home"
mount -t overlay overlay -o "lowerdir=/usr/libexec,upperdir=$scratch/libexec,workdir=$scratch/work" /usr/libexec
ln -s "$veltrix" /usr/libexec/xscreensaver/veltrix
cp "$dist/veltrix.desktop" "$scratch/entries/"
mkdir -p /usr/share/applications/screensavers 2>/dev/null || true
mount --bind "$scratch/entries" /usr/share/applications/screensavers
runtime=/run/user/$(id -u)
mount -t tmpfs -o mode=0755 tmpfs /run/user
mkdir -m 0700 "$runtime"

# GTK, and with it the daemon, sees one monitor per XRandR output, and Xvfb
# has one: one monitor.
exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp -noreset >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 20 number <&3 || fail "Xvfb did not start: $(cat "$scratch/xvfb.log")"
export DISPLAY=:$number
monitors=1 primary_x=0

env -i HOME="$scratch/home" XDG_RUNTIME_DIR="$runtime" PATH=/usr/bin:/bin pulseaudio -n --daemonize=no \
  --exit-idle-time=-1 -L 'module-null-sink sink_name=null' -L 'module-native-protocol-unix auth-anonymous=1' \
  >"$scratch/pulse.log" 2>&1 &
pids+=($!)
streams() { XDG_RUNTIME_DIR=$runtime pactl list sink-inputs 2>/dev/null | sed -n 's/.*application.process.id = "\([0-9]*\)"/\1/p'; }
for _ in $(seq 100); do [ -S "$runtime/pulse/native" ] && break; sleep 0.2; done
[ -S "$runtime/pulse/native" ] || fail "PulseAudio did not start: $(cat "$scratch/pulse.log")"

# The session: its bus, the settings the preferences would write, the daemon.
env -i HOME="$scratch/home" PATH=/usr/bin:/bin DISPLAY="$DISPLAY" dbus-run-session -- sh -c "
  echo \"\$DBUS_SESSION_BUS_ADDRESS\" >'$scratch/bus'
  gsettings set org.mate.screensaver mode single
  gsettings set org.mate.screensaver themes \"['screensavers-veltrix']\"
  gsettings set org.mate.screensaver lock-enabled false
  exec mate-screensaver --no-daemon" >"$scratch/session.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$scratch/bus" ] && break; sleep 0.2; done
export DBUS_SESSION_BUS_ADDRESS=$(cat "$scratch/bus")
for _ in $(seq 100); do mate-screensaver-command --query >/dev/null 2>&1 && break; sleep 0.2; done

# The processes running the program through the daemon's link, with their window.
savers() { ps -eo pid=,args= | awk '$2 == "/usr/libexec/xscreensaver/veltrix" && $3 == "--root" {print $1}'; }
window_x() {
  local id
  id=$(tr '\0' '\n' <"/proc/$1/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')
  xwininfo -id "$id" | sed -n 's/.*Absolute upper-left X: *//p'
}
scene() { [ "$(python3 "$here/colours.py" "$@")" -gt 10 ]; }
wait_for() {
  for _ in $(seq 150); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

mate-screensaver-command --activate
all_savers() { [ "$(savers | wc -l)" = "$monitors" ]; }
wait_for all_savers || fail "the daemon did not start $monitors savers: $(savers) $(cat "$scratch/session.log")"
wait_for scene 100 100 1080 520 || fail "no scene on the left monitor"
[ "$monitors" = 1 ] || wait_for scene 1380 100 1080 520 || fail "no scene on the right monitor"
one_stream() { [ -n "$(streams)" ]; }
wait_for one_stream || fail "no saver plays through the sound server"
sleep 2 # the other would have opened its stream by now
primary=""
for p in $(savers); do [ "$(window_x "$p")" = "$primary_x" ] && primary=$p; done
[ -n "$primary" ] || fail "no saver on the primary monitor"
[ "$(streams)" = "$primary" ] || fail "streams from '$(streams | tr '\n' ' ')', not only from $primary"
mate-screensaver-command --deactivate
no_savers() { [ -z "$(savers)" ]; }
wait_for no_savers || fail "the savers stayed after --deactivate"

# The preferences dialog shows the theme in its preview, a small window.
env -i HOME="$scratch/home" PATH=/usr/bin:/bin DISPLAY="$DISPLAY" DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" \
  mate-screensaver-preferences >"$scratch/preferences.log" 2>&1 &
pids+=($!)
one_saver() { [ "$(savers | wc -l)" = 1 ]; }
wait_for one_saver || fail "the preferences ran no preview: $(cat "$scratch/preferences.log")"
preview=$(savers)
id=$(tr '\0' '\n' <"/proc/$preview/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')
geometry=$(xwininfo -id "$id")
x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$geometry") y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$geometry")
w=$(sed -n 's/.*Width: *//p' <<<"$geometry") h=$(sed -n 's/.*Height: *//p' <<<"$geometry")
[ "$w" -lt 1280 ] || fail "the preview window is ${w}x$h"
wait_for scene "$x" "$y" "$w" "$h" || fail "no scene in the preview"
sleep 2
[ -z "$(streams)" ] || fail "the preview plays: streams from $(streams | tr '\n' ' ')"
echo "MATE's screen saver: the scene, music found without XDG_RUNTIME_DIR, a silent preview"
