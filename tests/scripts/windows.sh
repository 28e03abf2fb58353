#!/bin/sh
# Runs trelon.exe (make windows) under Wine on every example module in every
# format and compares what it writes with what the Linux binary writes: the
# output files byte for byte, the console text and exit status apart from
# CR LF line ends:  windows.sh TRELON_BINARY SOURCE_DIR
set -u
exe=$2/build/windows/trelon.exe
wine=/usr/lib/wine/wine64
. "$2/tests/needs.sh" && needs "Debian's wine64; make windows builds $exe" "$wine" "$exe"
tmp=$(mktemp -d)
export WINEDEBUG=-all WINEPREFIX="$tmp/prefix"
trap '/usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$tmp"' EXIT
linux=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
mkdir "$tmp/linux" "$tmp/windows"
cp "$exe" "$tmp" && cp "$2"/examples/*.muf "$tmp/linux" && cp "$2"/examples/*.muf "$tmp/windows" || exit 1
# The Linux runs now; the same runs as one batch file, so Wine starts once.
cd "$tmp/linux" || exit 1
for m in *.muf; do
  for w in B BH H HH I IC M1 M2 M3 M3C P PC E1S16 E2S16D32 E3S64 T; do
    "$linux" /$w $m $m.$w >$m.$w.txt; echo "exit status $?" >>$m.$w.txt
    # Wine under load now and then fails to start the program (cmd's status 9009): that run is tried again.
    printf '..\\trelon.exe /%s %s %s >%s.txt\r\nif errorlevel 9009 ..\\trelon.exe /%s %s %s >%s.txt\r\n>>%s.txt echo exit status %%ERRORLEVEL%%\r\n' \
      $w $m $m.$w $m.$w $w $m $m.$w $m.$w $m.$w >>../run.bat
  done
done
cd "$tmp/windows" && "$wine" cmd /c ..\\run.bat >/dev/null 2>&1
for f in *.txt; do sed -i 's/\r$//' "$f"; done
diff -r "$tmp/linux" "$tmp/windows" || { echo "FAIL: trelon.exe under Wine differs from $1"; exit 1; }
n=$(ls *.txt | wc -l)
echo "trelon.exe under Wine: $n output files byte for byte and $n console texts as on Linux"
