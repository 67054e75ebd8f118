#!/usr/bin/env bash
# Spanning: a sample archive of a few megabytes over 1.44 MB diskette volumes and back.
set -euo pipefail
BUILD=${1:?build folder}
KST="$BUILD/tools/kst"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

echo "== ZIP spanning: an archive over 1.44 MB volumes and back =="
mkdir -p "$WORK/sample" "$WORK/joined"
seq 1 400000 > "$WORK/sample/numbers.txt"
head -c 2500000 /dev/urandom > "$WORK/sample/photo.raw"
head -c 300000 /dev/urandom > "$WORK/sample/notes.bin"
(cd "$WORK/sample" && zip -q -r ../backup.zip .)
echo "source archive: $(stat -c %s "$WORK/backup.zip") bytes"
"$KST" zip-info "$WORK/backup.zip" | sed 's/^/  /'

COUNT=$("$KST" zip-span "$WORK/backup.zip" "$WORK/diskettes" --size 1457664)
echo "spanned into $COUNT volumes of at most 1457664 bytes:"
(cd "$WORK/diskettes" && find . -type f | sort | while read -r f; do
    printf '  %-22s %8d bytes\n' "$f" "$(stat -c %s "$f")"; done)
echo "the last volume, read on its own:"
"$KST" zip-info "$WORK/diskettes/Disk$COUNT/backup.zip" | sed -n '1,6p' | sed 's/^/  /'

"$KST" zip-join "$WORK/diskettes" "$COUNT" "$WORK/joined/backup.zip"
echo "joined: $(stat -c %s "$WORK/joined/backup.zip") bytes"
unzip -tq "$WORK/joined/backup.zip" | sed 's/^/  unzip -t: /'
if cmp -s "$WORK/backup.zip" "$WORK/joined/backup.zip"; then
    echo "the joined archive equals the source byte for byte"
else
    echo "the joined archive DIFFERS from the source" >&2
    exit 1
fi
