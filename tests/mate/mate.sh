#!/usr/bin/env bash
# MATE's screen saver, the real daemon (mate-screensaver 1.26), runs Veltrix
# from its desktop entry on two monitors: the scene on both, the music from
# the process on the primary one only, through a sound server the daemon's
# stripped environment does not name (no XDG_RUNTIME_DIR); its preferences'
# preview is silent. The entry and the program's link are put
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
# Runs the command until it succeeds, for up to 30 s.
wait_for() {
  for _ in $(seq 150); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}
for p in mate-screensaver mate-screensaver-command mate-screensaver-preferences pulseaudio pactl sway grim \
  setpriv xhost xrandr xwininfo dbus-run-session gsettings unshare; do
  command -v "$p" >/dev/null || {
    echo "SKIP: $p is not installed" >&2
    exit 77
  }
done
if [ -z "${VELTRIX_MATE_NAMESPACE:-}" ]; then
  exec unshare --mount env VELTRIX_MATE_NAMESPACE=1 bash "$0" "$@"
fi

scratch=$(mktemp -d /tmp/veltrix-mate-XXXXXX)
chmod 0755 "$scratch" # sway, as nobody, reaches its folder inside
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

# Two monitors side by side, the left one primary: GTK, and with it the
# daemon, sees a monitor per XRandR output, so the X server is the Xwayland
# of a headless sway with two outputs (sway runs as nobody and lets root in).
# Screenshots come from sway (grim), in the layout's pixels, which are X's.
sway=$scratch/sway
mkdir -m 0700 "$sway"
cat >"$sway/config" <<CONFIG
xwayland force
output HEADLESS-1 mode --custom 1280x720 position 0 0
output HEADLESS-2 mode --custom 1280x720 position 1280 0
exec sh -c 'xhost +si:localuser:root && echo \$DISPLAY >$sway/display'
CONFIG
chown -R nobody:nogroup "$sway"
(cd / && exec setpriv --reuid=nobody --regid=nogroup --clear-groups env -i XDG_RUNTIME_DIR="$sway" \
  WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=2 \
  PATH=/usr/bin:/bin sway -c "$sway/config" >"$scratch/sway.log" 2>&1) &
pids+=($!)
wait_for test -s "$sway/display" || fail "sway and its Xwayland did not start: $(cat "$scratch/sway.log")"
export DISPLAY=$(cat "$sway/display")
xrandr --output XWAYLAND0 --primary
[ "$(xrandr --listmonitors | head -1)" = "Monitors: 2" ] || fail "no two monitors: $(xrandr --listmonitors)"
monitors=2 primary_x=0
screenshot() { XDG_RUNTIME_DIR=$sway WAYLAND_DISPLAY=$(cd "$sway" && ls wayland-[0-9] | head -1) grim -g "$1" -t ppm -; }

env -i HOME="$scratch/home" XDG_RUNTIME_DIR="$runtime" PATH=/usr/bin:/bin pulseaudio -n --daemonize=no \
  --exit-idle-time=-1 -L 'module-null-sink sink_name=null' -L 'module-native-protocol-unix auth-anonymous=1' \
  >"$scratch/pulse.log" 2>&1 &
pids+=($!)
streams() { XDG_RUNTIME_DIR=$runtime pactl list sink-inputs 2>/dev/null | sed -n 's/.*application.process.id = "\([0-9]*\)"/\1/p'; }
wait_for test -S "$runtime/pulse/native" || fail "PulseAudio did not start: $(cat "$scratch/pulse.log")"

# The session: its bus, the settings the preferences would write, the daemon.
env -i HOME="$scratch/home" PATH=/usr/bin:/bin DISPLAY="$DISPLAY" dbus-run-session -- sh -c "
  echo \"\$DBUS_SESSION_BUS_ADDRESS\" >'$scratch/bus'
  gsettings set org.mate.screensaver mode single
  gsettings set org.mate.screensaver themes \"['screensavers-veltrix']\"
  gsettings set org.mate.screensaver lock-enabled false
  exec mate-screensaver --no-daemon" >"$scratch/session.log" 2>&1 &
pids+=($!)
wait_for test -s "$scratch/bus" || fail "the session did not start: $(cat "$scratch/session.log")"
export DBUS_SESSION_BUS_ADDRESS=$(cat "$scratch/bus")
wait_for mate-screensaver-command --query >/dev/null 2>&1 || fail "the daemon did not answer: $(cat "$scratch/session.log")"

# The processes running the program through the daemon's link, with their window.
savers() { ps -eo pid=,args= | awk '$2 == "/usr/libexec/xscreensaver/veltrix" && $3 == "--root" {print $1}'; }
window() { xwininfo -id "$(tr '\0' '\n' <"/proc/$1/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')"; }
field() { sed -n "s/.*$1: *//p" <<<"$2"; } # NAME XWININFO
scene() { [ "$(screenshot "$1,$2 $3x$4" | python3 "$here/colours.py")" -gt 10 ]; }

mate-screensaver-command --activate
all_savers() { [ "$(savers | wc -l)" = "$monitors" ]; }
wait_for all_savers || fail "the daemon did not start $monitors savers: $(savers) $(cat "$scratch/session.log")"
wait_for scene 100 100 1080 520 || fail "no scene on the left monitor"
wait_for scene 1380 100 1080 520 || fail "no scene on the right monitor"
one_stream() { [ -n "$(streams)" ]; }
wait_for one_stream || fail "no saver plays through the sound server"
sleep 2 # the other would have opened its stream by now
primary=""
for p in $(savers); do [ "$(field "Absolute upper-left X" "$(window "$p")")" = "$primary_x" ] && primary=$p; done
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
geometry=$(window "$(savers)")
x=$(field "Absolute upper-left X" "$geometry") y=$(field "Absolute upper-left Y" "$geometry")
w=$(field Width "$geometry") h=$(field Height "$geometry")
[ "$w" -lt 1280 ] || fail "the preview window is ${w}x$h"
# On the primary monitor, where a window covering the monitor would play.
[ "$x" -lt 1280 ] || fail "the preferences opened on the other monitor (x $x)"
wait_for scene "$x" "$y" "$w" "$h" || fail "no scene in the preview"
sleep 2
[ -z "$(streams)" ] || fail "the preview plays: streams from $(streams | tr '\n' ' ')"
echo "MATE's screen saver: the scene on both monitors, music from the primary one, a silent preview"
