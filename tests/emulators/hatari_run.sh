#!/usr/bin/env bash
# Converts a module into a TOS program and runs it in Hatari with its built-in
# minimal ROM (no TOS image needed), without a display or sound. Cconws text
# comes out on Hatari's standard output and Pterm's status is Hatari's own.
#   hatari_run.sh TRELON MODULE EXPECTED_LINE EXPECTED_STATUS
set -u
TRELON=$1 module=$2 expected_line=$3 expected_status=$4
. "$(dirname "$0")/common.sh"

need_tool hatari
need_tool timeout
need_tool od
make_scratch

convert /T "$module" "$SCRATCH/HELLO.TOS"

# 500 VBLs end the emulation if the program never calls Pterm.
HOME=$SCRATCH SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
  timeout -k 2 20 hatari --tos none --sound off --fast-forward on --run-vbls 500 \
  "$SCRATCH/HELLO.TOS" > "$SCRATCH/stdout.txt" 2> "$SCRATCH/stderr.txt" < /dev/null
status=$?
case $status in 124 | 137) cat "$SCRATCH/stderr.txt"; fail "Hatari did not finish within 20 s" ;; esac

if ! check_printed "$SCRATCH/stdout.txt" "$status"; then
  cat "$SCRATCH/stderr.txt"
  fail "$(basename "$module") under Hatari"
fi
echo "PASSED: /T $(basename "$module"): printed '$expected_line', exit status $status"
