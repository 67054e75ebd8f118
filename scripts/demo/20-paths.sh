#!/usr/bin/env bash
# Paths: network names of mounted shares and of this computer's Samba shares, and folder
# creation with the library's question answered on the terminal.
set -euo pipefail
KST=${KST:-$1/tools/kst}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '\n=== Paths: network names ===\n'
cat >"$work/mountinfo" <<'TABLE'
22 1 8:1 / / rw,relatime - ext4 /dev/vda1 rw
40 22 0:50 / /mnt/office rw,relatime - cifs //fileserver/Office rw,vers=3.0
TABLE
cat >"$work/smb.conf" <<'CONF'
[global]
   workgroup = HOME
[Reports]
   path = /srv/data/reports
[Docs]
   path = /srv/data
CONF
echo "A cifs mount of //fileserver/Office at /mnt/office (a mount table like /proc/self/mountinfo):"
echo "\$ kst unc --mount-table mountinfo /mnt/office/Budget/2024.xlsx"
"$KST" unc --mount-table "$work/mountinfo" /mnt/office/Budget/2024.xlsx
echo "Samba shares Reports (/srv/data/reports) and Docs (/srv/data) of this computer;"
echo "the deepest share that holds the path wins, or with --last the last one listed:"
echo "\$ kst unc --smb-conf smb.conf --server localhost /srv/data/reports/Q1.txt"
"$KST" unc --smb-conf "$work/smb.conf" --server localhost /srv/data/reports/Q1.txt
echo "\$ kst unc --last --smb-conf smb.conf --server localhost /srv/data/reports/Q1.txt"
"$KST" unc --last --smb-conf "$work/smb.conf" --server localhost /srv/data/reports/Q1.txt
echo "\$ kst unc --smb-conf smb.conf /etc/hosts   (not shared)"
"$KST" unc --smb-conf "$work/smb.conf" /etc/hosts 2>&1 || echo "(exit code $?)"

printf '\n=== Paths: creating a folder tree after asking ===\n'
echo "\$ echo c | kst mkdir $work/new/deeper"
echo c | "$KST" mkdir "$work/new/deeper" || echo "(exit code $?; nothing created)"
echo "\$ echo o | kst mkdir $work/new/deeper"
echo o | "$KST" mkdir "$work/new/deeper"
[ -d "$work/new/deeper" ] && echo "(created)"
touch "$work/file"
echo "\$ kst mkdir $work/file"
"$KST" mkdir "$work/file" || echo "(exit code $?)"
