#!/usr/bin/env bash
# A ZIP64 archive over 4 GiB (Info-ZIP, 5 GB, one entry over 4 GiB and local headers beyond
# 4 GiB): kst zip-info lists it as unzip and zipfile do, kst span into 100 MB volumes and kst
# join give it back byte for byte, unzip -t accepts the result; span and join are timed
# against cp of the archive in alternating rounds. Needs about 16 GB free; not part of the tests.
# $1: the build folder.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
kst=$build/tools/kst
work=${KST_BENCH_DIR:-${TMPDIR:-/tmp}/kst-bench-zip64}
parent=$(dirname "$work")
free_kb=$(df -Pk "$parent" | awk 'NR == 2 { print $4 }')
if [ "$free_kb" -lt $((16 * 1024 * 1024)) ]; then
  echo "bench_zip64: skipped, $parent has less than 16 GB free"
  exit 0
fi
rm -rf "$work"
mkdir -p "$work/src"
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "making a 5 GB archive in $work ..."
truncate -s 4400M src/zeros.bin                 # sparse: read fast, stored whole
head -c 600000000 /dev/urandom > src/random.bin
seq 1 200000 > src/numbers.txt
(cd src && zip -q -0 ../big.zip zeros.bin random.bin && zip -q -9 ../big.zip numbers.txt)
rm -rf src
size=$(stat -c %s big.zip)
printf 'archive: %d bytes\n' "$size"

# The listing as unzip and zipfile see it.
"$kst" zip-info big.zip | awk 'NR > 9 { print $NF }' > ours.txt
unzip -Z1 big.zip > unzip.txt
python3 -c 'import sys, zipfile
for i in zipfile.ZipFile(sys.argv[1]).infolist(): print(i.filename)' big.zip > python.txt
cmp ours.txt unzip.txt && cmp ours.txt python.txt && echo "listing: equal to unzip -Z1 and zipfile"
"$kst" zip-info big.zip | sed -n '5,7p'

now() { date +%s.%N; }
best_span=1e9 best_join=1e9 best_cp=1e9
volumes=0
for round in 1 2 3; do
  rm -rf set joined copy.zip
  t0=$(now); volumes=$("$kst" span big.zip set --size 100000000); t1=$(now)
  mkdir joined
  t2=$(now); "$kst" join set "$volumes" joined/big.zip; t3=$(now)
  t4=$(now); cp big.zip copy.zip; t5=$(now)
  best_span=$(echo "$t1 - $t0 $best_span" | awk '{ d = $1 - $3; print (d < $4 ? d : $4) }')
  best_join=$(echo "$t3 - $t2 $best_join" | awk '{ d = $1 - $3; print (d < $4 ? d : $4) }')
  best_cp=$(echo "$t5 - $t4 $best_cp" | awk '{ d = $1 - $3; print (d < $4 ? d : $4) }')
  cmp big.zip joined/big.zip
done
echo "joined: equal to the source, byte for byte ($volumes volumes)"
"$kst" zip-info "set/Disk$volumes/big.zip" | sed -n '5,6p'
unzip -tqq joined/big.zip && echo "unzip -t: no errors"
rm -rf set copy.zip

awk -v s="$best_span" -v j="$best_join" -v c="$best_cp" 'BEGIN {
  printf "\n%-28s %9s %8s\n", "operation (best of 3)", "seconds", "vs cp"
  printf "%-28s %9.2f\n", "cp", c
  printf "%-28s %9.2f %8.2f\n", "kst span --size 100000000", s, s / c
  printf "%-28s %9.2f %8.2f\n", "kst join", j, j / c
  print "goal: span and join within 1.3 of cp"
}'
