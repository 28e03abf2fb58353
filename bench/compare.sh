#!/bin/sh
# Differential comparison of two trelon binaries: a reference (a release you
# trust) and a new build. Every golden case under tests/golden and COUNT
# generated modules (bench/modgen.py: valid and broken, every format and
# modifier, small to multi-MB, --strict and --quiet, - for the input or the
# output, existing outputs, a few fed through a pipe) are run through both,
# each binary in its own scratch folder with the same arguments (relative
# paths, so the console text can be compared as it is). Compared: the
# output file's bytes (or its absence), the files left in the folder (dot
# files too: a temporary file left by --strict), the input left as it was,
# standard output, standard error and the exit status.
#
#   sh bench/compare.sh REFERENCE_BINARY NEW_BINARY [COUNT]     (COUNT default 3000)
#
#   SEED         seed of the generated modules (default 1); the same seed gives the same cases
#   JOBS         runs at a time (default: the number of processors)
#   TIMEOUT      seconds one run may take (default 120)
#   COMPARE_TMP  where the scratch folder goes (default /tmp)
#
# Exit status 0: no differences; 1: differences (the failing cases are kept,
# and the summary names the folder); 2: wrong use, or a batch could not be
# generated.
set -u

# One batch, run by xargs below: "golden" or "gen FIRST N". Forks are dear
# (about 10 ms each on a small machine), so a case costs only the two runs,
# their two timeouts and one md5sum, unless it fails.
if [ "${1:-}" = "--batch" ]; then
  shift
  batch=$WORK/cases/$1-${2:-0}
  if [ "$1" = golden ]; then
    "$PYTHON" "$HERE/modgen.py" golden "$ROOT/tests/golden" "$batch"
  else
    "$PYTHON" "$HERE/modgen.py" gen "$SEED" "$2" "$3" "$batch"
  fi || { echo "batch $*: the generator failed" >>"$WORK/log/errors.$$"; exit 0; }
  ulimit -f 1048576 2>/dev/null  # a runaway output stops at 512 MiB or more

  # The names of the files in folder $1, in $listing.
  list() {
    listing=
    for f in "$1"/* "$1"/.[!.]* "$1"/..?*; do
      if [ -e "$f" ] || [ -L "$f" ]; then listing="$listing ${f##*/}"; fi
    done
  }
  # How two files differ, for the report.
  how() {
    cmp "$1" "$2" 2>&1 | sed 's|.*differ: ||;s|^cmp: ||' | head -1
  }

  for C in "$batch"/*; do
    name=${C##*/}
    set --
    while IFS= read -r a || [ -n "$a" ]; do
      case $a in
        @IN@) a=in.muf ;;
        @OUT@) a=out.bin ;;
        @MISSING@) a=missing.muf ;;
        @NODIR@) a=nodir/out.bin ;;
        @LINK@) a=link.muf ;;
        @DIR@) a=. ;;
      esac
      set -- "$@" "$a"
    done <"$C/args"
    # what the summary counts: the options, - as input or output, an existing output
    tags=
    n=0
    for a; do
      case $n$a in
        0--strict) tags="$tags strict" ;;
        0--quiet) tags="$tags quiet" ;;
        0--*) ;;
        2-) tags="$tags stdin"; n=3 ;;
        3-) tags="$tags stdout"; n=4 ;;
        0*) n=2 ;;
        *) n=$((n + 1)) ;;
      esac
    done
    [ ! -f "$C/existing" ] || tags="$tags existing"
    [ ! -f "$C/pipe" ] || tags="$tags pipe"
    for side in ref new; do
      if [ $side = ref ]; then bin=$REF; else bin=$NEW; fi
      cd "$C/$side" || exit 1
      if [ -f ../pipe ]; then
        # shellcheck disable=SC2002 # a pipe is the point
        cat in.muf 2>/dev/null | timeout "$TIMEOUT" "$bin" "$@" >../$side.stdout 2>../$side.stderr
      else
        timeout "$TIMEOUT" "$bin" "$@" >../$side.stdout 2>../$side.stderr <in.muf
      fi
      echo $? >../$side.status
    done
    cd "$C" || exit 1
    read -r s1 <ref.status
    read -r s2 <new.status
    inp=
    out=
    [ ! -f ref/in.muf ] || [ ! -f new/in.muf ] || inp="ref/in.muf new/in.muf"
    [ ! -f ref/out.bin ] || [ ! -f new/out.bin ] || out="ref/out.bin new/out.bin"
    # one md5sum for all pairs: hash, name, hash, name per pair
    # shellcheck disable=SC2046,SC2086
    set -- $(md5sum ref.stdout new.stdout ref.stderr new.stderr $inp $out)
    what=
    if [ "$s1" != "$s2" ]; then
      what="$what exit status $s1 / $s2;"
      case " $s1 $s2 " in *" 124 "*) what="$what (124: killed after ${TIMEOUT}s);" ;; esac
    fi
    [ "$1" = "$3" ] || what="$what stdout: $(how ref.stdout new.stdout);"
    [ "$5" = "$7" ] || what="$what stderr: $(how ref.stderr new.stderr);"
    shift 8
    if [ -n "$inp" ]; then
      [ "$1" = "$3" ] || what="$what the input was changed: $(how ref/in.muf new/in.muf);"
      shift 4
    elif [ -f ref/in.muf ] || [ -f new/in.muf ]; then
      what="$what the input was removed by one of them;"
    fi
    if [ -n "$out" ]; then
      [ "$1" = "$3" ] ||
        what="$what output: $(wc -c <ref/out.bin) / $(wc -c <new/out.bin) bytes, $(how ref/out.bin new/out.bin);"
    elif [ -f ref/out.bin ]; then
      what="$what output: only the reference wrote one;"
    elif [ -f new/out.bin ]; then
      what="$what output: only the new binary wrote one;"
    fi
    list ref
    l1=$listing
    list new
    [ "$l1" = "$listing" ] || what="$what files left:$l1 /$listing;"
    echo "$name$tags " >>"$WORK/log/ran.$$"
    if [ -n "$what" ]; then
      printf '%s\t%s\t%s\n' "$name" "$(tr '\n' ' ' <args)" "$what" >>"$WORK/log/diffs.$$"
      mkdir -p "$KEEP"
      cp -r "$C" "$KEEP/$name"
    fi
  done
  cd "$WORK" && rm -rf "$batch"
  exit 0
