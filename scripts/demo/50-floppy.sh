#!/usr/bin/env bash
# Diskette salvage: a file copied sector by sector from a FAT12 image with two bad sectors.
set -euo pipefail
BUILD=${1:?build folder}
KST="$BUILD/tools/kst"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

echo "== Diskette salvage: a 1.44 MB FAT12 image, two sectors of a file unreadable =="
IMG="$WORK/floppy.img"
mkfs.fat -F 12 -C "$IMG" 1440 >/dev/null
seq -f 'line %05g of the quarterly report' 1 600 > "$WORK/report.txt"
mmd -i "$IMG" ::DOCS
mcopy -i "$IMG" "$WORK/report.txt" ::DOCS/REPORT.TXT
echo "the image, as mdir lists it:"
mdir -i "$IMG" ::DOCS | sed -n '/REPORT/p' | sed 's/^/  /'

# The file's first cluster from mshowfat; on this diskette a cluster is one sector and
# cluster 2 is sector 33. Sectors 3 and 20 of the file (from 0) are made unreadable.
FIRST=$(mshowfat -i "$IMG" ::DOCS/REPORT.TXT | sed 's/.*<\([0-9]*\).*/\1/')
BAD1=$((33 + FIRST - 2 + 3))
BAD2=$((33 + FIRST - 2 + 20))
echo "diskette sectors $BAD1 and $BAD2 do not read (file sectors 3 and 20)"

"$KST" floppy-copy --image "$IMG" 'A:\DOCS\REPORT.TXT' "$WORK/salvaged.txt" --bad "$BAD1,$BAD2" \
    --retries 2 2>/dev/null | sed 's/^/  /'
mcopy -n -i "$IMG" ::DOCS/REPORT.TXT "$WORK/original.txt"
echo "salvaged: $(stat -c %s "$WORK/salvaged.txt") bytes, the original: $(stat -c %s "$WORK/original.txt") bytes"
python3 - "$WORK/salvaged.txt" "$WORK/original.txt" <<'PY'
import sys
salvaged, original = (open(p, 'rb').read() for p in sys.argv[1:3])
diff = [i for i in range(len(original)) if salvaged[i] != original[i]]
ranges = sorted({i // 512 for i in diff})
print("bytes that differ from mcopy's copy: %d, all in file sectors %s" % (len(diff), ranges))
PY

echo "the same through the older family (one INT 13h request per sector), a sector bad for two reads:"
"$KST" floppy-verify --image "$IMG" 'A:\DOCS\REPORT.TXT' --family 9x --bad "$BAD1:2" \
    --retries 2 2>/dev/null | sed 's/^/  /'
