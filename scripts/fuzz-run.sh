#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build: first each input of its stored corpus once, then new
# inputs for SECONDS seconds, two targets at a time. Any crash, leak, time-out or broken promise
# fails the run; the input that caused it is kept in BUILD/findings.
#   scripts/fuzz-run.sh BUILD SECONDS [TARGET...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:?usage: fuzz-run.sh BUILD SECONDS [TARGET...]}" && pwd)"
seconds="${2:?usage: fuzz-run.sh BUILD SECONDS [TARGET...]}"
shift 2
jobs="${FUZZ_JOBS:-2}"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in "$root"/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
mkdir -p "$build/findings" "$build/fuzz-logs"

run_one() {
  local name="$1" exe="$build/fuzz/kst_fuzz_$1" corpus="$root/fuzz/corpus/$1"
  local log="$build/fuzz-logs/$name.log" fresh="$build/fuzz-logs/$name.new"
  rm -rf "$fresh" && mkdir -p "$fresh"
  local options=(-timeout=60 -rss_limit_mb=2048 -artifact_prefix="$build/findings/$name-"
    -print_final_stats=1)
  # The stored inputs first, each once, then new ones; what is found new stays in the build.
  if ! "$exe" "${options[@]}" -runs=0 "$corpus" > "$log" 2>&1 ||
    ! "$exe" "${options[@]}" -max_total_time="$seconds" "$fresh" "$corpus" >> "$log" 2>&1; then
    echo "fuzz $name: FAILED (log $log)"
    grep -E 'ERROR|kst fuzz:|SUMMARY|Test unit written' "$log" | head -20
    return 1
  fi
  local runs cov
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  echo "fuzz $name: ${runs:-0} executions in ${seconds}s, cov ${cov:-?}, no finding"
}
export -f run_one
export build root seconds

printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {}
