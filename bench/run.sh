#!/bin/sh
# Throughput benchmark (make bench). Generates large MUFOM modules and the
# same payloads as Intel Hex, then times the converter and, in the same run,
# the tools one would use instead (srec_cat, objcopy) and cat as the floor.
# Runs are interleaved round by round so that a noisy moment hits every
# command alike; each figure is the median of RUNS rounds.
#
# Environment:
#   TRELON       converter to time (default: build/release/trelon)
#   BENCHGEN     input generator (default: bench/trelon_benchgen next to TRELON)
#   RUNS         rounds (default 5)
#   PAYLOAD_MIB  payload of the streamed module in MiB (default 64)
#   LOOPS        conversions per measurement for the 128 KiB image (default 40;
#                srec_cat and objcopy do a quarter of that)
#   BENCH_TMP    where the temporary directory goes (default /tmp)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
TRELON=${TRELON:-$root/build/release/trelon}
BENCHGEN=${BENCHGEN:-$(dirname "$TRELON")/bench/trelon_benchgen}
RUNS=${RUNS:-5}
PAYLOAD_MIB=${PAYLOAD_MIB:-64}
LOOPS=${LOOPS:-40}
PEER_LOOPS=$((LOOPS / 4))
[ "$PEER_LOOPS" -ge 1 ] || PEER_LOOPS=1

fail() {
  echo "bench: $*" >&2
  exit 1
}

[ -x "$TRELON" ] || fail "no converter at $TRELON (build it, or set TRELON)"
[ -x "$BENCHGEN" ] || fail "no input generator at $BENCHGEN (set BENCHGEN)"
for tool in srec_cat srec_cmp objcopy cmp; do
  command -v "$tool" >/dev/null || fail "$tool is missing (Debian: apt-get install srecord binutils)"
done
if [ -x /usr/bin/time ]; then
  TIME=/usr/bin/time
else
  TIME=
  echo "bench: /usr/bin/time is missing (apt-get install time): no peak memory figures" >&2
fi

WORK=$(mktemp -d "${BENCH_TMP:-/tmp}/trelon-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM

now() { date +%s%N; }

# --- Inputs -----------------------------------------------------------------

BIG_MUF=$WORK/big.muf BIG_HEX=$WORK/big.hex
SMALL_MUF=$WORK/small.muf SMALL_HEX=$WORK/small.hex
IMG_MUF=$WORK/image.muf IMG_HEX=$WORK/image.hex
W16_MUF=$WORK/w16.muf W16_HEX=$WORK/w16.hex
NULL_MUF=$WORK/null.muf

# Records what the generator says about one input pair: payload, span, sizes.
gen() {
  name=$1
  shift
  "$BENCHGEN" "$@" > "$WORK/$name.info" || fail "the generator failed: $*"
}
info() { sed -n "s/.*$2=\([0-9]*\).*/\1/p" "$WORK/$1.info"; }

t0=$(now)
gen big --payload $((PAYLOAD_MIB * 1048576)) "$BIG_MUF" "$BIG_HEX"
gen small --payload 1048576 "$SMALL_MUF" "$SMALL_HEX"
gen image --image "$IMG_MUF" "$IMG_HEX"
gen w16 --window 0xFFFF "$W16_MUF" "$W16_HEX"
printf 'ME.' > "$NULL_MUF"
t1=$(now)
gen_seconds=$(awk -v ns=$((t1 - t0)) 'BEGIN { printf "%.2f", ns / 1e9 }')

# --- Conversions --------------------------------------------------------------
#
# Each id names one command: s* the streamed module, i* the 128 KiB image,
# w* the 16-bit window that PDP-11 records can address, m* the streamed
# conversions again on a 1 MiB payload (peak memory only).

STREAMED="sB sH sI sM3 sP sSrecS sSrecBin sObjS sObjBin sCatMuf sCatHex"
IMAGE="iBH iHH iIC iM3C iPC iE3 iT iSrecS iSrecBin iObjS iObjBin iCatMuf iCatHex iNull"
W16="wP wPC wSrecDec wCatMuf wCatHex"
SMALL="mB mH mI mM3 mP"

# Sets: label, input (file whose size is the text), info (input pair), loops,
# and the command as the positional parameters of the caller's `set --`.
describe() {
  o=$WORK/out.$1
  log=$WORK/log.$1
  loops=1
  case $1 in
    s*) in_muf=$BIG_MUF in_hex=$BIG_HEX info=big ;;
    m*) in_muf=$SMALL_MUF in_hex=$SMALL_HEX info=small ;;
    i*) in_muf=$IMG_MUF in_hex=$IMG_HEX info=image loops=$LOOPS ;;
    w*) in_muf=$W16_MUF in_hex=$W16_HEX info=w16 loops=$LOOPS ;;
  esac
  input=$in_muf
  case $1 in
    ?B) label="trelon /B (contiguous)" cmd="trelon /B" ;;
    ?H) label="trelon /H (contiguous)" cmd="trelon /H" ;;
    ?I) label="trelon /I" cmd="trelon /I" ;;
    ?M3) label="trelon /M3" cmd="trelon /M3" ;;
    ?P) label="trelon /P" cmd="trelon /P" ;;
    iNull) label="trelon /B, module ME. only" cmd="trelon /B" input=$NULL_MUF ;;
    iBH) label="trelon /BH" cmd="trelon /BH" ;;
    iHH) label="trelon /HH" cmd="trelon /HH" ;;
    iIC) label="trelon /IC" cmd="trelon /IC" ;;
    iM3C) label="trelon /M3C" cmd="trelon /M3C" ;;
    ?PC) label="trelon /PC" cmd="trelon /PC" ;;
    iE3) label="trelon /E3S64" cmd="trelon /E3S64" ;;
    iT) label="trelon /T" cmd="trelon /T" ;;
    ?SrecS) label="srec_cat -motorola" cmd="srec_cat S" input=$in_hex ;;
    ?SrecBin) label="srec_cat -binary" cmd="srec_cat bin" input=$in_hex ;;
    ?SrecDec) label="srec_cat -dec_binary" cmd="srec_cat dec" input=$in_hex ;;
    ?ObjS) label="objcopy -O srec" cmd="objcopy srec" input=$in_hex ;;
    ?ObjBin) label="objcopy -O binary" cmd="objcopy bin" input=$in_hex ;;
    ?CatMuf) label="cat module" cmd="cat" ;;
    ?CatHex) label="cat Intel Hex" cmd="cat" input=$in_hex ;;
    *) fail "unknown id $1" ;;
  esac
  case $cmd in
    srec_cat* | objcopy*) if [ "$loops" -gt 1 ]; then loops=$PEER_LOOPS; fi ;;
  esac
}