fi

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: sh bench/compare.sh REFERENCE_BINARY NEW_BINARY [COUNT]" >&2
  exit 2
fi
absolute() {
  case $1 in
    /*) echo "$1" ;;
    */*) echo "$PWD/$1" ;;
    *) command -v "$1" || echo "$PWD/$1" ;;
  esac
}
REF=$(absolute "$1")
NEW=$(absolute "$2")
COUNT=${3:-3000}
for b in "$REF" "$NEW"; do
  [ -x "$b" ] || { echo "compare: no executable at $b" >&2; exit 2; }
done
case $COUNT in '' | *[!0-9]*) echo "compare: COUNT must be a number" >&2; exit 2 ;; esac
for tool in python3 timeout cmp xargs; do
  command -v $tool >/dev/null || { echo "compare: $tool is missing" >&2; exit 2; }
done
# the interpreter itself, not a wrapper that finds it anew for every batch
PYTHON=$(python3 -c 'import sys; assert sys.version_info >= (3, 9); print(sys.executable)') ||
  { echo "compare: python3 3.9 or newer is needed" >&2; exit 2; }
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(dirname "$HERE")
SEED=${SEED:-1}
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}
TIMEOUT=${TIMEOUT:-120}
WORK=$(mktemp -d "${COMPARE_TMP:-/tmp}/trelon-compare.XXXXXX") || exit 2
KEEP=$WORK/failed
export REF NEW SEED TIMEOUT WORK KEEP HERE ROOT PYTHON
mkdir -p "$WORK/cases" "$WORK/log"
trap 'rm -rf "$WORK/cases"; exit 2' INT TERM

echo "compare: reference $REF"
echo "compare: new       $NEW"
echo "compare: the golden cases and $COUNT generated modules (seed $SEED), $JOBS at a time, scratch $WORK"
start=$(date +%s)
{
  echo golden
  # the batches holding the multi-MB modules (numbers 374 + 750k) first, so no
  # job is left with one of them at the end
  i=0
  while [ $i -lt "$COUNT" ]; do
    n=$((COUNT - i < 50 ? COUNT - i : 50))
    echo "gen $i $n"
    i=$((i + n))
  done | awk '{ big = 0; for (k = $2; k < $2 + $3; k++) if (k % 750 == 374) big = 1; print big, $0 }' |
    sort -s -k1,1nr | cut -d' ' -f2-
} | xargs -L 1 -P "$JOBS" sh "$0" --batch
elapsed=$(($(date +%s) - start))

cat "$WORK"/log/ran.* 2>/dev/null | sort >"$WORK/ran"
cat "$WORK"/log/diffs.* 2>/dev/null | sort >"$WORK/diffs"
cases=$(wc -l <"$WORK/ran")
differ=$(wc -l <"$WORK/diffs")
golden=$(grep -c '^golden-' "$WORK/ran")
folders=0
for d in "$ROOT"/tests/golden/*/; do [ ! -d "$d" ] || folders=$((folders + 1)); done
tagged() { grep -c " $1 " "$WORK/ran"; }
echo
echo "$cases cases compared ($golden golden, $((cases - golden)) generated) in ${elapsed}s: $differ differences"
echo "under --strict $(tagged strict), --quiet $(tagged quiet); - as input $(tagged stdin)," \
  "as output $(tagged stdout); through a pipe $(tagged pipe); with an existing output $(tagged existing)"
status=0
if [ "$golden" -ne "$folders" ]; then
  echo "compare: $golden golden cases ran, but tests/golden has $folders folders"
  status=2
fi
if [ -n "$(cat "$WORK"/log/errors.* 2>/dev/null)" ]; then
  cat "$WORK"/log/errors.*
  status=2
fi
if [ "$cases" -lt $((COUNT + folders)) ]; then
  echo "compare: only $cases of at least $((COUNT + folders)) cases ran"
  status=2
fi
if [ "$differ" -gt 0 ]; then
  echo
  echo "(where two values are given: reference / new)"
  [ "$differ" -le 20 ] || echo "the first 20:"
  head -20 "$WORK/diffs" | while IFS="$(printf '\t')" read -r name args what; do
    echo "$name: $args"
    echo "   $(head -1 "$KEEP/$name/about")"
    echo "   differs:$what"
  done
  echo
  echo "failing cases kept in $KEEP: per case input.muf, args, existing, about;"
  echo "ref/ and new/ with what each run left, {ref,new}.stdout, .stderr, .status"
  status=1
fi
rm -rf "$WORK/cases"
[ "$status" -ne 0 ] || rm -rf "$WORK"
exit $status
