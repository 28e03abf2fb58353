#!/bin/sh
# The account of what a module loads where the golden cases cannot look:
# modules of tens of thousands of ranges or overlaps, and where the memory map
# goes under --quiet and with "-" as the output.
set -u
T=$1
d=$(mktemp -d) && cd "$d" || exit 1
trap 'cd / && rm -rf "$d"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# 70000 disjoint ranges, streamed: past 65536 the account stops, and says so
# once; with --map it keeps them all.
awk 'BEGIN { print "ASL0,0."; for (i = 0; i < 70000; i++) printf "ASP0,%X.\nLD0102.\n", 4 * i
             print "ASG,0.\nME." }' </dev/null >many.muf
"$T" /M3 many.muf many.s37 >/dev/null 2>err || fail "many ranges: status $?"
[ "$(cat err)" = "trelon: more than 65536 separate ranges are loaded: from line 131075 on, loads are not checked \
for overlaps, the start address or bytes the image leaves out (--map checks them all)" ] || fail "many ranges: $(cat err)"
"$T" --map /M3 many.muf many.s37 >map 2>err && [ ! -s err ] || fail "many ranges, --map: $(cat err)"
[ "$(grep -c '^0 ' map)" = 70000 ] && [ "$(grep -c '^  gap ' map)" = 69999 ] && grep -q '^Start .* in a loaded range' map ||
  fail "many ranges, --map: $(grep -c '^0 ' map) ranges"

# Memory that runs short while the map's ranges grow is said as such (status 1).
if ! ldd "$T" 2>/dev/null | grep -q libasan; then
  short=0
  for kib in $(seq 4000 1000 30000); do
    (ulimit -v "$kib"; exec "$T" --map /M3 many.muf many.s37) >out 2>err
    status=$?
    [ $status -eq 127 ] && continue  # the dynamic loader itself ran short
    [ $status -eq 0 ] || { [ $status -eq 1 ] && grep -q '^Not enough memory' out; } || fail "--map at $kib KiB: status $status"
    grep -q '^Not enough memory for the ranges' out && short=1
  done
  [ $short = 1 ] || fail "no limit made the map's ranges run short"
fi

# 30 loads over loaded data: 20 warnings, and one line for the rest.
awk 'BEGIN { print "ASL0,0.ASS0,10."; for (i = 0; i < 31; i++) print "ASP0,0.\nLD01."; print "ME." }' </dev/null >over.muf
"$T" /B over.muf over.bin >/dev/null 2>err || fail "overlaps: status $?"
[ "$(grep -c 'warning: 1 byte at 00000000-00000000 replaces data loaded in line 3' err)" = 20 ] &&
  [ "$(tail -n 1 err)" = "trelon: 10 more loads over loaded data are not shown (--map lists them all)" ] ||
  fail "overlaps: $(cat err)"
"$T" --map /B over.muf over.bin 2>err | grep -c '^Overlap ' >n && [ "$(cat n)" = 30 ] || fail "overlaps, --map: $(cat n)"

# --quiet prints the map alone; with "-" as the output the map goes to
# standard error, beside the console, and the records stay clean.
cp "$2/examples/monitor.muf" m.muf
"$T" --quiet --map /I m.muf q.ihx >out 2>err && [ ! -s err ] && [ "$(head -n 2 out)" = "
Memory map: 416 bytes loaded in 2 ranges" ] && [ "$(wc -l <out)" = 7 ] || fail "--quiet --map: $(cat out err)"
"$T" /I m.muf plain.ihx >/dev/null && "$T" --map /I m.muf - >d.ihx 2>err && cmp -s d.ihx plain.ihx &&
  grep -q '^Memory map: 416 bytes' err || fail "--map with - as the output"
echo "account: ok"
