#!/usr/bin/env bash
# Streamed S2 and S3 records of a module larger than the 128 KiB image: the
# readers find the same bytes as our raw output, which streams the same
# module contiguously (/B with a section that does not fit the image).
# Intel Hex, S1 and PDP-11 records carry 16-bit addresses, which wrap in a
# module this large; they are left out.
#   large.sh TRELON
source "$(dirname "$0")/lib.sh"
require_tools srec_cmp srec_info objcopy objdump

base=$((0x10000))
# Two stretches of data with a gap of 0x1000 bytes between them; 0x22000
# bytes in all, more than the image holds. Every command on its own line,
# 64 bytes a load command, a checksum after every 256 commands.
awk -v base="$base" '
  function emit(text,   i) {
    print text
    for (i = 1; i <= length(text); i++) sum = (sum + ord[substr(text, i, 1)]) % 128
    if (++commands % 256 == 0) check()
  }
  function check() {
    sum = (sum + ord["C"] + ord["S"]) % 128
    printf "CS%02X.\n", sum
    sum = 0
  }
  function stretch(from, length_,   a, line) {
    emit(sprintf("ASP0,%X.", from))
    for (a = from; a < from + length_; a++) {
      line = line sprintf("%02X", (a * 7 + int(a / 256) * 3 + int(a / 65536)) % 256)
      if ((a - from) % 64 == 63) { emit("LD" line "."); line = "" }
    }
  }
  BEGIN {
    for (i = 32; i < 127; i++) ord[sprintf("%c", i)] = i
    emit("MB68000,05LARGE.")
    emit("AD8,4,M.")
    emit(sprintf("ASL0,%X.", base))
    emit("ASS0,30000.")
    emit(sprintf("ASG,%X.", base + 256))
    stretch(base, 65536)
    stretch(base + 69632, 73728)
    check()
    print "ME."
  }' >large.muf

# /B switches to contiguous streaming for this section size: the output runs
# from the section's lowest address to the last byte loaded.
console=$("$TRELON" /BZ00 large.muf ref00.bin)
grep -q "Binary must be contiguous" <<<"$console" || { echo "$console" >&2; fail "/B did not stream contiguously"; }
convert /BZ00 large.muf ref00.bin
convert /BZff large.muf refff.bin
size=$(stat -c %s ref00.bin)
[ "$size" -eq $((0x23000)) ] || fail "/B wrote $size bytes, expected 0x23000"
start=$((base + 0x100))

for format in M2 M3; do
  convert "/${format}Z5a" large.muf stream.rec
  # As in srec_cat.sh: filled with 00 and with ff, the records must read as
  # the raw output with those fill bytes.
  for gap in 00 ff; do
    srec_cmp -disable-sequence-warnings stream.rec -motorola -fill "0x$gap" "$base" $((base + size)) \
      "ref$gap.bin" -binary -offset "$base" ||
      fail "srec_cmp: /$format (gaps $gap) differs from /B"
  done
  seen=$(srec_info stream.rec -motorola | sed -n 's/^Execution Start Address: *//p')
  [ -n "$seen" ] && [ $((0x$seen)) -eq "$start" ] || fail "srec_info reads start '$seen' from /$format"

  objcopy -I srec -O binary --gap-fill 0x00 stream.rec objcopy.bin || fail "objcopy refuses /$format"
  cmp objcopy.bin ref00.bin || fail "objcopy reads /$format as other bytes than /B"
  seen=$(objdump -f -b srec stream.rec | sed -n 's/^start address 0x//p')
  [ -n "$seen" ] && [ $((0x$seen)) -eq "$start" ] || fail "objdump reads start '$seen' from /$format"
  echo "$format: $(wc -l <stream.rec) records read as the $(hex "$size") bytes of /B"
done
