#!/usr/bin/env bash
# Builds the fuzz targets with clang under ASan and UBSan in their own build
# folder and runs each for FUZZ_SECONDS (default 60) on a scratch copy of its
# seed corpus, so the corpus in the repository never grows. Inputs under
# fuzz/regressions/<name> are replayed first. Fails on the first finding and
# leaves it in <build>/findings/<name>/. An input counts as a hang after 30 s:
# on a busy machine a few ms of work can wait for the CPU for seconds.
#   scripts/fuzz.sh [BUILD_DIR]      (default build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-$(nproc)}

cmake -S . -B "$build" -DVELTRIX_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$jobs"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for program in "$build"/fuzz/*_fuzz; do
  name=$(basename "$program" _fuzz)
  cp -r "fuzz/corpus/$name" "$scratch/$name"
  inputs=("$scratch/$name")
  [ -d "fuzz/regressions/$name" ] && inputs+=("fuzz/regressions/$name")
  findings="$build/findings/$name"
  mkdir -p "$findings"
  echo "fuzz: $name for ${seconds}s"
  if ! "$program" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
      -artifact_prefix="$findings/" "${inputs[@]}" >"$build/findings/$name.log" 2>&1; then
    tail -n 40 "$build/findings/$name.log" >&2
    echo "veltrix: fuzz target $name failed; its input is in $findings/" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units' "$build/findings/$name.log" || true
done