# Runs the command that describe() chose, writing its output file $1, with
# the remaining arguments (a /usr/bin/time call, or nothing) in front of it.
invoke() {
  out=$1
  shift
  case $cmd in
    trelon*) "$@" "$TRELON" "${cmd#trelon }" "$input" "$out" > "$log" ;;
    "srec_cat S") "$@" srec_cat "$input" -intel -o "$out" -motorola -address-length=4 > "$log" ;;
    "srec_cat bin") "$@" srec_cat "$input" -intel -o "$out" -binary > "$log" ;;
    "srec_cat dec") "$@" srec_cat "$input" -intel -o "$out" -dec_binary > "$log" ;;
    "objcopy srec") "$@" objcopy -I ihex -O srec --srec-forceS3 --srec-len=32 "$input" "$out" > "$log" ;;
    "objcopy bin") "$@" objcopy -I ihex -O binary "$input" "$out" > "$log" ;;
    cat) "$@" cat "$input" > "$out" ;;
  esac
}

# Runs the command of id $1 once or `loops` times and appends the time per
# conversion (ns) to $WORK/$1.t and, for single runs, the peak resident set
# (KiB) to $WORK/$1.m and the processor time, user and system (s), to
# $WORK/$1.c: on a shared machine the wall time also counts the waits for a
# processor, the processor time does not. Image-sized runs are too short for /usr/bin/time's
# overhead not to count, so their memory is taken by one extra run.
run() {
  id=$1
  describe "$id"
  if [ "$loops" -eq 1 ] && [ -n "$TIME" ]; then
    rm -f "$o" "$log"
    a=$(now)
    invoke "$o" "$TIME" -f '%M %U %S' -o "$WORK/mem" || fail "$label failed"
    b=$(now)
    tail -n 1 "$WORK/mem" | awk '{ print $1 }' >> "$WORK/$id.m"
    tail -n 1 "$WORK/mem" | awk '{ print $2 + $3 }' >> "$WORK/$id.c"
  else
    # A new output file for every conversion, and the console to /dev/null:
    # ext4 flushes a file that is truncated and rewritten when it is closed,
    # and the wait would swamp a 2 ms run. The first round keeps one console
    # log, from the run that takes the memory figure.
    rm -f "$o" "$o".*
    keep=$log
    log=/dev/null
    i=0
    a=$(now)
    while [ $i -lt "$loops" ]; do
      invoke "$o.$i" || fail "$label failed"
      i=$((i + 1))
    done
    b=$(now)
    log=$keep
    mv "$o.0" "$o"
    rm -f "$o".*
    if [ ! -s "$WORK/$id.m" ]; then
      rm -f "$log"
      if [ -n "$TIME" ]; then
        invoke "$o.mem" "$TIME" -f %M -o "$WORK/mem" || fail "$label failed"
        tail -n 1 "$WORK/mem" >> "$WORK/$id.m"
      else
        invoke "$o.mem" || fail "$label failed"
      fi
      rm -f "$o.mem"
    fi
  fi
  echo $(((b - a) / loops)) >> "$WORK/$id.t"
  case $cmd in
    trelon*) ! grep -q "Error in muf file" "$log" || fail "$label: $(grep 'Error in muf file' "$log")" ;;
  esac
}

