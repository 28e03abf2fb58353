#!/bin/sh
# --strict, --quiet and "-" where the golden cases cannot look: pipes, modes,
# links, writes that fail, signals, a console that goes away.
set -u
T=$1
d=$(mktemp -d) && cd "$d" || exit 1
trap 'cd / && rm -rf "$d"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cp "$2/examples/demo.muf" m.muf
"$T" /I m.muf plain.ihx >/dev/null && "$T" /B m.muf plain.bin >/dev/null || fail plain runs
# A big module, streamed (16384 LD lines of 32 bytes: two output buffers), and one with ~1 MB of comments.
awk 'BEGIN { print "ASL0,0.ASS0,80000.ASP0,0."; for (i = 0; i < 16384; i++) print "LD" sprintf("%064X", i) "."
             print "ME." }' </dev/null >big.muf && "$T" /B big.muf big.bin >/dev/null || fail big run
awk '{ print } NR == 9 { for (i = 0; i < 18000; i++) print "CO1,20XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX." }' m.muf >chatty.muf

# "-" through real pipes: as output (the trace then goes to standard error), and
# as input and output.
{ "$T" /I m.muf - 2>trace; echo $? >st; } | cat >b.ihx
[ "$(cat st)" = 0 ] && cmp -s b.ihx plain.ihx && grep -q '^Length:' trace || fail "- as output"
{ cat m.muf | "$T" --quiet /I - -; echo $? >st; } | cat >c.ihx
[ "$(cat st)" = 0 ] && cmp -s c.ihx plain.ihx || fail "- as input and output"

# A write that fails (file size limit of 512 bytes, 128 KiB, all but the last
# 512 bytes): the message, the reason, status 1, only the old output in its folder.
mkdir o && echo old >o/x.bin
for blocks in 1 256 1023; do
  (ulimit -f $blocks; "$T" --strict /B big.muf o/x.bin >out 2>err; echo $? >st)
  [ "$(cat st)" = 1 ] && grep -qx 'Could not write o/x.bin' out && [ "$(cat err)" = "trelon: o/x.bin: File too large" ] &&
    [ "$(ls -A o)" = x.bin ] && [ "$(cat o/x.bin)" = old ] || fail "failed write, $blocks blocks: $(cat st) $(cat err)"
done

# Modes: an existing output keeps its own, a new one gets 0666 & ~umask.
echo old >e.bin && chmod 640 e.bin
(umask 022; "$T" --strict /B m.muf e.bin && "$T" --strict /B m.muf n.bin) >/dev/null || fail "mode runs"
m=$(ls -l e.bin n.bin | cut -c1-10 | tr '\n' ' ') && [ "$m" = "-rw-r----- -rw-r--r-- " ] || fail "modes: $m"

# A link (relative, in another folder) stays a link; its target gets the bytes.
mkdir s && echo old >s/t.bin && ln -s t.bin s/l.bin
"$T" --strict /B m.muf s/l.bin >/dev/null && [ -L s/l.bin ] && cmp -s s/t.bin plain.bin &&
  [ "$(ls -A s | tr '\n' ' ')" = "l.bin t.bin " ] || fail "link"

# SIGTERM while a slow input is read: the run ends by the signal, no file left.
# SIGHUP, ignored when its run began (nohup, a background job), stays ignored:
# that run, its input then finished, completes and puts its output in place.
mkfifo f g
(head -n 2000 big.muf; exec sleep 60) >f & feeder=$!
"$T" --strict /B f k.bin >/dev/null & pid=$!
sh -c 'trap "" HUP; exec "$0" --strict /B g h.bin' "$T" >/dev/null & hup=$!
exec 3>g && head -n 2000 big.muf >&3
seen=no && for i in $(seq 20); do [ "$(ls -A | grep -c '^\.[kh]\.bin\.')" = 2 ] && seen=yes && break; sleep 0.2; done
kill -TERM $pid; kill -HUP $hup; sleep 0.3; kill $feeder; wait $pid; st=$?
tail -n +2001 big.muf >&3; exec 3>&-; wait $hup; hst=$?
[ $seen = yes ] && [ $st = 143 ] && [ -z "$(ls -A | grep 'k\.bin')" ] || fail "SIGTERM: $seen, status $st, $(ls -A | tr '\n' ' ')"
[ $hst = 0 ] && cmp -s h.bin big.bin && [ "$(ls -A | grep 'h\.bin')" = h.bin ] || fail "SIGHUP ignored: status $hst"

# A console that goes away: the conversion goes on (status 0, same output);
# an output on a pipe that goes away fails (status 1).
"$T" /I chatty.muf quiet.ihx >/dev/null
{ "$T" /I chatty.muf loud.ihx; echo $? >st; } | head -c 10 >/dev/null
[ "$(cat st)" = 0 ] && cmp -s loud.ihx quiet.ihx || fail "console gone: status $(cat st)"
{ "$T" --quiet /B big.muf - 2>/dev/null; echo $? >st; } | head -c 10 >/dev/null
[ "$(cat st)" = 1 ] || fail "output pipe gone: status $(cat st)"
echo "strict: all passed"
