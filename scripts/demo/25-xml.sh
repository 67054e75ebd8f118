#!/usr/bin/env bash
# Property objects in XML: a stored property set printed as a document whose root element names
# its class, and the document stored back as an archive with the very same bytes.
set -euo pipefail
KST=${KST:-$1/tools/kst}
printf '\n=== Property sets as XML ===\n'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo '$ kst props-write params.bin Error.Code=5 Error.Operation=Copy Host=build01'
"$KST" props-write "$work/params.bin" Error.Code=5 Error.Operation=Copy Host=build01
echo '$ kst props-show --xml params.bin > params.xml'
"$KST" props-show --xml "$work/params.bin" >"$work/params.xml"
cat "$work/params.xml"
echo '$ kst props-from-xml params.xml back.bin && cmp params.bin back.bin'
"$KST" props-from-xml "$work/params.xml" "$work/back.bin"
cmp "$work/params.bin" "$work/back.bin" && echo "identical archive bytes ($(wc -c <"$work/back.bin") bytes)"
echo '$ kst props-from-xml broken.xml out.bin'
printf '<CPropertySet Count="1">\n<CUIntP Key="a">1</CStringP>\n</CPropertySet>\n' >"$work/broken.xml"
"$KST" props-from-xml "$work/broken.xml" "$work/out.bin" 2>&1 || echo "(exit code $?)"