# Checks, after the first round, that the commands timed produce what they
# should: the raw image equals what both peers make of the Intel Hex, and the
# record formats carry the same data as the Intel Hex.
verify() {
  cmp -s "$WORK/out.sB" "$WORK/out.sSrecBin" || fail "trelon /B and srec_cat -binary differ"
  cmp -s "$WORK/out.sB" "$WORK/out.sObjBin" || fail "trelon /B and objcopy -O binary differ"
  # The whole-image formats write the gaps too, as fill bytes (0).
  srec_cmp "$WORK/out.iM3C" "$IMG_HEX" -intel -fill 0 0 "$(info image span)" >/dev/null ||
    fail "trelon /M3C and the Intel Hex differ"
  tail -c +257 "$WORK/out.iBH" | cmp -s - "$WORK/out.iSrecBin" || fail "trelon /BH and srec_cat -binary differ"
  srec_cmp "$WORK/out.wP" -dec_binary "$W16_HEX" -intel >/dev/null || fail "trelon /P and the Intel Hex differ"
  srec_cmp "$WORK/out.wPC" -dec_binary "$W16_HEX" -intel -fill 0 0 "$(info w16 span)" >/dev/null ||
    fail "trelon /PC and the Intel Hex differ"
  srec_cmp "$WORK/out.wSrecDec" -dec_binary "$W16_HEX" -intel >/dev/null || fail "srec_cat -dec_binary lost data"
}

echo "Trelon throughput benchmark"
commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
if [ -n "$(git -C "$root" status --porcelain -- src include 2>/dev/null)" ]; then
  commit="$commit with uncommitted changes in src/ or include/"
fi
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
mem=$(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
echo "converter: $TRELON (commit $commit)"
echo "machine:   $(nproc) CPUs, ${cpu:-unknown CPU}, $mem RAM; shared, so absolute figures are noisy: read the ratios"
echo "inputs generated in $gen_seconds s under $WORK; $RUNS rounds, each figure the median"
echo

printf 'measuring, round' >&2
t0=$(now)
round=1
while [ $round -le "$RUNS" ]; do
  printf ' %d' "$round" >&2
  # The short runs first, before the streamed outputs' writeback starts.
  for id in $IMAGE $W16 $STREAMED; do
    run "$id"
    # Keep only what verify() reads, and only until it has read it.
    case $id in
      sB | sSrecBin | sObjBin | iM3C | iBH | iSrecBin | wP | wPC | wSrecDec) [ $round -eq 1 ] || rm -f "$o" ;;
      *) rm -f "$o" ;;
    esac
  done
  if [ $round -eq 1 ]; then
    verify
    rm -f "$WORK"/out.*
    for id in $SMALL; do
      run "$id"
      rm -f "$o"
    done
  fi
  round=$((round + 1))
done
t1=$(now)
printf '\n\n' >&2

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
peak() { if [ -s "$1" ]; then sort -n "$1" | tail -n 1; else echo 0; fi; }

