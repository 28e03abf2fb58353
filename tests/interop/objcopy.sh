#!/usr/bin/env bash
# objcopy (-I ihex, -I srec, -O binary) reads our Intel Hex and S1/S2/S3
# records of a module as our raw image (/B), in both record modes; objdump
# finds our start address.
#   objcopy.sh TRELON MODULE MODIFIERS FILL  (MODIFIERS "-" for none)
source "$(dirname "$0")/lib.sh"
module=$(given_path "$1")
mods=$(modifiers "$2")
fill=$3
require_tools objcopy objdump

bfd() {
  case $1 in
    I) echo ihex ;;
    M*) echo srec ;;
  esac
}

# to_binary FORMAT FILE OUT [objcopy options]: fails unless objcopy reads FILE.
to_binary() {
  local format=$1 file=$2 out=$3
  shift 3
  objcopy -I "$(bfd "$format")" -O binary "$@" "$file" "$out" 2>objcopy.err ||
    { cat objcopy.err >&2; fail "objcopy -I $(bfd "$format") refuses $file"; }
}

check_start() {
  local file=$1 format=$2 expected=$3 seen
  seen=$(objdump -f -b "$(bfd "$format")" "$file" | sed -n 's/^start address 0x//p')
  [ -n "$seen" ] && [ $((0x$seen)) -eq "$expected" ] ||
    fail "$file: objdump reads start '${seen}', expected $(hex "$expected")"
}

reference "$module" "$mods" "$fill"
span=$(loaded_span ref00.bin refff.bin)
first=${span% *}
last=${span#* }
echo "window $(hex "$MIN") + $(hex "$LEN"), loaded from offset $(hex "$first") to $(hex "$last")"

for format in I M1 M2 M3; do
  mask=$(address_mask "$format")
  if [ $(((MIN & mask) + LEN - 1)) -gt "$mask" ]; then
    echo "$format: not compared, the window $(hex "$MIN") + $(hex "$LEN") wraps in its addresses"
    continue
  fi

  # Image mode: records for the whole window, so objcopy's binary, which
  # starts at the lowest address read, is /B byte for byte.
  convert "/${format}C${mods}Z${fill}" "$module" image.rec
  to_binary "$format" image.rec image.bin
  cmp image.bin ref.bin || fail "objcopy reads /${format}C as other bytes than /B"
  check_start image.rec "$format" $((START & mask))

  # Streamed records: objcopy's binary runs from the first to the last loaded
  # byte, its gaps filled with --gap-fill. With 00 and with ff it must be
  # that stretch of ref00.bin and of refff.bin.
  convert "/${format}${mods}Z${fill}" "$module" stream.rec
  for gap in 00 ff; do
    to_binary "$format" stream.rec "stream$gap.bin" --gap-fill "0x$gap"
    tail -c +$((first + 1)) "ref$gap.bin" | head -c $((last - first + 1)) >"expected$gap.bin"
    cmp "stream$gap.bin" "expected$gap.bin" ||
      fail "objcopy reads /$format (gaps $gap) as other bytes than /B from $(hex $((MIN + first))) to $(hex $((MIN + last)))"
  done
  check_start stream.rec "$format" $((START & mask))
  echo "$format: image and streamed records agree"
done
