#!/bin/sh
# Standard streams closed, or named as files: nothing of the console goes into
# an output, and no input is written over under any of its names.
set -u
T=$1
d=$(mktemp -d) && chmod 755 "$d" && cd "$d" || exit 1
trap 'cd / && chmod -R u+w "$d" && rm -rf "$d"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cp "$2/examples/demo.muf" m.muf && cp m.muf x.muf
"$T" /I m.muf plain.ihx >/dev/null && "$T" /B m.muf plain.bin >/dev/null || fail plain runs
# Closed descriptors: the output does not take number 1, and with it the console's 2,000 comment lines.
awk '/^ME/ { for (i = 0; i < 2000; i++) print "CO1,05HELLO." } 1' m.muf >chatty.muf
cat chatty.muf | "$T" --strict /I - c.ihx >&- && cmp -s c.ihx plain.ihx || fail "closed standard output"
"$T" /B chatty.muf c.bin <&- >&- 2>&- && cmp -s c.bin plain.bin || fail "closed standard streams"
"$T" /I m.muf - >&- 2>/dev/null; [ $? = 1 ] || fail "- on a closed standard output"
# The input under another name: -, /dev/stdin, the file on descriptor 1.
for out in x.muf /dev/stdin; do "$T" /B - $out <x.muf >/dev/null 2>&1; [ $? = 1 ] || fail "- $out"; done
"$T" /B x.muf - 1<>x.muf 2>/dev/null; [ $? = 1 ] && cmp -s x.muf m.muf || fail "x.muf - 1<>x.muf"
# Standard output under another name gets the image alone.
"$T" /B m.muf /dev/stdout >f 2>/dev/null && cmp -s f plain.bin || fail "/dev/stdout"
# --strict: a name as long as the system takes; an owner kept; a folder's
# reason where no temporary file can be made; no stale reason.
n=$(printf '%0254d' 0) && "$T" --strict /B m.muf "$n" >/dev/null && cmp -s "$n" plain.bin || fail "254 characters"
if [ "$(id -u)" = 0 ]; then
  echo old >o.bin && chown nobody o.bin && "$T" --strict /B m.muf o.bin >/dev/null &&
    [ "$(stat -c %U o.bin)" = nobody ] || fail "owner"
fi
# (run as another user where root is running the suite and that user may run the converter)
if [ "$(id -u)" = 0 ] && su nobody -s /bin/sh -c "test -x '$T' && test -r m.muf" 2>/dev/null; then
  mkdir ro && echo old >ro/o.bin && chmod 666 ro/o.bin && chmod 555 ro
  su nobody -s /bin/sh -c "'$T' --strict /B m.muf ro/o.bin" >/dev/null 2>e
  [ $? = 1 ] && grep -q '^trelon: ro: Permission denied: .*written in place' e && [ "$(cat ro/o.bin)" = old ] || fail "ro"
fi
p=$(printf 'p%.0s' $(seq 203)) && p=$p/$p/$p/$p/$p/$p/$p/$p/$p/$p/$p/$p/$p/$p/$p/$p/$p/$p/$p/$p && mkdir -p "$p" &&
  echo old >"$p/o.bin" && "$T" --strict /B m.muf "$p/o.bin" >/dev/null 2>e
[ $? = 1 ] && grep -q 'File name too long' e || fail "long path: $(cut -c 1-30 e) ... $(tail -c 60 e)"
echo "streams: all passed"
