#!/usr/bin/env bash
# Shows what the library does, through the kst host program. $1: the build folder.
set -euo pipefail
build=${1:-build}
export KST="$build/tools/kst"
export KST_BUILD="$build"

section() { printf '\n=== %s ===\n' "$1"; }

section "The host program"
"$KST" version
"$KST" --help

for part in scripts/demo/*.sh; do
  [ -e "$part" ] || continue
  bash "$part" "$build"
done
