#!/usr/bin/env bash
# Converts a module into an MS-DOS executable and runs it in DOSBox without
# a display or sound, then checks what it printed and its exit status.
#   dosbox_run.sh TRELON MODULE WORD EXPECTED_LINE EXPECTED_STATUS
# An empty EXPECTED_LINE means the program must print nothing.
set -u
TRELON=$1 module=$2 word=$3 expected_line=$4 expected_status=$5
. "$(dirname "$0")/common.sh"

need_tool dosbox
need_tool timeout
need_tool od
make_scratch

convert "$word" "$module" "$SCRATCH/HELLO.EXE"

# DOSBox's own exit status is always 0: the program's output and status are
# read from files written inside the emulated machine. The status ladder
# lives in a batch file because the [autoexec] section holds only 4 KB; it
# uses GOTO because DOSBox opens a line's redirection even when its IF is
# false, which would empty the file on every later line.
{
  for ((i = 255; i >= 1; i--)); do printf 'IF ERRORLEVEL %d GOTO L%d\r\n' $i $i; done
  printf 'GOTO L0\r\n'
  for ((i = 255; i >= 0; i--)); do printf ':L%d\r\nECHO %d > STATUS.TXT\r\nGOTO END\r\n' $i $i; done
  printf ':END\r\n'
} > "$SCRATCH/STATUS.BAT"

cat > "$SCRATCH/run.conf" <<CONF
[sdl]
output=surface
[mixer]
nosound=true
[speaker]
pcspeaker=false
[cpu]
cycles=max
[autoexec]
mount c "$SCRATCH"
c:
HELLO.EXE > OUTPUT.TXT
CALL STATUS.BAT
EXIT
CONF

HOME=$SCRATCH SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
  timeout -k 2 20 dosbox -conf "$SCRATCH/run.conf" > "$SCRATCH/dosbox.log" 2>&1
run_status=$?
if [ ! -f "$SCRATCH/STATUS.TXT" ]; then
  cat "$SCRATCH/dosbox.log"
  # timeout ends with 124, or 137 when DOSBox had to be killed.
  case $run_status in 124 | 137) fail "DOSBox did not finish within 20 s ($word $module)" ;; esac
  fail "DOSBox recorded no exit status ($word $module), DOSBox ended with $run_status"
fi

status=$(tr -d ' \r\n' < "$SCRATCH/STATUS.TXT")
check_printed "$SCRATCH/OUTPUT.TXT" "$status" || fail "$word $module under DOSBox"
echo "PASSED: $word $(basename "$module"): printed '${expected_line}', exit status $status"