# One table row: label, time per conversion, text and payload throughput,
# peak memory, with $2 = 1 the peak on the 1 MiB payload, then for each
# reference id the reference's time divided by this row's time (how many
# times faster this row is on the same payload; - leaves the cell empty).
row() {
  id=$1 small=$2
  shift 2
  describe "$id"
  t=$(median "$WORK/$id.t")
  m=$(peak "$WORK/$id.m")
  c=-
  if [ -s "$WORK/$id.c" ]; then c=$(median "$WORK/$id.c"); fi
  text=$(stat -c %s "$input")
  pay=$(info "$info" payload)
  if [ "$id" = iNull ]; then pay=0; fi
  refs=
  for r in "$@"; do
    if [ "$r" = - ]; then refs="$refs -"; else refs="$refs $(median "$WORK/$r.t")"; fi
  done
  extra=-
  case $id in
    s[BHIMP]*) extra=$(peak "$WORK/m${id#s}.m") ;;
  esac
  awk -v label="$label" -v t="$t" -v text="$text" -v pay="$pay" -v m="$m" -v refs="$refs" \
      -v small="$small" -v extra="$extra" -v cpu="$c" 'BEGIN {
    s = t / 1e9
    if (s < 0.1) printf "%-30s %8.3f ms", label, s * 1000
    else printf "%-30s %8.3f s ", label, s
    if (small == 1) printf " %6s", (cpu == "-") ? "-" : sprintf("%6.2f", cpu)
    printf " %9.1f %9.1f %8s", text / 1e6 / s, pay / 1e6 / s, (m > 0) ? m : "n/a"
    if (small == 1) printf " %8s", (extra > 0) ? extra : "-"
    n = split(refs, r, " ")
    for (i = 1; i <= n; i++) {
      if (r[i] == "-") printf " %9s", "-"
      else printf " %9.2f", r[i] / t
    }
    printf "\n"
  }'
}

# Column heads: $1 = 1 adds the 1 MiB peak column, then the reference names.
header() {
  small=$1
  shift
  printf '%-30s %11s' "conversion" "time/conv"
  if [ "$small" = 1 ]; then printf ' %6s' "cpu"; fi
  printf ' %9s %9s %8s' "text" "payload" "peak"
  if [ "$small" = 1 ]; then printf ' %8s' "peak"; fi
  for h in "$@"; do printf ' %9s' "$h"; done
  printf '\n%-30s %11s' "" ""
  if [ "$small" = 1 ]; then printf ' %6s' "s"; fi
  printf ' %9s %9s %8s' "MB/s" "MB/s" "KiB"
  if [ "$small" = 1 ]; then printf ' %8s' "1MiB KiB"; fi
  printf '\n'
}

echo "== Streamed: $(info big muf) bytes of module text (CR LF, $(info big lines) LD lines of 32 to 64 bytes),"
echo "   $(info big payload) bytes of payload in 4 sections with gaps (span $(info big span) bytes);"
echo "   the peers read the same payload as $(info big hex) bytes of Intel Hex."
echo "   'x peer' = the peer's time / this row's time on the same payload (above 1: faster than the peer)."
echo "   'cpu s' = user + system time of the same runs (median; 10 ms resolution); the wall time is the figure used."
echo "   'peak 1MiB' = the same conversion's peak on a 1 MiB payload: the memory does not grow with the input."
echo
header 1 "x srec-S" "x srec-bin" "x objc-S" "x objc-bin" "x cat"
for id in sB sH sI sM3 sP; do
  row "$id" 1 sSrecS sSrecBin sObjS sObjBin sCatMuf
done
for id in sSrecS sSrecBin sObjS sObjBin; do
  row "$id" 1 sSrecS sSrecBin sObjS sObjBin sCatHex
done
row sCatMuf 1 - - - - sCatMuf
row sCatHex 1 - - - - sCatHex
echo

echo "== Image: one section of $(info image span) bytes at 0 (the largest the image holds), $(info image payload)"
echo "   bytes of payload, $(info image muf) bytes of module text, $(info image hex) bytes of Intel Hex;"
echo "   each figure is the time of one conversion, averaged over a loop of $LOOPS ($PEER_LOOPS for the peers),"
echo "   process start included; the first row is the converter's fixed cost."
echo
header 0 "x srec-S" "x srec-bin" "x objc-S" "x objc-bin" "x cat"
row iNull 0 - - - - iCatMuf
for id in iBH iHH iIC iM3C iPC iE3 iT; do
  row "$id" 0 iSrecS iSrecBin iObjS iObjBin iCatMuf
done
for id in iSrecS iSrecBin iObjS iObjBin; do
  row "$id" 0 iSrecS iSrecBin iObjS iObjBin iCatHex
done
row iCatMuf 0 - - - - iCatMuf
row iCatHex 0 - - - - iCatHex
echo

echo "== PDP-11: srec_cat writes DEC binary only for 16-bit addresses, so the like-for-like"
echo "   comparison uses a $(info w16 span)-byte window: $(info w16 payload) bytes of payload, $(info w16 muf) bytes of module text."
echo
header 0 "x srec-dec" "x cat"
for id in wP wPC; do
  row "$id" 0 wSrecDec wCatMuf
done
row wSrecDec 0 wSrecDec wCatHex
row wCatMuf 0 - wCatMuf
row wCatHex 0 - wCatHex
echo
echo "total $(awk -v ns=$((t1 - t0)) 'BEGIN { printf "%.0f", ns / 1e9 }') s of measuring; MB = 10^6 bytes; peak = largest maximum resident set over the runs"
