#!/usr/bin/env bash
# Installs into a scratch prefix and runs the program from there, through the
# link XScreenSaver starts it by, so it must find the installed bundle.
# usage: layout.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/usr
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

bundle=$prefix/lib/veltrix/Veltrix.saver/Contents
for f in bin/veltrix lib/veltrix/Veltrix.saver/Contents/Linux/Veltrix.so \
         share/xscreensaver/config/veltrix.xml share/man/man6/veltrix.6 share/veltrix/veltrix-idle.desktop \
         share/applications/screensavers/veltrix.desktop; do
  [ -s "$prefix/$f" ] || fail "$f is not installed"
done
desktop-file-validate "$prefix/share/applications/screensavers/veltrix.desktop" ||
  fail "veltrix.desktop does not validate"
grep -qx 'Exec=/usr/libexec/xscreensaver/veltrix --root' "$prefix/share/applications/screensavers/veltrix.desktop" ||
  fail "veltrix.desktop does not run the program from MATE's folder"
[ -s "$bundle/Info.ini" ] && [ -s "$bundle/Resources/media.dat" ] || fail "the bundle lacks Info.ini or media.dat"
hack=$prefix/libexec/xscreensaver/veltrix
[ "$(readlink "$hack")" = ../../bin/veltrix ] || fail "hack link is '$(readlink "$hack")'"
[ "$hack" -ef "$prefix/bin/veltrix" ] || fail "hack link does not reach bin/veltrix"

out=$("$hack" --version) || fail "--version through the hack link failed"
[ "${out##* }" = "$version" ] || fail "--version printed '$out', not version $version"

# A recording loads the module and its media from the installed bundle.
export ALSOFT_DRIVERS=null
record() { "$hack" --headless --no-pacing --no-sound --size 32x18 --frames 2 --output "$scratch/out" 2>"$scratch/err"; }
record >/dev/null || fail "recording from the prefix failed: $(cat "$scratch/err")"
[ -s "$scratch/out/frame-00002.png" ] || fail "no frames recorded from the prefix"

# Without the installed module it must say so, not fall back to another bundle.
rm "$bundle/Linux/Veltrix.so"
status=0
record >/dev/null || status=$?
[ "$status" = 1 ] || fail "a missing module gave exit status $status"
[ "$(wc -l <"$scratch/err")" = 1 ] && grep -q '^veltrix: ' "$scratch/err" || fail "missing module: '$(cat "$scratch/err")'"
echo "installed layout ok"
