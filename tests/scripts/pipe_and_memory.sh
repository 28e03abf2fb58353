#!/bin/sh
# The converter serves a pipe as its bytes arrive and stops reading at the
# module end; and when memory runs short it says so and exits 1, with nothing
# on standard error, whatever allocation fails.
set -u
trelon=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
# The rest of the pipe, written after a pause, must still be there for the
# next reader: the converter neither waits for it nor reads it.
(printf 'ASL0,0.ASS0,1.LD01.ME.'; sleep 2; printf rest) | { "$trelon" /B /dev/stdin o.bin >/dev/null; cat >rest.txt; }
[ "$(cat rest.txt)" = rest ] || { echo "the converter read past the module end of a pipe"; exit 1; }
[ "$(od -An -tx1 o.bin)" = " 01" ] || { echo "wrong output from a pipe"; exit 1; }
# Address space limits from where the loader fails to where the run succeeds.
if ldd "$trelon" 2>/dev/null | grep -q libasan; then echo "sanitizer build: address space limits do not apply"; exit 0; fi
printf 'ASL0,0.ASS0,1.LD01.ME.' > in.muf
short=0
for kib in $(seq 3000 200 12000); do
  (ulimit -v "$kib"; exec "$trelon" /B in.muf o.bin) >out.txt 2>err.txt
  status=$?
  [ $status -eq 127 ] && continue  # the dynamic loader itself ran short
  if [ -s err.txt ] || { [ $status -ne 0 ] && ! grep -q '^Not enough memory' out.txt; }; then
    echo "at $kib KiB: status $status"; cat out.txt err.txt; exit 1
  fi
  grep -q '^Not enough memory' out.txt && [ $status -eq 1 ] && short=1
done
[ $short -eq 1 ] || { echo "no limit made the converter run short of memory"; exit 1; }
