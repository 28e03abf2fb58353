#!/bin/sh
# make bench: times each streamed conversion of a large module against
# `cat module > file`, the floor of reading and writing as much, in the same
# run. Rounds are interleaved, so a noisy moment hits every command alike;
# each figure is the median over the rounds. Read the ratios: the machine is
# shared and its absolute times wander.
#
#   BUILD        build directory (default build/release)
#   TRELON       converter to time (default $BUILD/trelon)
#   BEFORE       another converter to time in the same rounds; every output
#                of the two is compared byte for byte
#   RUNS         rounds (default 7); PAYLOAD_MIB (64); BENCH_TMP (/tmp)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$root/build/release}
TRELON=${TRELON:-$BUILD/trelon}
GEN=$BUILD/bench/trelon_benchgen
BEFORE=${BEFORE:-}
RUNS=${RUNS:-7}
PAYLOAD_MIB=${PAYLOAD_MIB:-64}
FORMATS="B H I M1 M2 M3 P"

fail() {
  echo "bench: $*" >&2
  exit 1
}
[ -x "$TRELON" ] || fail "no converter at $TRELON (build it, or set TRELON or BUILD)"
[ -x "$GEN" ] || fail "no generator at $GEN"
[ -z "$BEFORE" ] || [ -x "$BEFORE" ] || fail "no converter at $BEFORE"
[ -x /usr/bin/time ] || fail "/usr/bin/time is missing (apt-get install time)"

WORK=$(mktemp -d "${BENCH_TMP:-/tmp}/trelon-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM
IN=$WORK/big.muf
"$GEN" --payload $((PAYLOAD_MIB * 1048576)) "$IN" || fail "the generator failed"

now() { date +%s%N; }

# Runs command id $1 once into $2 (a new file each time: ext4 flushes a
# truncated file on close) and records wall ms, cpu s and peak KiB.
run() {
  id=$1 out=$2
  rm -f "$out"
  a=$(now)
  case $id in
    cat) /usr/bin/time -f '%M %U %S' -o "$WORK/time" cat "$IN" > "$out" ;;
    new/*) /usr/bin/time -f '%M %U %S' -o "$WORK/time" "$TRELON" "/${id#new/}" "$IN" "$out" > "$WORK/log" ;;
    old/*) /usr/bin/time -f '%M %U %S' -o "$WORK/time" "$BEFORE" "/${id#old/}" "$IN" "$out" > "$WORK/log" ;;
  esac
  b=$(now)
  ! grep -q "Error" "$WORK/log" 2>/dev/null || fail "$id: $(grep Error "$WORK/log")"
  rm -f "$WORK/log"
  f=$(echo "$id" | tr / _)
  echo $(((b - a) / 1000)) >> "$WORK/$f.t"
  tail -n 1 "$WORK/time" | awk '{ print $1 }' >> "$WORK/$f.m"
  tail -n 1 "$WORK/time" | awk '{ print $2 + $3 }' >> "$WORK/$f.c"
}

ids="cat"
for f in $FORMATS; do
  ids="$ids new/$f"
  [ -z "$BEFORE" ] || ids="$ids old/$f"
done

round=1
while [ $round -le "$RUNS" ]; do
  printf ' %d' $round >&2
  for id in $ids; do
    run "$id" "$WORK/out"
    # In the first round each format's two outputs are kept until compared.
    if [ $round -eq 1 ] && [ -n "$BEFORE" ] && [ "$id" != cat ]; then
      f=${id#*/}
      mv "$WORK/out" "$WORK/out.${id%/*}"
      if [ "${id%/*}" = old ]; then
        cmp -s "$WORK/out.new" "$WORK/out.old" || fail "/$f: the two converters' outputs differ"
        echo "/$f: $(stat -c %s "$WORK/out.new") bytes, identical" >> "$WORK/same"
      fi
    fi
  done
  round=$((round + 1))
done
rm -f "$WORK"/out*
echo >&2

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
peak() { sort -n "$1" | tail -n 1; }

echo "module: $(stat -c %s "$IN") bytes of text, $PAYLOAD_MIB MiB of payload; $RUNS rounds, medians"
echo "machine: $(nproc) CPUs, load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
echo "converter: $TRELON${BEFORE:+; before: $BEFORE}"
echo
cat_t=$(median "$WORK/cat.t")
printf '%-6s %9s %7s %7s %9s' run "wall ms" "x cat" "cpu s" "peak KiB"
[ -z "$BEFORE" ] || printf ' %12s %7s %7s' "before ms" "x cat" "cpu s"
printf '\n'
for id in cat $FORMATS; do
  f=new_$id label=/$id
  [ "$id" != cat ] || f=cat label=cat
  t=$(median "$WORK/$f.t")
  awk -v l="$label" -v t="$t" -v c="$cat_t" -v cpu="$(median "$WORK/$f.c")" -v m="$(peak "$WORK/$f.m")" \
    'BEGIN { printf "%-6s %9.1f %7.2f %7.2f %9d", l, t / 1000, t / c, cpu, m }'
  if [ -n "$BEFORE" ] && [ "$id" != cat ]; then
    awk -v t="$(median "$WORK/old_$id.t")" -v c="$cat_t" -v cpu="$(median "$WORK/old_$id.c")" \
      'BEGIN { printf " %12.1f %7.2f %7.2f", t / 1000, t / c, cpu }'
  fi
  printf '\n'
done
[ ! -s "$WORK/same" ] || { echo; cat "$WORK/same"; }
