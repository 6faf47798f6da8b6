#!/usr/bin/env bash
# `make bench`: every benchmark program, medians over five repetitions.
set -euo pipefail
build=${1:-build}
for b in "$build"/bench/*/veltrix_bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
done
