#!/usr/bin/env bash
# Files: a file's record, and two users announcing through a lock marker that they use a file.
set -euo pipefail
KST=$(realpath "${KST:-$1/tools/kst}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '\n=== Files: a file record ===\n'
printf 'quarterly figures\n' >"$work/budget.xls"
echo "\$ kst file-info budget.xls"
(cd "$work" && "$KST" file-info budget.xls)

printf '\n=== Files: lock markers ===\n'
echo "ann and bob open budget.xls; each adds a block to the marker beside it:"
echo "\$ kst lock budget.xls --user ann --client pc-ann"
ann=$(cd "$work" && "$KST" lock budget.xls --user ann --client pc-ann)
echo "$ann"
echo "\$ kst lock budget.xls --user bob --mode Exclusive --client pc-bob"
bob=$(cd "$work" && "$KST" lock budget.xls --user bob --mode Exclusive --client pc-bob)
echo "$bob"
echo "\$ kst who budget.xls"
(cd "$work" && "$KST" who budget.xls)
echo "ann is done: her block goes (the time is the one lock printed):"
echo "\$ kst unlock budget.xls --user ann --client pc-ann --time ${ann##* }"
(cd "$work" && "$KST" unlock budget.xls --user ann --client pc-ann --time "${ann##* }")
(cd "$work" && "$KST" who budget.xls)
echo "bob is done too: the marker goes with the last block:"
echo "\$ kst unlock budget.xls --user bob --mode Exclusive --client pc-bob --time ${bob##* }"
(cd "$work" && "$KST" unlock budget.xls --user bob --mode Exclusive --client pc-bob \
  --time "${bob##* }")
echo "\$ kst who budget.xls"
(cd "$work" && "$KST" who budget.xls) 2>&1 || echo "(exit code $?)"
ls "$work"
