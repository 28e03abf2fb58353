#!/usr/bin/env bash
# Our PDP-11 records of examples/pdp11_hello.muf load into the PDP-11
# simulator and run: the program prints its line on the console terminal
# and halts, started from the address our end block carries.
#   pdp11_hello.sh TRELON MODULE
source "$(dirname "$0")/lib.sh"
module=$(given_path "$1")
require_tools pdp11 timeout

expected_line=$'HELLO FROM TRELON\r'
reference "$module" "" 00
start=$(printf '%06o' $((START & 0xFFFF)))

for word in /P /PC; do
  convert "$word" "$module" hello.pdp
  # No address after go: the PC is the one the loader took from our end
  # block. The program's output is read from the console log, which keeps
  # the order of simulator messages and program output.
  cat >run.ini <<'EOF'
set console log=console.log
load hello.pdp
examine PC
go
quit
EOF
  rm -f console.log
  timeout 60 pdp11 run.ini </dev/null >/dev/null 2>&1 ||
    fail "$word: pdp11 did not finish (status $?): $(cat console.log 2>/dev/null)"
  grep -qi "error" console.log && { cat console.log >&2; fail "$word: simh reports an error"; }
  grep -qx "PC:	$start" console.log || { cat console.log >&2; fail "$word: PC after load is not $start"; }
  # The line, then the halt; the halt must come from the program's own HALT
  # (at 001032, so the PC shows 001034), not from a stray jump.
  awk -v line="$expected_line" '
    $0 == line { seen = NR }
    /^HALT instruction, PC: 001034/ { halt = NR }
    END { exit !(seen && halt > seen) }' console.log ||
    { cat -A console.log >&2; fail "$word: no line '${expected_line%?}' before the program's HALT"; }
  echo "$word: printed '${expected_line%?}' and halted"
done
