#!/bin/sh
# Peak memory of a streamed run over a module of many small ranges, which
# the account of loaded ranges keeps: 1,000,000 ranges of 2 bytes, 4 bytes
# apart, loaded in address order and in a shuffled one, converted to /M3 and
# /B (streamed), with and without --map. Without --map the account keeps at
# most 65536 ranges, so the peak must not grow with the module.
#
#   BUILD (default build/release), TRELON (default $BUILD/trelon),
#   BEFORE  another converter to measure beside it (without --map),
#   RANGES  (default 1000000), BENCH_TMP (default /tmp)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$root/build/release}
TRELON=${TRELON:-$BUILD/trelon}
BEFORE=${BEFORE:-}
RANGES=${RANGES:-1000000}
[ -x "$TRELON" ] || { echo "ranges: no converter at $TRELON" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "ranges: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
WORK=$(mktemp -d "${BENCH_TMP:-/tmp}/trelon-ranges.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM

for order in sorted shuffled; do
  python3 - "$RANGES" "$order" >"$WORK/$order.muf" <<'PY'
import random, sys
n, order = int(sys.argv[1]), sys.argv[2]
ks = list(range(n))
if order == "shuffled":
    random.Random(1).shuffle(ks)
out = ["ASL0,0.", "ASS0,%X." % (4 * n)]
out += ["ASP0,%X.\nLD0102." % (4 * k) for k in ks]
print("\n".join(out + ["ASG,0.", "ME."]))
PY
done
printf '%-9s %-6s %-6s %10s %8s\n' order run format "peak KiB" "wall s"
for order in sorted shuffled; do
  for f in M3 B; do
    [ $order = shuffled ] && [ $f = B ] && continue  # a stream cannot go back
    for run in new map before; do
      case $run in
        new) set -- "$TRELON" ;;
        map) set -- "$TRELON" --map ;;
        before) [ -n "$BEFORE" ] || continue; set -- "$BEFORE" ;;
      esac
      /usr/bin/time -f '%M %e' -o "$WORK/time" "$@" "/$f" "$WORK/$order.muf" "$WORK/out" >/dev/null 2>"$WORK/err" || true
      read -r kib secs <"$WORK/time"
      printf '%-9s %-6s %-6s %10s %8s\n' $order $run /$f "$kib" "$secs"
    done
  done
done
