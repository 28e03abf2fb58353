#!/bin/sh
# Our executables run: DOSBox runs the three MS-DOS variants of
# examples/dos_hello.muf (entry at 5, behind a decoy at 0 that exits with 7),
# Hatari with its own minimal ROM runs the TOS program of
# examples/tos_hello.muf. Each prints its greeting and exits with status 42.
#   sh emulators.sh TRELON SOURCE_DIR
trelon=$(realpath "$1") src=$(realpath "$2")
. "$src/tests/needs.sh" && needs "Debian's dosbox and hatari" dosbox hatari timeout
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" || exit 1
export HOME="$work" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
failures=0
# printed FILE TEXT STATUS WHAT: the program printed TEXT and a line end, and exited with STATUS.
printed() {
  [ "$(od -An -c "$1")" = "$(printf '%s\r\n' "$2" | od -An -c)" ] && [ "$3" = 42 ] ||
    { failures=$((failures + 1)) && echo "FAILED: $4 prints '$(cat "$1")' and exits with $3"; }
}
# DOSBox's own status says nothing; the batch file keeps the program's: an IF
# opens its redirection even when false, so ST.TXT holds 42 or nothing.
printf '[cpu]\ncycles=max\n[mixer]\nnosound=true\n[autoexec]\nmount c "%s"\nc:\nCALL RUN.BAT\nEXIT\n' "$work" >dos.conf
printf 'HELLO.EXE >OUT.TXT\r\nIF ERRORLEVEL 43 GOTO END\r\nIF ERRORLEVEL 42 ECHO 42>ST.TXT\r\n:END\r\n' >RUN.BAT
for word in /E1S37 /E2S16D32 /E3S64; do
  "$trelon" $word "$src/examples/dos_hello.muf" HELLO.EXE >/dev/null && rm -f OUT.TXT ST.TXT
  timeout -k 2 30 dosbox -conf dos.conf >dosbox.log 2>&1
  printed OUT.TXT "Hello from DOS" "$(tr -d ' \r\n' <ST.TXT 2>/dev/null)" "$word in DOSBox"
done
"$trelon" /T "$src/examples/tos_hello.muf" HELLO.TOS >/dev/null
timeout -k 2 30 hatari --tos none --sound off --fast-forward on --run-vbls 500 HELLO.TOS >tos.txt 2>hatari.log </dev/null
printed tos.txt "Hello from TOS" $? "/T in Hatari"
echo "emulators: $failures of 4 runs failed"
[ $failures = 0 ]
