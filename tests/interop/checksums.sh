#!/usr/bin/env bash
# Our record checksums are the ones the readers check: a reader takes each of
# our files as it is, and refuses it, for a checksum, as soon as the checksum
# of any one record (header and end record included) is off by one.
#   checksums.sh TRELON MODULE READER     (READER: srec_cat, objcopy or simh)
source "$(dirname "$0")/lib.sh"
module=$(given_path "$1")
tool=$2

case $tool in
  srec_cat)
    require_tools srec_cat
    formats="I M1 M2 M3 P"
    ;;
  objcopy)
    require_tools objcopy
    formats="I M1 M2 M3"
    ;;
  simh)
    require_tools pdp11 timeout
    formats="P"
    ;;
  *) fail "unknown reader $tool" ;;
esac

# read_with FORMAT FILE: runs the reader on FILE; its messages go to
# read.err. Fails when the reader does not finish.
read_with() {
  case $tool in
    srec_cat)
      local reader
      case $1 in I) reader=-intel ;; M*) reader=-motorola ;; P) reader=-dec_binary ;; esac
      srec_cat -disable-sequence-warnings "$2" $reader -o /dev/null -binary 2>read.err
      ;;
    objcopy)
      local bfd=srec
      [ "$1" = I ] && bfd=ihex
      objcopy -I "$bfd" -O binary "$2" read.bin 2>read.err
      ;;
    simh)
      # simh's exit status says nothing about the load: read its log.
      printf 'set console log=read.err\nload %s\nquit\n' "$2" >load.ini
      rm -f read.err
      timeout 60 pdp11 load.ini </dev/null >/dev/null 2>&1 || fail "pdp11 did not finish"
      ! grep -qi "error" read.err
      ;;
  esac
}

# Text records: the checksum is the last two hex digits of line K.
corrupt_line() {
  awk -v k="$2" '
    BEGIN { hex = "0123456789ABCDEF" }
    NR == k {
      cr = sub(/\r$/, "")
      n = length($0)
      v = (index(hex, substr($0, n - 1, 1)) - 1) * 16 + index(hex, substr($0, n, 1)) - 1
      $0 = substr($0, 1, n - 2) sprintf("%02X", (v + 1) % 256) (cr ? "\r" : "")
    }
    { print }' "$1"
}

# PDP-11 records: prints, for each record, the offset of its checksum byte,
# which follows the byte count (little-endian, at the record's offset 2)
# bytes, and that count ("offset:count").
pdp_checksums() {
  local size offset=0 count
  size=$(stat -c %s "$1")
  while [ "$offset" -lt "$size" ]; do
    count=$(od --endian=little -An -tu2 -j $((offset + 2)) -N 2 "$1" | tr -d ' ')
    [ "$count" -ge 6 ] || fail "$1: record at $offset has the byte count $count"
    echo "$((offset + count)):$count"
    offset=$((offset + count + 1))
  done
}

corrupt_byte() {
  local file=$1 offset=$2 old
  old=$(od -An -tu1 -j "$offset" -N 1 "$file" | tr -d ' ')
  cp "$file" broken
  # shellcheck disable=SC2059 # the format is the octal escape of the new byte
  printf "\\$(printf '%03o' $(((old + 1) % 256)))" | dd of=broken bs=1 seek="$offset" conv=notrunc status=none
}

refused() {
  if read_with "$1" broken; then
    fail "$tool takes /$2 with a broken checksum in $3"
  fi
  grep -qi "checksum" read.err || { cat read.err >&2; fail "$tool refuses /$2 with a broken $3, but not for its checksum"; }
}

for format in $formats; do
  for word in "$format" "${format}C"; do
    convert "/$word" "$module" out.rec
    read_with "$format" out.rec || { cat read.err >&2; fail "$tool refuses our intact /$word"; }
    records=0
    if [ "$format" = P ]; then
      for record in $(pdp_checksums out.rec); do
        offset=${record%:*}
        # simh checks the data blocks only: its loader stops at the end
        # block (byte count 6) without reading that block's checksum.
        if [ "$tool" = simh ] && [ "${record#*:}" -eq 6 ]; then
          continue
        fi
        corrupt_byte out.rec "$offset"
        refused "$format" "$word" "the record whose checksum is at byte $offset"
        records=$((records + 1))
      done
    else
      lines=$(wc -l <out.rec)
      for k in $(seq 1 "$lines"); do
        # objcopy does not check the checksum of the S0 header record.
        if [ "$tool" = objcopy ] && [ "$k" -eq 1 ] && [ "$format" != I ]; then
          continue
        fi
        corrupt_line out.rec "$k" >broken
        refused "$format" "$word" "line $k"
        records=$((records + 1))
      done
    fi
    [ "$records" -gt 1 ] || fail "/$word: only $records record(s) tried"
    echo "/$word: $tool refuses each of $records records with a broken checksum"
  done
done
