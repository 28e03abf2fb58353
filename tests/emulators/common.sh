# Shared by the emulator tests: tool checks, scratch folder, conversion.
# Sourced; the caller has set TRELON to the converter binary.

# A missing tool skips the test (ctest reads exit status 77 as "skipped"),
# unless TRELON_REQUIRE_TOOLS=1 (as in CI), where it is a failure.
need_tool() {
  if command -v "$1" >/dev/null 2>&1; then
    return 0
  fi
  if [ "${TRELON_REQUIRE_TOOLS:-}" = 1 ]; then
    echo "FAILED: $1 is not installed, and TRELON_REQUIRE_TOOLS=1 requires it"
    exit 1
  fi
  echo "SKIPPED: $1 is not installed"
  exit 77
}

fail() {
  echo "FAILED: $*"
  exit 1
}

# A fresh folder, removed when the test ends.
make_scratch() {
  SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/trelon-emu-XXXXXX") || fail "mktemp"
  trap 'rm -rf "$SCRATCH"' EXIT
}

# convert WORD MODULE OUTPUT: runs the converter and checks that the run
# wrote a file. An input error still ends with status 0, so the console
# text is what tells.
convert() {
  local console
  console=$("$TRELON" "$1" "$2" "$3") || fail "trelon $1 $2 $3 ended with status $?"
  case $console in
    *"Error in muf file"*) echo "$console"; fail "trelon $1 rejected $2" ;;
  esac
  [ -s "$3" ] || { echo "$console"; fail "trelon $1 $2 wrote no output"; }
}

# hex_of FILE: the file's bytes as one line of lower-case hex pairs.
hex_of() {
  od -An -v -tx1 "$1" | tr -s ' \n' '  ' | sed 's/^ *//; s/ *$//'
}

# line_hex TEXT: TEXT and CR LF as hex_of shows them; nothing for empty TEXT.
line_hex() {
  [ -n "$1" ] || return 0
  printf '%s\r\n' "$1" | od -An -v -tx1 | tr -s ' \n' '  ' | sed 's/^ *//; s/ *$//'
}

# Compares what a program printed (in file $1) and its exit status ($2) with
# $expected_line and $expected_status; says what differs and returns 1 then.
check_printed() {
  expected_hex=$(line_hex "$expected_line")
  printed_hex=$(hex_of "$1")
  ok=0
  if [ "$printed_hex" != "$expected_hex" ]; then
    echo "printed (hex):  $printed_hex"
    echo "expected (hex): $expected_hex"
    ok=1
  fi
  if [ "$2" != "$expected_status" ]; then
    echo "exit status $2, expected $expected_status"
    ok=1
  fi
  return $ok
}
