#!/usr/bin/env bash
# File selection: a pattern made from the simple choice of a dialog, shown as the library
# stores it, and the files it selects in a folder tree (the program's reading of the masks).
set -euo pipefail
KST=${KST:-$1/tools/kst}
printf '\n=== File selection: patterns ===\n'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree="$work/project"
mkdir -p "$tree/docs/old" "$tree/src" "$tree/letters"
touch "$tree/README" "$tree/notes.txt" "$tree/Plan.DOC" "$tree/~notes.txt" \
  "$tree/docs/guide.txt" "$tree/docs/old/draft.doc" "$tree/docs/image.png" \
  "$tree/src/main.cpp" "$tree/letters/to-anna.txt"
echo '$ find project -type f | sort'
(cd "$work" && find project -type f | sort)
echo '$ kst pattern-new docs.pat --name Documents --include "*.txt;*.doc" --exclude "~*" --subdirs "docs;letters"'
"$KST" pattern-new "$work/docs.pat" --name Documents --include "*.txt;*.doc" --exclude "~*" \
  --subdirs "docs;letters"
echo '$ kst props-show docs.pat'
"$KST" props-show "$work/docs.pat"
echo '$ kst props-show --xml docs.pat > docs.xml'
"$KST" props-show --xml "$work/docs.pat" | tee "$work/docs.xml"
echo '$ kst select project docs.xml   (the listed subfolders take every file: no --masks-in-subdirs)'
"$KST" select "$tree" "$work/docs.xml"
echo '$ kst pattern-new all.pat --name Documents --include "*.txt;*.doc" --exclude "~*" --all-subdirs --masks-in-subdirs'
"$KST" pattern-new "$work/all.pat" --name Documents --include "*.txt;*.doc" --exclude "~*" \
  --all-subdirs --masks-in-subdirs
echo '$ kst props-show all.pat'
"$KST" props-show "$work/all.pat"
echo '$ kst select project all.pat'
"$KST" select "$tree" "$work/all.pat"
