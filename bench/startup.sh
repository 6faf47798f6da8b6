#!/usr/bin/env bash
# Start-up, frame times and peak memory of two builds of veltrix, run
# interleaved so that both see the same load: a build against the one before
# it, with and without music.
#   bench/startup.sh NEW_BUILD_DIR OLD_BUILD_DIR [REPETITIONS]
# OLD_BUILD_DIR "-" runs the one build alone, music on against --no-sound.
# Prints one line per run and then the medians. Needs Xvfb, GNU time and a C
# compiler (for the CPU reading below).
# FRAMES (300), SIZE (1280x720) and HEADLESS_REPS (half the repetitions)
# size the headless runs, HEADLESS=0 leaves them out; WINDOW_REPS (the
# repetitions) counts the window runs. AUDIO=null (the default) plays into
# OpenAL's null output, as a machine with a sound card would; AUDIO=default
# keeps OpenAL's own choice, which on a machine without a sound card opens
# no device at all (what a new user of a virtual machine gets).
#  - window: 1280x720 under Xvfb, `veltrix --verbose --x11`, the line "first
#    frames presented X s after the process started (Y s of CPU)", and the
#    process's CPU time read with the clock's full precision at the moment
#    that line is printed (a preloaded shim; the line's own figure counts
#    whole hundredths);
#  - headless: `veltrix --headless --no-pacing --size 1280x720 --frames 300`
#    (OpenAL's null output), its render median and max, and the peak RSS.
set -euo pipefail

new=${1:?usage: startup.sh NEW_BUILD_DIR OLD_BUILD_DIR [REPETITIONS]}
old=${2:?usage: startup.sh NEW_BUILD_DIR OLD_BUILD_DIR [REPETITIONS]}
reps=${3:-5}
frames=${FRAMES:-300}
size=${SIZE:-1280x720}
windowReps=${WINDOW_REPS:-$reps}
work=$(mktemp -d)
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1
case ${AUDIO:-null} in
  null) export ALSOFT_DRIVERS=null ;;
  default) unset ALSOFT_DRIVERS ALSOFT_CONF ;;
  *) echo "startup.sh: AUDIO is null or default" >&2; exit 1 ;;
esac

# Reads the process's CPU clock when veltrix prints its first-frames line.
cat >"$work/cpuclock.c" <<'SHIM'
#define _GNU_SOURCE
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
int fprintf(FILE* f, const char* format, ...)
{
    if (strncmp(format, "veltrix: first frames", 21) == 0) {
        struct timespec cpu;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
        fprintf(f, "cpuclock: %.4f s of CPU at the first frames\n", cpu.tv_sec + cpu.tv_nsec * 1e-9);
    }
    va_list args;
    va_start(args, format);
    const int n = vfprintf(f, format, args);
    va_end(args);
    return n;
}
SHIM
cc -shared -fPIC -O2 -o "$work/cpuclock.so" "$work/cpuclock.c"

uptime
# One window start: the seconds to the first frames and the CPU seconds by
# then, from the line veltrix prints, and the precise CPU seconds.
window() {
  local build=$1
  shift
  DISPLAY=$display LD_PRELOAD="$work/cpuclock.so" timeout -s TERM 6 "$build/veltrix" --verbose --x11 \
    --module "$build/Veltrix.saver" "$@" >"$work/wlog" 2>&1 || true
  local line cpu
  line=$(sed -n 's/.*first frames presented \([0-9.]*\) s after.*(\([0-9.]*\) s of CPU).*/\1 \2/p' "$work/wlog" | head -1)
  cpu=$(sed -n 's/^cpuclock: \([0-9.]*\) s.*/\1/p' "$work/wlog" | head -1)
  [ -n "$line" ] && echo "$line${cpu:+ $cpu}"
}
# One headless recording: render median, max (ms) and peak RSS (KiB).
headless() {
  local build=$1
  shift
  rm -rf "$work/out"
  /usr/bin/time -f 'rss %M' "$build/veltrix" --headless --no-pacing --size "$size" --frames "$frames" \
    --output "$work/out" --module "$build/Veltrix.saver" "$@" >"$work/log" 2>&1 || true
  local median max rss
  median=$(sed -n 's/.*render median \([0-9.]*\) ms.*/\1/p' "$work/log")
  max=$(sed -n 's/.* max \([0-9.]*\) ms.*/\1/p' "$work/log")
  rss=$(sed -n 's/^rss \([0-9]*\)/\1/p' "$work/log")
  echo "$median $max $rss"
}

declare -A results
variants=("new music" "old music" "new no-sound" "old no-sound")
[ "$old" = - ] && variants=("new music" "new no-sound")
for ((r = 1; r <= windowReps; ++r)); do
  for v in "${variants[@]}"; do
    set -- $v
    build=$new
    [ "$1" = old ] && build=$old
    opts=()
    [ "$2" = no-sound ] && opts=(--no-sound)
    w=$(window "$build" "${opts[@]}")
    echo "run $r window   $v: ${w:-failed} (s wall, s CPU, s CPU precise)"
    read -r wall cpu precise <<<"$w"
    results["window $v"]+="${wall:-} "
    results["windowcpu $v"]+="${cpu:-} "
    results["precisecpu $v"]+="${precise:-} "
  done
done
if [ "${HEADLESS:-1}" = 1 ]; then
  for ((r = 1; r <= ${HEADLESS_REPS:-(reps + 1) / 2}; ++r)); do
    for v in "${variants[@]}"; do
      set -- $v
      build=$new
      [ "$1" = old ] && build=$old
      opts=()
      [ "$2" = no-sound ] && opts=(--no-sound)
      h=$(headless "$build" "${opts[@]}")
      echo "run $r headless $v: render median, max (ms), peak RSS (KiB): $h"
      read -r median max rss <<<"$h"
      results["median $v"]+="$median "
      results["max $v"]+="$max "
      results["rss $v"]+="$rss "
    done
  done
fi

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {if (NR) print a[int((NR + 1) / 2)]; else print "-"}'; }
echo
for key in window windowcpu precisecpu median max rss; do
  for v in "${variants[@]}"; do
    [ -n "${results[$key $v]:-}" ] && echo "median $key $v: $(echo "${results[$key $v]}" | median)   (runs: ${results[$key $v]})"
  done
done
# The music's own cost, round by round: music on less --no-sound of the same
# build in the same round.
for b in new old; do
  for key in windowcpu precisecpu; do
    on=${results[$key $b music]:-}
    off=${results[$key $b no-sound]:-}
    [ -n "$on" ] && [ -n "$off" ] || continue
    diffs=$(paste -d' ' <(tr -s ' ' '\n' <<<"$on" | grep -v '^$') <(tr -s ' ' '\n' <<<"$off" | grep -v '^$') |
      awk '{printf "%.4f ", $1 - $2}')
    echo "median $key music less no-sound, $b: $(echo "$diffs" | median)   (rounds: $diffs)"
  done
done
uptime
