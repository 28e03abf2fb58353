#!/bin/sh
# What `cmake --install` puts under a prefix serves a project outside the
# tree (consumer/): it builds with find_package(Trelon 1.0), converts
# examples/demo.muf in-process, and turns its fw.muf into fw.ihx and its
# memory map fw.svg with trelon_convert() as the program would; a module with
# an error fails the build and leaves both as they were, a changed module or
# program remakes them.
# find_package(Trelon 2.0) refuses this package. The same project builds
# against the build folder's package, and with the source tree as a
# subproject, which builds the converter alone (no tests, no benchmark).
#   sh install.sh TRELON SOURCE_DIR   (TRELON in the build tree to install)
trelon=$(realpath "$1") build=$(dirname "$(realpath "$1")") src=$(realpath "$2")
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" || exit 1
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
# configure VERSION[-NAME] [ARGS]: the consumer in that folder, asking for VERSION.
configure() {
  d=$1 && shift && cmake -S consumer -B "$d" -G "$(cache CMAKE_GENERATOR)" -DWANTED="${d%-*}" -DCMAKE_PREFIX_PATH="$work" \
    -DCMAKE_MAKE_PROGRAM="$(cache CMAKE_MAKE_PROGRAM)" -DCMAKE_CXX_COMPILER="$(cache CMAKE_CXX_COMPILER)" "$@" >>log 2>&1
}
# consumer FOLDER [ARGS]: configured and built, it converts demo.muf and its module as the program does.
consumer() { configure "$@" && cmake --build "$1" >>log 2>&1 && "$1/consumer" "$src/examples/demo.muf" demo.bin >>log &&
  [ "$(od -An -tx1 demo.bin)" = " 4e 71 4e 75 00 00 00 00" ] && same "$1/fw.ihx" ref.ihx && same "$1/fw.svg" ref.svg; }
failures=0
fail() { failures=$((failures + 1)) && echo "FAILED: $*" && cat log && : >log; }
# module CS LD: examples/demo.muf with its checksum and data lines replaced.
module() { sed "s/^CS2D\./$1/; s/^LD4E714E75\./$2/" "$src/examples/demo.muf" >consumer/fw.muf; }
same() { cmp -s "$1" "$2"; }
cmake --install "$build" --prefix "$work" >log 2>&1 || fail "cmake --install $build"
cp -R "$src/tests/scripts/consumer" . && module CS2D. LD4E714E75. &&
  "$trelon" --map=ref.svg /I consumer/fw.muf ref.ihx >/dev/null
consumer 1.0 || fail "the consumer"
rm 1.0/fw.svg && cmake --build 1.0 >>log 2>&1 && same 1.0/fw.svg ref.svg || fail "fw.svg is not an output of its step"
ls -A 1.0 >before && sleep 1 && module CS2E. LD4E714E75.
! cmake --build 1.0 >>log 2>&1 && grep -q "Checksum error" log && same 1.0/fw.ihx ref.ihx && same 1.0/fw.svg ref.svg &&
  ls -A 1.0 | same before - || fail "a module with an error: the build goes on, hides the error, changes fw.ihx or fw.svg or leaves a file"
# The two data words swapped: the checksum stays, the image changes.
touch stamp && sleep 1 && module CS2D. LD4E754E71. && "$trelon" /I consumer/fw.muf ref.ihx >/dev/null &&
  cmake --build 1.0 >>log 2>&1 && same 1.0/fw.ihx ref.ihx && [ 1.0/fw.svg -nt stamp ] ||
  fail "a changed module: fw.ihx or fw.svg is not remade"
sleep 1 && touch bin/trelon && cmake --build 1.0 >>log 2>&1 && [ 1.0/fw.ihx -nt bin/trelon ] ||
  fail "a changed converter: fw.ihx is not remade"
configure 2.0 && fail "find_package(Trelon 2.0) takes this package"
consumer 1.0-tree -DTrelon_DIR="$build" -DCMAKE_PREFIX_PATH= || fail "the consumer against the build folder's package"
consumer 1.0-sub -DTRELON_SOURCE="$src" && ! cmake --build 1.0-sub --target help | grep -Eq 'trelon_(tests|benchgen)' ||
  fail "the consumer with Trelon as a subproject, or the subproject builds its tests or benchmark"
echo "install: $failures of 8 checks failed"
[ $failures = 0 ]
