#!/usr/bin/env bash
# The PDP-11 simulator's absolute loader ("load") takes our /P and /PC
# records of a module into memory as our raw image (/B), and takes the start
# address from our end record.
#   simh_load.sh TRELON MODULE MODIFIERS FILL  (MODIFIERS "-" for none)
source "$(dirname "$0")/lib.sh"
module=$(given_path "$1")
mods=$(modifiers "$2")
fill=$3
require_tools pdp11 timeout

reference "$module" "$mods" "$fill"
# The records carry 16-bit addresses; keep below the I/O page at 160000.
lo=$((MIN & 0xFFFF))
hi=$((lo + LEN - 1))
[ "$hi" -lt $((0160000)) ] || fail "window $(hex "$lo") + $(hex "$LEN") reaches the I/O page"

# simh_dump RECORDS: loads RECORDS into a fresh simulator and prints the PC,
# then each byte of the window, in octal, one a line.
simh_dump() {
  cat >load.ini <<EOF
set console log=load.log
load $1
examine PC
examine -b $(printf '%o-%o' "$lo" "$hi")
quit
EOF
  rm -f load.log
  timeout 60 pdp11 load.ini </dev/null >/dev/null 2>&1 || fail "pdp11 did not finish: $(cat load.log 2>/dev/null)"
  # The loader reports a bad block in the log; simh's exit status stays 0.
  if grep -qi "error\|invalid\|non-existent" load.log; then
    cat load.log >&2
    fail "simh refuses $1"
  fi
  awk -F'\t' '/^PC:/ { print $2 + 0 } /^[0-7]+:\t/ { print $2 + 0 }' load.log
}

# expected IMAGE: the PC after the load, then the window bytes. simh 3.8
# sets the PC from the end record with bit 0 cleared, also for an odd start
# address (on which the paper-tape loader would halt instead).
expected() {
  printf '%o\n' $((START & 0xFFFE))
  od -An -v -to1 -w1 "$1" | awk '{ print $1 + 0 }'
}

# Image mode loads the whole window, gaps as the fill byte.
convert "/PC${mods}Z${fill}" "$module" image.pdp
simh_dump image.pdp >image.seen
expected ref.bin >image.expected
diff image.expected image.seen >/dev/null || fail "simh loads /PC as other bytes (or start) than /B: $(diff image.expected image.seen | head -5)"

# Streamed records load only the module's bytes into memory that starts out
# zero: the image with the fill byte 00.
convert "/P${mods}Z${fill}" "$module" stream.pdp
simh_dump stream.pdp >stream.seen
expected ref00.bin >stream.expected
diff stream.expected stream.seen >/dev/null || fail "simh loads /P as other bytes (or start) than /B: $(diff stream.expected stream.seen | head -5)"
echo "simh loads /PC and /P of $(basename "$module") as /B ($(hex "$LEN") bytes at $(hex "$lo"), PC $(head -1 image.seen) octal)"
