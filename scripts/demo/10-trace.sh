#!/usr/bin/env bash
# The trace log: a listener serves the debug pipe, a host writes lines, the listener prints them.
set -euo pipefail
KST=${KST:-$1/tools/kst}
printf '\n=== Trace log: a debug listener and a host ===\n'
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR=$runtime
echo "\$ kst trace-listen --pipe demo --count 3 &"
"$KST" trace-listen --pipe demo --count 3 &
listener=$!
for _ in $(seq 100); do [ -S "$runtime/kst-pipe/demo" ] && break; sleep 0.05; done
echo '$ kst trace --pipe demo --thread-id "disk A: ready" "span started" "span done"'
"$KST" trace --pipe demo --thread-id "disk A: ready" "span started" "span done"
wait "$listener"
