#!/bin/sh
# The documents tell the truth: every "$ command" of a console block in
# README.md and docs/muf-modules.md, or of an .EX block in docs/trelon.1, runs
# (one document's commands in turn, in a scratch folder of its own), exits
# with 0 and prints the lines below it, where "..." stands for any number of
# lines. A "$ " line outside such a block is an error.
#   sh docs.sh TRELON SOURCE_DIR
trelon=$(realpath "$1") src=$(realpath "$2")
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && mkdir "$work/bin" && ln -s "$trelon" "$work/bin" || exit 1
failures=0 total=0
# The README is read beside the examples and the build, then again in a copy of
# the sources (the tracked files; outside a git checkout, all but build/ and
# out/), none of which it may change; the others with trelon installed.
for doc in README.md docs/muf-modules.md docs/trelon.1 copy; do
  box=$work/$doc.d && mkdir -p "$box/build" && ln -s "$(dirname "$trelon")" "$box/build/release" && path=$work/bin:$PATH
  [ $doc = copy ] && (cd "$src" && { git ls-files 2>/dev/null || find . -path ./build -prune -o -path ./out -prune -o -type f -print; } |
    tar -cf - -T - | tar -xf - -C "$box" && cd "$box" && find . -type f -exec md5sum {} + >"$work/sums") && doc=README.md ||
    ln -s "$src/examples" "$box/examples"
  [ $doc = README.md ] && path=$PATH
  awk -v dir="$box" -v man="${doc##*.}" '
    man != "1" && /^```/ { fence = !fence; block = fence && $0 == "```console"; cmd = 0; next }
    man == "1" && /^\.E[XE]/ { block = $0 == ".EX"; cmd = 0; next }
    man == "1" && block && /^[.\047]/ { next }
    man == "1" && block { gsub(/\\-/, "-"); gsub(/\\\(aq/, "\047"); gsub(/\\\(ha/, "^"); gsub(/\\&|\\f[BIRP]/, "") }
    !block { if (/^ *\$ /) { print FILENAME ":" FNR ": a command outside an example"; bad = 1 } next }
    here != "" { print > (dir "/" n ".cmd"); if ($0 == here) here = ""; next }
    /^\$ / {
      cmd = ++n; print substr($0, 3) > (dir "/" n ".cmd"); printf "" > (dir "/" n ".want")
      if (match($0, /<<-?[ ]*[\047"]?[A-Za-z_]+/)) { here = substr($0, RSTART, RLENGTH); gsub(/[-<\047" ]/, "", here) }
      next
    }
    cmd { print > (dir "/" n ".want") }
    END { exit bad }' "$src/$doc" || failures=$((failures + 1))
  for n in $(seq "$(ls "$box" | grep -c 'cmd$')"); do
    total=$((total + 1)) && cmd=$box/$n
    (cd "$box" && HOME=$box PATH=$path LC_ALL=C sh $n.cmd >$n.got 2>&1 </dev/null) || echo "exit status $?" >>"$cmd.got"
    awk 'function m(i, j) {
        if (i > ne) return j > na
        if (e[i] == "...") return m(i + 1, j) || (j <= na && m(i, j + 1))
        return j <= na && e[i] "" == a[j] "" && m(i + 1, j + 1)
      }
      FILENAME == ARGV[1] { e[++ne] = $0; next }
      { a[++na] = $0 }
      END { exit !m(1, 1) }' "$cmd.want" "$cmd.got" && continue
    failures=$((failures + 1)) && echo "FAILED: $doc: \$ $(head -n 1 "$cmd.cmd")" && diff "$cmd.want" "$cmd.got"
  done
  [ "$box" != "$work/copy.d" ] || (cd "$box" && md5sum -c --quiet "$work/sums") ||
    { failures=$((failures + 1)) && echo "FAILED: README.md changed files in a copy of the sources"; }
done
echo "docs: $total examples, $failures failed"
[ $failures = 0 ] && [ $total -ge 90 ]
