#!/usr/bin/env bash
# srec_cat's own readers (-intel, -motorola, -dec_binary, checksums checked)
# read our Intel Hex, S1/S2/S3 and PDP-11 records of a module as exactly the
# bytes and addresses of our raw image (/B), in both record modes.
#   srec_cat.sh TRELON MODULE MODIFIERS FILL  (MODIFIERS "-" for none)
source "$(dirname "$0")/lib.sh"
module=$(given_path "$1")
mods=$(modifiers "$2")
fill=$3
require_tools srec_cat srec_cmp srec_info

reader() {
  case $1 in
    I) echo -intel ;;
    M*) echo -motorola ;;
    P) echo -dec_binary ;;
  esac
}

# same FILE READER-AND-FILTERS... -- REFERENCE OFFSET: srec_cmp finds the
# same address set and the same bytes on both sides; else shows where not.
same() {
  local file=$1 ref=$2 offset=$3
  shift 3
  if ! srec_cmp -disable-sequence-warnings "$file" "$@" "$ref" -binary -offset "$offset" >/dev/null 2>cmp.err; then
    cat cmp.err >&2
    srec_cmp -disable-sequence-warnings -verbose "$file" "$@" "$ref" -binary -offset "$offset" >&2 || true
    fail "srec_cmp: $file ($*) differs from $ref placed at $(hex "$offset")"
  fi
}

# The start address srec_info reads from the end record.
check_start() {
  local file=$1 format=$2 expected=$3 seen
  seen=$(srec_info -disable-sequence-warnings "$file" "$(reader "$format")" 2>/dev/null |
    sed -n 's/^Execution Start Address: *//p')
  if [ "$format" = I ] && [ "$expected" -eq 0 ]; then
    # srec_cat takes an Intel end record's address 0000 for "no start address".
    [ -z "$seen" ] || fail "$file: srec_info reads start $seen, expected none"
  else
    [ -n "$seen" ] && [ $((0x$seen)) -eq "$expected" ] ||
      fail "$file: srec_info reads start '${seen}', expected $(hex "$expected")"
  fi
}

reference "$module" "$mods" "$fill"
echo "window $(hex "$MIN") + $(hex "$LEN"), start $(hex "$START")"

for format in I M1 M2 M3 P; do
  mask=$(address_mask "$format")
  # The records carry the low address bits only, so the whole window moves
  # down by the same amount, unless it wraps; then the records are not one
  # stretch of addresses and this comparison does not apply.
  lo=$((MIN & mask))
  hi=$((lo + LEN))
  if [ $((hi - 1)) -gt "$mask" ]; then
    echo "$format: not compared, the window $(hex "$MIN") + $(hex "$LEN") wraps in its addresses"
    continue
  fi

  # Image mode writes the whole window, gaps as the fill byte: the same
  # address set and bytes as /B placed at the window's start.
  convert "/${format}C${mods}Z${fill}" "$module" image.rec
  same image.rec ref.bin "$lo" "$(reader "$format")"
  check_start image.rec "$format" $((START & mask))

  # Streamed records hold only the bytes the module loads. With the window's
  # gaps filled with 00 they must read as ref00.bin and with ff as refff.bin:
  # then every loaded byte is there with its value and no gap byte is, since
  # a record byte at a gap address cannot equal both 00 and ff. A byte
  # outside the window would show up as an address only on the left.
  convert "/${format}${mods}Z${fill}" "$module" stream.rec
  same stream.rec ref00.bin "$lo" "$(reader "$format")" -fill 0x00 "$lo" "$hi"
  same stream.rec refff.bin "$lo" "$(reader "$format")" -fill 0xff "$lo" "$hi"
  check_start stream.rec "$format" $((START & mask))
  echo "$format: image and streamed records agree"
done
