#!/bin/sh
# Converts every example module into every format: demo.sh TRELON OUTDIR
# Prints one line per module, with the writer's reason for each format that
# wrote nothing; each conversion's console text goes to OUTDIR/<module>.log.
set -e
trelon=$1
out=$2
mkdir -p "$out"
here=$(dirname "$0")
for module in "$here"/*.muf; do
  name=$(basename "$module" .muf)
  log=$out/$name.log
  : >"$log"
  written=0
  empty="" last=""
  # Word, then the extension of the file it makes.
  for pair in B:bin BH:hbin H:hex HH:hhex I:ihx IC:c.ihx M1:s19 M2:s28 M3:s37 M3C:c.s37 P:pdp PC:c.pdp \
              E1S16:e1.exe E2S16D32:e2.exe E3S64:e3.exe T:tos; do
    word=${pair%%:*}
    file=$out/$name.${pair#*:}
    echo "### trelon /$word $module $file" >>"$log"
    "$trelon" "/$word" "$module" "$file" >>"$log"
    if [ -s "$file" ]; then written=$((written + 1)); continue; fi
    # The reason: what the writer said after "Write binary to file", or the
    # error; formats with the same reason share it.
    why=$(awk '/^### /{ w = 0; r = "" } /^Error in muf file/{ r = r "; " $0 } /^$/{ w = 0 } w { r = r "; " $0 }
      /^Write binary to file$/{ w = 1 } END { print substr(r, 3) }' "$log")
    if [ -n "$empty" ] && [ "$why" = "$last" ]; then empty="$empty /$word"; continue; fi
    empty="$empty${empty:+${last:+ ($last)},} /$word" last=$why
  done
  echo "$name.muf: $written files in $out/$name.*${empty:+; nothing written for$empty${last:+ ($last)}}; trace in $log"
done
