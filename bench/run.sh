#!/bin/sh
# make bench: times each streamed conversion of a large module against
# `cat module > file` in the same run, and beside each the floor: reading the
# module and writing as many bytes as that format's output, with no work in
# between (trelon_floor). Rounds are interleaved, so a noisy moment hits
# every command alike; each figure is the median over the rounds. Read the
# ratios: the machine is shared and its absolute times wander.
#
#   BUILD        build directory (default build/release)
#   TRELON       converter to time (default $BUILD/trelon)
#   BEFORE       another converter to time in the same rounds; every output
#                of the two is compared byte for byte
#   OPTIONS      options for the converter timed (--map, say), not for BEFORE
#   RUNS         rounds (default 7); PAYLOAD_MIB (64); BENCH_TMP (/tmp)
#   PIN          a processor list: the whole benchmark runs held to it
#                (taskset), the way a parallel build sees the converter
set -eu
if [ -n "${PIN:-}" ] && [ -z "${PINNED:-}" ]; then
  PINNED=1 exec taskset -c "$PIN" sh "$0" "$@"
fi

root=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$root/build/release}
TRELON=${TRELON:-$BUILD/trelon}
GEN=$BUILD/bench/trelon_benchgen
FLOOR=$BUILD/bench/trelon_floor
BEFORE=${BEFORE:-}
OPTIONS=${OPTIONS:-}
RUNS=${RUNS:-7}
PAYLOAD_MIB=${PAYLOAD_MIB:-64}
FORMATS="B H I M1 M2 M3 P"

fail() {
  echo "bench: $*" >&2
  exit 1
}
[ -x "$TRELON" ] || fail "no converter at $TRELON (build it, or set TRELON or BUILD)"
[ -x "$GEN" ] && [ -x "$FLOOR" ] || fail "no generator or floor in $BUILD/bench"
[ -z "$BEFORE" ] || [ -x "$BEFORE" ] || fail "no converter at $BEFORE"
[ -x /usr/bin/time ] || fail "/usr/bin/time is missing (apt-get install time)"

WORK=$(mktemp -d "${BENCH_TMP:-/tmp}/trelon-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM
IN=$WORK/big.muf
"$GEN" --payload $((PAYLOAD_MIB * 1048576)) "$IN" || fail "the generator failed"

now() { date +%s%N; }

# Runs command id $1 (cat, new/F, old/F or floor/F) once into $2 (a new
# file each time: ext4 flushes a truncated file on close) and records wall
# ms, cpu s and peak KiB.
run() {
  id=$1 out=$2 f=${1#*/}
  rm -f "$out"
  set -- /usr/bin/time -f '%M %U %S' -o "$WORK/time"
  a=$(now)
  case $id in
    cat) "$@" cat "$IN" > "$out" ;;
    # shellcheck disable=SC2086
    new/*) "$@" "$TRELON" $OPTIONS "/$f" "$IN" "$out" > "$WORK/log" 2>"$WORK/warnings" ;;
    old/*) "$@" "$BEFORE" "/$f" "$IN" "$out" > "$WORK/log" 2>"$WORK/warnings" ;;
    floor/*) "$@" "$FLOOR" "$IN" "$out" "$(cat "$WORK/$f.size")" ;;
  esac
  b=$(now)
  ! grep -q "Error" "$WORK/log" 2>/dev/null || fail "$id: $(grep Error "$WORK/log")"
  rm -f "$WORK/log"
  key=$(echo "$id" | tr / _)
  echo $(((b - a) / 1000)) >> "$WORK/$key.t"
  tail -n 1 "$WORK/time" | awk '{ print $1 }' >> "$WORK/$key.m"
  tail -n 1 "$WORK/time" | awk '{ print $2 + $3 }' >> "$WORK/$key.c"
}

ids="cat"
for f in $FORMATS; do
  ids="$ids new/$f floor/$f"
  [ -z "$BEFORE" ] || ids="$ids old/$f"
done

round=1
while [ $round -le "$RUNS" ]; do
  printf ' %d' $round >&2
  for id in $ids; do
    run "$id" "$WORK/out"
    f=${id#*/}
    case $round/$id in
      1/new/*) stat -c %s "$WORK/out" > "$WORK/$f.size" ;;
    esac
    # In the first round each format's two outputs are kept until compared.
    if [ $round -eq 1 ] && [ -n "$BEFORE" ]; then
      case $id in
        new/*) mv "$WORK/out" "$WORK/out.new" ;;
        old/*) cmp -s "$WORK/out.new" "$WORK/out" || fail "/$f: the two converters' outputs differ"
               echo "/$f: $(cat "$WORK/$f.size") bytes, identical" >> "$WORK/same" ;;
      esac
    fi
  done
  round=$((round + 1))
done
rm -f "$WORK"/out*
echo >&2

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
peak() { sort -n "$1" | tail -n 1; }

echo "module: $(stat -c %s "$IN") bytes of text, $PAYLOAD_MIB MiB of payload; $RUNS rounds, medians"
echo "machine: $(nproc) CPUs${PIN:+, held to CPU $PIN}, load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
echo "converter: $TRELON${OPTIONS:+ $OPTIONS}${BEFORE:+; before: $BEFORE}"
echo
cat_t=$(median "$WORK/cat.t")
printf '%-6s %9s %7s %8s %7s %9s %9s' run "wall ms" "x cat" "x floor" "cpu s" "floor cpu" "peak KiB"
[ -z "$BEFORE" ] || printf ' %10s %7s %8s' "before ms" "x cat" "cpu s"
printf '\n'
for id in cat $FORMATS; do
  f=new_$id label=/$id floor=$cat_t floor_cpu=$(median "$WORK/cat.c")
  [ "$id" != cat ] || f=cat label=cat
  [ "$id" = cat ] || floor=$(median "$WORK/floor_$id.t") floor_cpu=$(median "$WORK/floor_$id.c")
  awk -v l="$label" -v t="$(median "$WORK/$f.t")" -v c="$cat_t" -v fl="$floor" -v cpu="$(median "$WORK/$f.c")" \
    -v fc="$floor_cpu" -v m="$(peak "$WORK/$f.m")" \
    'BEGIN { printf "%-6s %9.1f %7.2f %8.2f %7.3f %9.3f %9d", l, t / 1000, t / c, t / fl, cpu, fc, m }'
  if [ -n "$BEFORE" ] && [ "$id" != cat ]; then
    awk -v t="$(median "$WORK/old_$id.t")" -v c="$cat_t" -v cpu="$(median "$WORK/old_$id.c")" \
      'BEGIN { printf " %10.1f %7.2f %8.3f", t / 1000, t / c, cpu }'
  fi
  printf '\n'
done
[ ! -s "$WORK/same" ] || { echo; cat "$WORK/same"; }
