#!/usr/bin/env bash
# Installs the Debian packages Veltrix builds, runs and tests with.
# Runs apt-get update only when something is missing, so a ready machine starts at once.
set -euo pipefail

PACKAGES=(
  # toolchain and test frameworks
  cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev clang-format
  # fuzzing: clang and its libFuzzer runtime
  clang libclang-rt-14-dev
  # resource pack
  zlib1g-dev libminizip-dev zip unzip
  # graphics: OpenGL, GLU, headless EGL on Mesa, X11 windows, image decoding
  libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri libx11-dev libxrandr-dev libxtst-dev
  libsoil-dev libpng-dev libjpeg-dev xvfb xauth
  # the settings sheet and message box (GTK 3), monitors (XRandR; xrandr splits the test screen)
  libgtk-3-dev x11-xserver-utils
  # the saver's stored settings and bundle info: GLib key files
  libglib2.0-dev
  # sound: OpenAL Soft; libvorbis plays and makes the music; Tremor only for the decoder benchmark and the music check
  libopenal-dev libopenal1 libvorbisidec-dev libvorbis-dev vorbis-tools
  # Wayland: the client library, EGL on Wayland, key maps, the protocols' XML
  # (xdg-shell, xdg-output, ext-idle-notify; KDE's idle; wlroots' layer shell
  # and output power) and wayland-scanner
  libwayland-dev libwayland-bin libegl1-mesa-dev libxkbcommon-dev wayland-protocols
  plasma-wayland-protocols librust-wayland-protocols-dev
  # the window's decorations where the compositor draws none (GNOME, weston):
  # libdecor and its plugin that draws them
  libdecor-0-dev libdecor-0-plugin-1-cairo
  # compositors and tools the Wayland tests drive (headless sway as nobody,
  # weston, mutter under its own session bus; screen copies, key input)
  sway grim wtype weston mutter dbus util-linux
  # power awareness: UPower and power-profiles-daemon stand-ins on a private
  # system bus; MATE's screen saver, a host that lists savers by desktop entry,
  # and a sound server of its test's own
  python3-dbusmock mate-screensaver desktop-file-utils pulseaudio pulseaudio-utils
  # KDE Plasma's compositor (screenshots over D-Bus, fake input, output management)
  kwin-wayland
  # install checks (xmllint, groff) and the display check of make run (xdpyinfo)
  libxml2-utils groff-base x11-utils
  # make package: Debian's build flags and the package's library dependencies
  # (dpkg-buildflags, dpkg-shlibdeps); lintian is left to whoever checks it
  dpkg-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]} (run as root, or install them)" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
