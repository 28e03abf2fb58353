#!/bin/sh
# Where the streamed conversions spend their time.
#
#   sh bench/profile.sh [option word ...]      (default: /B /H /I /P)
#
# For each option word: an instruction profile under callgrind (exact and
# repeatable, user-space instructions only) of a conversion of a module with
# a PAYLOAD_KIB payload, reported by function and by source line; then a
# cpu-clock sample under perf of the full-size conversion, which also shows the
# kernel's share (reading and writing the files). The hardware counters are
# not available on every virtual machine; cpu-clock and callgrind are.
#
# Environment:
#   TRELON       converter built with -g (default: an optimised -g build of this
#                tree, made in PROF_BUILD, default /tmp/trelon-prof-build)
#   BENCHGEN     input generator (default: next to TRELON in bench/)
#   PAYLOAD_KIB  callgrind payload (default 4096)
#   PERF_MIB     perf payload in MiB (default 64; 0 skips perf)
#   TOP          entries shown per table (default 12)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
PAYLOAD_KIB=${PAYLOAD_KIB:-4096}
PERF_MIB=${PERF_MIB:-64}
TOP=${TOP:-12}

fail() {
  echo "profile: $*" >&2
  exit 1
}

command -v valgrind >/dev/null || fail "valgrind is missing (apt-get install valgrind)"
if [ -z "${TRELON:-}" ]; then
  build=${PROF_BUILD:-/tmp/trelon-prof-build}
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-g \
    -DTRELON_BUILD_TESTS=OFF >/dev/null || fail "cannot configure $build"
  cmake --build "$build" -j2 >/dev/null || fail "cannot build in $build"
  TRELON=$build/trelon
fi
BENCHGEN=${BENCHGEN:-$(dirname "$TRELON")/bench/trelon_benchgen}
[ -x "$TRELON" ] || fail "no converter at $TRELON"
[ -x "$BENCHGEN" ] || fail "no input generator at $BENCHGEN"

[ $# -gt 0 ] || set -- /B /H /I /P

WORK=$(mktemp -d "${BENCH_TMP:-/tmp}/trelon-profile.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM

"$BENCHGEN" --payload $((PAYLOAD_KIB * 1024)) "$WORK/p.muf" "$WORK/p.hex" > "$WORK/p.info"
text=$(stat -c %s "$WORK/p.muf")
payload=$(sed -n 's/.*payload=\([0-9]*\).*/\1/p' "$WORK/p.info")
if [ "$PERF_MIB" -gt 0 ] && command -v perf >/dev/null; then
  "$BENCHGEN" --payload $((PERF_MIB * 1048576)) "$WORK/big.muf" "$WORK/big.hex" >/dev/null
else
  PERF_MIB=0
fi

commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
if [ -n "$(git -C "$root" status --porcelain -- src include 2>/dev/null)" ]; then
  commit="$commit with uncommitted changes in src/ or include/"
fi
echo "converter: $TRELON (tree at commit $commit)"
echo "callgrind input: $text bytes of module text, $payload bytes of payload"

for word in "$@"; do
  out=$WORK/cg.$(echo "$word" | tr -cd 'A-Za-z0-9')
  valgrind --tool=callgrind --compress-strings=no --compress-pos=no --callgrind-out-file="$out" \
    "$TRELON" "$word" "$WORK/p.muf" "$WORK/out" >/dev/null 2>"$out.log" || fail "callgrind failed on $word"
  echo
  echo "=================== $word"
  # Exclusive instructions by function, and by source line (inlined code is
  # counted at the line it comes from, so the scanner's, the placement's and
  # the writers' lines show apart even when the compiler merged them).
  awk -v text="$text" -v payload="$payload" -v top="$TOP" -v root="$root/" '
    /^fl=/ { fl = substr($0, 4); cur = fl; next }
    /^(fi|fe)=/ { cur = substr($0, 4); next }
    /^fn=/ { fn = substr($0, 4); cur = fl; next }
    /^calls=/ { skip = 1; next }
    /^[0-9]/ {
      if (skip) { skip = 0; next }
      byfn[fn] += $2; byline[cur ":" $1] += $2; total += $2; next
    }
    function show(title, a,   k, n, i, j, t, keys) {
      n = 0
      for (k in a) keys[++n] = k
      for (i = 2; i <= n; i++) {  # insertion sort, largest first
        t = keys[i]
        for (j = i - 1; j >= 1 && a[keys[j]] < a[t]; j--) keys[j + 1] = keys[j]
        keys[j + 1] = t
      }
      print title
      for (i = 1; i <= n && i <= top; i++) {
        k = keys[i]
        name = k
        gsub(/trelon::|\(anonymous namespace\)::/, "", name)
        if (index(name, root) == 1) name = substr(name, length(root) + 1)
        if (length(name) > 100) name = substr(name, 1, 97) "..."
        printf "  %6.2f%% %7.2f Ir/text byte  %s\n", 100 * a[k] / total, a[k] / text, name
      }
    }
    END {
      printf "total %d Ir: %.2f per byte of module text, %.2f per payload byte\n", total, total / text, total / payload
      show("by function (exclusive):", byfn)
      show("by source line:", byline)
    }' "$out" > "$out.txt"
  cat "$out.txt"
  # The text of the hottest lines, for reading without an editor.
  echo "hottest lines:"
  sed -n '/^by source line:/,$p' "$out.txt" | sed -n '2,9p' | while read -r pct _ _ _ where; do
    file=${where%:*} line=${where##*:}
    case $file in /*) ;; *) file=$root/$file ;; esac
    if [ -r "$file" ]; then
      printf '  %7s %s:%s: %s\n' "$pct" "${file##*/}" "$line" "$(sed -n "${line}p" "$file" | sed 's/^ *//')"
    fi
  done
  if [ "$PERF_MIB" -gt 0 ]; then
    perf record -q -e cpu-clock -F 4000 -o "$WORK/perf.data" \
      "$TRELON" "$word" "$WORK/big.muf" "$WORK/out" >/dev/null 2>&1 || true
    if [ -s "$WORK/perf.data" ]; then
      echo "perf cpu-clock, $PERF_MIB MiB payload, by program part (user code vs kernel):"
      perf report -q -i "$WORK/perf.data" --no-children --sort dso --stdio 2>/dev/null | grep . | sed -n '1,6p'
      echo "perf cpu-clock, top symbols:"
      perf report -q -i "$WORK/perf.data" --no-children --sort dso,sym --stdio -g none 2>/dev/null |
        sed -n "1,${TOP}p" | cut -c1-140
    fi
  fi
  rm -f "$WORK/out"
done
