#!/usr/bin/env bash
# Runs every benchmark of bench/ against its peer and prints the ratios. $1: the build folder.
set -uo pipefail
build=${1:-build}
for program in "$build"/bench/bench_*; do
  [ -x "$program" ] || continue
  printf '\n=== %s ===\n' "$(basename "$program")"
  "$program"
done
for script in bench/bench_*.sh; do
  [ -e "$script" ] || continue
  printf '\n=== %s ===\n' "$(basename "$script")"
  bash "$script" "$build"
done
