#!/usr/bin/env bash
# Remakes the seed inputs of fuzz/corpus from the tests' inputs and from files made by the real
# tools (zip, mkfs.fat and mcopy, xmllint) and by the kst program of a normal build:
#   fuzz/make-seeds.sh BUILD_DIR
# Kept crash inputs (named regression-*) are left alone.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
kst="$(cd "${1:?usage: make-seeds.sh BUILD_DIR}" && pwd)/tools/kst"
corpus="$here/corpus"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
for t in props zipinfo zipspan ini messages lockmarker xml floppy; do
  mkdir -p "$corpus/$t"
  find "$corpus/$t" -name 'seed-*' -delete
done

# XML documents, checked and written in their normal form by xmllint.
xml=(
  '<CPropertySet Count="3"><CStringP Key="Name">Ann</CStringP><CUIntP Key="Size">42</CUIntP><CBoolP Key="On">1</CBoolP></CPropertySet>'
  '<CObjectPArrayPtr Count="3"><CUIntP>1</CUIntP><CStringP>b</CStringP><CInt64P>-8589934592</CInt64P></CObjectPArrayPtr>'
  '<CObjectPListPtr Count="2"><CBinaryP>001FA0</CBinaryP><CStringArrayP Count="2"><Item>a</Item><Item/></CStringArrayP></CObjectPListPtr>'
  '<CMapStringToObjectPPtr Count="2"><CUIntP Key="c">3</CUIntP><CObjectPArrayPtr Key="n" Count="1"><CObjectPListPtr Count="1"><CStringP>deep</CStringP></CObjectPListPtr></CObjectPArrayPtr></CMapStringToObjectPPtr>'
  '<CStringP>a&lt;b &amp; "c"&#13;
x</CStringP>'
)
n=0
for doc in "${xml[@]}"; do
  n=$((n + 1))
  printf '%s' "$doc" | xmllint --format - > "$corpus/xml/seed-$n.xml"
  "$kst" props-from-xml "$corpus/xml/seed-$n.xml" "archive-$n.bin"
done

# Archives: the XML documents' objects, a set and patterns; the first byte chooses how the
# target loads them (0: ReadObject; 1-5: the class's own Serialize, tag cut off).
"$kst" props-write set.bin Name=Ann Size=42 Note="two words"
"$kst" pattern-new pattern.bin --name docs --include '*.txt;*.doc' --exclude '~*' --subdirs 'a;b'
"$kst" pattern-new patterns.bin --name all --include '*' --all-subdirs --masks-in-subdirs
strip_tag() {  # the bytes after the new-class tag: 0xFFFF, schema, name length, name
  python3 -c 'import sys; b=open(sys.argv[1],"rb").read(); n=b[4]|b[5]<<8; sys.stdout.buffer.write(b[6+n:])' "$1"
}
seed() {  # seed NAME CHOICE FILE
  { printf "\\x$(printf %02x "$2")"; if [ "$2" = 0 ]; then cat "$3"; else strip_tag "$3"; fi; } \
    > "$corpus/props/seed-$1"
}
seed object-set 0 set.bin
seed set 1 set.bin
for i in 1 2 3 4 5; do seed object-$i 0 archive-$i.bin; done
seed array 2 archive-2.bin
seed list 3 archive-3.bin
seed map 4 archive-4.bin
seed pattern 0 pattern.bin
# A pattern array of the two patterns: count, then each pattern by class.
python3 - "$corpus/props/seed-patterns" pattern.bin patterns.bin <<'PY'
import sys
a, b = open(sys.argv[2], "rb").read(), open(sys.argv[3], "rb").read()
# the second object of the same class refers to the class by its index (0x8001)
tag = 6 + (a[4] | a[5] << 8)
open(sys.argv[1], "wb").write(b"\x05" + b"\x02\x00" + a + b"\x01\x80" + b[tag:])
PY

# ZIP archives made by zip: stored, deflated, with a folder, a comment and an empty file.
mkdir -p tree/sub
printf 'line one\nline two\n' > tree/a.txt
printf 'x%.0s' {1..300} > tree/sub/b.txt
: > tree/empty.dat
(cd tree && zip -q -X -r -0 ../stored.zip . && zip -q -X -r -9 ../deflated.zip . &&
  zip -q -X ../one.zip a.txt && echo 'a comment' | zip -q -z ../one.zip)
for z in stored deflated one; do
  cp "$z.zip" "$corpus/zipinfo/seed-$z.zip"
  # volume size 64 + the first two bytes: 200 and 1000 bytes
  { printf '\x88\x00'; cat "$z.zip"; } > "$corpus/zipspan/seed-$z-200"
  { printf '\xa8\x03'; cat "$z.zip"; } > "$corpus/zipspan/seed-$z-1000"
done

# Ini texts: the messages sample and the private-profile tests' shapes.
cp "$here/../errors/samples/messages.ini" "$corpus/messages/seed-sample.ini"
printf '[Error]\r\nK1=first %%File%%\r\nK2="quoted"\r\n; note\r\n[Message]\r\nA=%%Error%%\\n(%%ErrorCode%%)\r\n' \
  > "$corpus/messages/seed-crlf.ini"
printf '[Section]\nKey = value \nNumber=42abc\nQuoted=" q "\n\n[ Other ]\n; comment\nnoequals\n=novalue\nKey2=\n[Section]\nKey=again\n' \
  > "$corpus/ini/seed-basic.ini"
printf '\xef\xbb\xbf[A]\r\nx=1\r\n[B]\r\ny=2' > "$corpus/ini/seed-bom.ini"

# Lock markers: blocks as Lock writes them, keys in other cases, a block without the empty line.
printf 'Mode=Write\r\nUser=ann\r\nServer=srv\r\nClient=pc1\r\nTime=5\r\n\r\nMODE=Read\r\nuser=bob\r\n\r\n' \
  > "$corpus/lockmarker/seed-two.~mdb"
printf 'Mode=Write\nUser= carl \nServer=\nClient=pc9\nTIME=7 ' > "$corpus/lockmarker/seed-open.~mdb"

# FAT12 images by mkfs.fat and mcopy, cut after their last byte that is not zero (the sectors
# past the end do not read, as on a damaged diskette).
image() {  # image NAME KILOBYTES
  rm -f img
  mkfs.fat -F 12 -C img "$2" > /dev/null
  printf 'hello from the root\n' > f.txt
  head -c 1500 /dev/zero | tr '\0' 'z' > s.txt
  mcopy -i img f.txt ::FILE.TXT
  mmd -i img ::DIR
  mcopy -i img s.txt ::DIR/SUB.TXT
  python3 -c 'import sys; b=open("img","rb").read().rstrip(b"\0"); open(sys.argv[1],"wb").write(b)' \
    "$corpus/floppy/seed-$1.img"
}
image 160 160
image 720 720
