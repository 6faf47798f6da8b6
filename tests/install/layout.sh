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

# --strip, as the package's build installs.
cmake --install "$build" --prefix "$prefix" --strip >/dev/null

bundle=$prefix/lib/veltrix/Veltrix.saver/Contents
for f in bin/veltrix lib/veltrix/Veltrix.saver/Contents/Linux/Veltrix.so \
         share/xscreensaver/config/veltrix.xml share/man/man6/veltrix.6.gz share/veltrix/veltrix-idle.desktop \
         share/applications/screensavers/veltrix.desktop share/doc/veltrix/copyright share/doc/veltrix/changelog.gz; do
  [ -s "$prefix/$f" ] || fail "$f is not installed"
done
for f in share/applications/screensavers/veltrix.desktop share/veltrix/veltrix-idle.desktop; do
  desktop-file-validate "$prefix/$f" || fail "$f does not validate"
done

# What Debian asks of a package: the documents gzipped, the licence in its
# machine-readable form, libraries not executable, nothing left unstripped.
grep -q '^\.TH ' <<<"$(zcat "$prefix/share/man/man6/veltrix.6.gz")" || fail "veltrix.6.gz is not the manual page"
[ "$(zcat "$prefix/share/doc/veltrix/changelog.gz" | head -n 1)" = "veltrix ($version) unstable; urgency=medium" ] ||
  fail "changelog.gz does not begin with version $version"
copyright=$prefix/share/doc/veltrix/copyright
head -n 1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' &&
  grep -q '^License: Expat$' "$copyright" && grep -q '^ THE SOFTWARE IS PROVIDED "AS IS"' "$copyright" ||
  fail "copyright is not the MIT licence in Debian's format"
for f in Veltrix.so VeltrixSheet.so; do
  [ "$(stat -c %a "$bundle/Linux/$f")" = 644 ] || fail "$f has mode $(stat -c %a "$bundle/Linux/$f"), not 644"
done
for f in "$prefix"/bin/veltrix "$bundle"/Linux/*.so; do
  ! grep -qE ' \.(symtab|debug_info) ' <<<"$(readelf -S --wide "$f")" || fail "${f#"$prefix"/} is not stripped"
done
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
