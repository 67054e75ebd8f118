#!/usr/bin/env bash
# Error boxes: the host's Russian message texts, own and system error codes.
set -euo pipefail
KST=${KST:-$1/tools/kst}
here=$(cd "$(dirname "$0")/../.." && pwd)
messages=$here/errors/samples/messages.ini
show() {
  printf '$ kst error'
  for arg in "$@"; do
    arg=${arg#"$here/"}
    case $arg in *[\ \;%\\]*) printf " '%s'" "$arg" ;; *) printf ' %s' "$arg" ;; esac
  done
  echo
  "$KST" error "$@"
  echo
}
printf '\n=== Error boxes from localized message texts ===\n'
echo "The host's texts (errors/samples/messages.ini):"
sed -n '/^\[Message\]/,/^K7=/p' "$messages" | tr -d '\r' | sed 's/^/    /'
echo
show 0x20000005 --messages "$messages" --operation Copy --description '%File%=C:\Отчёты\март.xls;'
show 0x20000007 --messages "$messages" --operation Span --server --description '%Drive%=A:;%Size%=20480;'
show 2 --messages "$messages" --operation Join
show 0x80040201 --messages "$messages"
echo "Without message texts the box is empty:"
show 0x20000005 2>&1
