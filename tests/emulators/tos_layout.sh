#!/usr/bin/env bash
# Byte-exact layout of TOS program files: the 28-byte header, the image, the
# pad byte that makes an odd text length even, and the six zero bytes of the
# relocation area. Hatari's loader ignores the pad byte, so it is checked here.
#   tos_layout.sh TRELON ODD_MODULE
# ODD_MODULE loads an odd number of bytes at address 0 from one ASP, in LD
# commands that follow one another (their data is the image).
set -u
TRELON=$1 module=$2
. "$(dirname "$0")/common.sh"

need_tool od
make_scratch

zeros() { local i; for ((i = 0; i < $1; i++)); do printf ' 00'; done; }
# check FILE EXPECTED_HEX WHAT
check() {
  local got
  got=$(hex_of "$1")
  if [ "$got" != "$2" ]; then
    echo "got:      $got"
    echo "expected: $2"
    fail "$3"
  fi
}

# The example: its image is the LD data of the module text.
image=$(tr -d '\r\n' < "$module" | grep -o 'LD[0-9A-F]*\.' | sed 's/^LD//; s/\.$//' | tr -d '\n' |
        sed 's/../& /g; s/ $//' | tr 'A-F' 'a-f')
length=$(( ($(printf '%s' "$image" | wc -c) + 1) / 3 ))
[ $((length % 2)) = 1 ] || fail "$module should load an odd number of bytes, it loads $length"
text=$((length + 1))
convert /T "$module" "$SCRATCH/odd.tos"
check "$SCRATCH/odd.tos" \
  "60 1a$(printf ' %02x' 0 0 $((text >> 8)) $((text & 255)))$(zeros 22) $image 00$(zeros 6)" \
  "$(basename "$module"): header with text length $text, $length image bytes, pad byte, relocation area"

# An even image: no pad byte.
printf 'MB68000,04EVEN.ASL0,0.ASS0,4.ASG,0.ASP0,0.LD4E714E75.CS.ME.' > "$SCRATCH/even.muf"
convert /T "$SCRATCH/even.muf" "$SCRATCH/even.tos"
check "$SCRATCH/even.tos" "60 1a 00 00 00 04$(zeros 22) 4e 71 4e 75$(zeros 6)" \
  "4-byte image: header with text length 4, the image, relocation area, no pad byte"

echo "PASSED: TOS layout of $(basename "$module") ($length bytes, file $((text + 34))) and of a 4-byte image (file 38)"
