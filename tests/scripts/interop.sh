#!/bin/sh
# Real readers take our records as our raw image (/B): srec_cat reads Intel
# Hex, S-records and PDP-11 records, objcopy the first two, and simh's PDP-11
# loader the last, with the start address of the end record. Image-mode
# records (C) hold the whole window; streamed records only what the module
# loads, so the readers fill the window with the fill byte (00, then ff).
#   sh interop.sh TRELON SOURCE_DIR
trelon=$(realpath "$1") src=$(realpath "$2")
. "$src/tests/needs.sh" && needs "Debian's srecord, binutils and simh" srec_cat srec_cmp objcopy pdp11 timeout
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" || exit 1
failures=0 checks=0
check() { checks=$((checks + 1)) && "$@" >/dev/null 2>&1 || { failures=$((failures + 1)) && echo "FAILED: $word$z: $*"; }; }
# simh's loader takes out.rec: the PC, then the window's bytes, as in ref00.bin.
loads() {
  printf 'set console log=simh.log\nload out.rec\nexamine PC\nexamine -b %o-%o\nquit\n' "$lo" $((hi - 1)) >load.ini
  rm -f simh.log && timeout 60 pdp11 load.ini </dev/null && ! grep -qi 'error\|invalid\|non-existent' simh.log &&
    [ "$(awk -F'\t' '/^(PC|[0-7]+):\t/ { print $2 + 0 }' simh.log)" = "$(printf '%o\n' $((start & 0xFFFE)) &&
      od -An -v -to1 -w1 ref00.bin | awk '{ print $1 + 0 }')" ]
}
for case in sections mau16 high masked:F0fffA1000 demo dos_hello monitor pdp11_hello tos_hello; do
  name=${case%%:*} && mods=${case#"$name"} && mods=${mods#:}
  module=$src/tests/scripts/modules/$name.muf && [ -f "$module" ] || module=$src/examples/$name.muf
  "$trelon" "/B${mods}H" "$module" ref.bh >/dev/null
  set -- $(od -An -tu4 -N 12 ref.bh) && min=$1 len=$2 start=$3 word=$name z=
  for z in 00 ff; do "$trelon" "/B${mods}Z$z" "$module" ref$z.bin >/dev/null; done
  for format in I:-intel:0xFFFF M1:-motorola:0xFFFF M2:-motorola:0xFFFFFF M3:-motorola:0xFFFFFFFF P:-dec_binary:0xFFFF; do
    reader=${format#*:} mask=$((${format##*:})) format=${format%%:*} && reader=${reader%:*}
    lo=$((min & mask)) && hi=$((lo + len))
    [ $((hi - 1)) -le $mask ] || continue  # the window wraps in this address width
    for word in "/${format}C${mods}Z" "/$format${mods}Z"; do
      for z in 00 ff; do
        "$trelon" "$word$z" "$module" out.rec >/dev/null
        [ $format = P ] || objcopy -I "$([ $format = I ] && echo ihex || echo srec)" -O srec out.rec obj.rec
        for rec in "out.rec $reader" "obj.rec -motorola"; do
          [ "$format$rec" = "Pobj.rec -motorola" ] && continue
          check srec_cmp -disable-sequence-warnings $rec -fill 0x$z $lo $hi ref$z.bin -binary -offset $lo
        done
        [ $format$z = P00 ] && [ $hi -le $((0160000)) ] && check loads
      done
    done
  done
done
echo "interop: $checks checks, $failures failed"
[ $failures = 0 ] && [ $checks -gt 300 ]
