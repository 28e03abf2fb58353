# Shared helpers of the interop tests; sourced by each test script.
#
# Every script takes the trelon binary as its first argument and works in a
# fresh temporary directory that is removed on exit. Exit status: 0 pass,
# 1 fail, 77 skip (a tool is not installed and TRELON_REQUIRE_TOOLS is not 1).

set -euo pipefail

TRELON=$(realpath "$1")
shift
CALLER_DIR=$PWD
WORK=$(mktemp -d "${TMPDIR:-/tmp}/trelon-interop.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# A path given on the command line, made absolute (we work elsewhere).
given_path() {
  (cd "$CALLER_DIR" && realpath "$1")
}

# Option modifiers given on the command line; "-" stands for none.
modifiers() {
  [ "$1" = - ] || echo "$1"
}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Skips the test (ctest shows it as skipped) when a tool is missing, unless
# the environment asks for every tool, as CI does.
require_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      if [ "${TRELON_REQUIRE_TOOLS:-}" = 1 ]; then
        fail "required tool '$tool' is not installed (TRELON_REQUIRE_TOOLS=1)"
      fi
      echo "SKIPPED: tool '$tool' is not installed"
      exit 77
    fi
  done
}

# convert WORD MODULE OUTPUT: runs trelon and fails on any reported error.
# trelon exits 0 after an input error too, so its console text is checked.
convert() {
  local console
  console=$("$TRELON" "$1" "$2" "$3") || fail "trelon $1 $2 exited with status $?"
  if grep -q "Error in muf file" <<<"$console"; then
    echo "$console" >&2
    fail "trelon $1 $2 reported an error"
  fi
  [ -f "$3" ] || fail "trelon $1 $2 wrote no $3"
}

# le32 FILE OFFSET: the unsigned little-endian 32-bit word at OFFSET.
le32() {
  od --endian=little -An -tu4 -j "$2" -N 4 "$1" | tr -d ' '
}

# reference MODULE MODS FILL: our own raw image of MODULE (the word /B with
# the modifiers MODS and the fill byte FILL) in ref.bin, and its window from
# the 256-byte header of /BH: MIN (first address), LEN (length), START (start
# address). Also ref00.bin and refff.bin, the same image with the fill bytes
# 00 and ff: a byte that differs between these two is a gap byte, one that
# agrees was loaded by the module.
# shellcheck disable=SC2034 # MIN, LEN and START are for the test scripts
reference() {
  local module=$1 mods=$2 fill=$3
  convert "/BH${mods}Z${fill}" "$module" ref.bhdr
  MIN=$(le32 ref.bhdr 0)
  LEN=$(le32 ref.bhdr 4)
  START=$(le32 ref.bhdr 8)
  convert "/B${mods}Z${fill}" "$module" ref.bin
  convert "/B${mods}Z00" "$module" ref00.bin
  convert "/B${mods}Zff" "$module" refff.bin
  [ "$(stat -c %s ref.bin)" -eq "$LEN" ] || fail "/B wrote $(stat -c %s ref.bin) bytes, its header says $LEN"
  [ "$LEN" -gt 0 ] || fail "module $module has an empty window"
}

# loaded_span A B: prints "FIRST LAST", the offsets of the first and the last
# byte on which the equally long files A and B agree (cmp -l lists those on
# which they differ, in order).
loaded_span() {
  local size
  size=$(stat -c %s "$1")
  { cmp -l "$1" "$2" || true; } | awk -v n="$size" '
    { differ[$1] = 1 }
    END {
      for (i = 1; i <= n; i++) if (!(i in differ)) { if (!first) first = i; last = i }
      if (!first) exit 1
      print first - 1, last - 1
    }' || fail "no byte of $1 and $2 agrees: the module loads nothing"
}

# Address bits a record format carries: the readers see addresses modulo this.
address_mask() {
  case $1 in
    I | M1 | P) echo $((0xFFFF)) ;;
    M2) echo $((0xFFFFFF)) ;;
    M3) echo $((0xFFFFFFFF)) ;;
    *) fail "unknown format $1" ;;
  esac
}

hex() { printf '0x%X' "$1"; }
