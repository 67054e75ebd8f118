#!/usr/bin/env bash
# Property sets: a host stores typed values in an archive file, reads them back as a tree,
# and a damaged file is refused with the framework's archive error.
set -euo pipefail
KST=${KST:-$1/tools/kst}
printf '\n=== Property sets in an archive file ===\n'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo '$ kst props-write params.bin Error.Code=5 Error.Operation=Copy Host=build01'
"$KST" props-write "$work/params.bin" Error.Code=5 Error.Operation=Copy Host=build01
echo '$ kst props-show params.bin'
"$KST" props-show "$work/params.bin"
echo '$ od -A d -t x1 params.bin   (class tags, keys in the framework'"'"'s bucket order, values)'
od -A d -t x1 "$work/params.bin"
echo '$ kst props-show cut.bin   (the first 30 bytes only)'
head -c 30 "$work/params.bin" >"$work/cut.bin"
"$KST" props-show "$work/cut.bin" 2>&1 || echo "(exit code $?)"
