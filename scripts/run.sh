#!/usr/bin/env bash
# The main job of `make run`. Until the renderer lands it packs a folder and lists it.
set -euo pipefail
build=${1:-build}
if [ -x "$build/veltrix-pack" ]; then
  tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
  mkdir -p "$tmp/in/textures"; echo "hello from veltrix" > "$tmp/in/textures/readme.txt"
  "$build/veltrix-pack" create "$tmp/demo.dat" "$tmp/in"
  "$build/veltrix-pack" list "$tmp/demo.dat"
else
  echo "veltrix: nothing to run yet"
fi
