#!/usr/bin/env bash
# file(1) must recognise what we write: all three MS-DOS variants and a TOS
# program, whose text length it reads back from the header.
#   file_magic.sh TRELON DOS_MODULE TOS_MODULE
set -u
TRELON=$1 dos_module=$2 tos_module=$3
. "$(dirname "$0")/common.sh"

need_tool file
make_scratch

ok=1
for word in /E1S37 /E2S16D32 /E3S64; do
  convert "$word" "$dos_module" "$SCRATCH/out.exe"
  kind=$(file -b "$SCRATCH/out.exe")
  case $kind in
    "MS-DOS executable"*) echo "$word: $kind" ;;
    *) echo "$word: file says '$kind', expected an MS-DOS executable"; ok=0 ;;
  esac
done

convert /T "$tos_module" "$SCRATCH/out.tos"
text=$(od -An -j2 -N4 -tu1 "$SCRATCH/out.tos" | awk '{ print (($1 * 256 + $2) * 256 + $3) * 256 + $4 }')
kind=$(file -b "$SCRATCH/out.tos")
case $kind in
  "Atari ST M68K contiguous executable (txt=$text,"*) echo "/T: $kind" ;;
  *) echo "/T: file says '$kind', expected an Atari ST M68K contiguous executable with txt=$text"; ok=0 ;;
esac

[ $ok = 1 ] || fail "file does not recognise our executables"
echo "PASSED: file recognises E1, E2, E3 and T"
