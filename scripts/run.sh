#!/usr/bin/env bash
# The main job of `make run`. With a display it shows the saver in its window
# (Escape or q quits). Without one it records 10 s of the saver at 640x360,
# paced at 30 frames a second, into out/ with its sound, and says where the
# frames are.
set -euo pipefail
build=${1:-build}
veltrix="$build/veltrix"
pack="$build/Veltrix.saver/Contents/Resources/media.dat"

if [ ! -x "$veltrix" ]; then
  echo "run: $veltrix is missing (build it with make)" >&2
  exit 1
fi
if [ ! -f "$pack" ]; then
  echo "run: the media pack $pack is missing (the build makes it)" >&2
  exit 1
fi

# A DISPLAY left over from a closed session would make the window fail, so
# the display must answer, and quickly.
if [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && timeout 5 xdpyinfo >/dev/null 2>&1; then
  echo "run: showing the saver in a window on display $DISPLAY (Escape or q quits)"
  exec "$veltrix"
fi

# The music goes into a WAVE file beside the frames, through OpenAL Soft's
# wave backend, so no sound card is needed.
mkdir -p out
"$veltrix" --headless --size 640x360 --frames 300 --output out --audio out/audio.wav
echo "run: 300 frames (10 s at 30 frames a second) in $(pwd)/out/: frame-00001.png to frame-00300.png"
echo "run: the music of those 10 s in $(pwd)/out/audio.wav"
