#!/bin/sh
# What `cmake --install` puts under a prefix serves a project outside the
# tree (consumer/): it builds with find_package(Trelon 1.0) and converts
# examples/demo.muf in-process, while find_package(Trelon 2.0) refuses this
# package.
#   sh install.sh TRELON SOURCE_DIR   (TRELON in the build tree to install)
build=$(dirname "$(realpath "$1")") src=$(realpath "$2")
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" || exit 1
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
configure() {
  cmake -S "$src/tests/scripts/consumer" -B "$1" -G "$(cache CMAKE_GENERATOR)" -DWANTED="$1" -DCMAKE_PREFIX_PATH="$work" \
    -DCMAKE_MAKE_PROGRAM="$(cache CMAKE_MAKE_PROGRAM)" -DCMAKE_CXX_COMPILER="$(cache CMAKE_CXX_COMPILER)" >>log 2>&1
}
failures=0
fail() { failures=$((failures + 1)) && echo "FAILED: $*" && cat log && : >log; }
cmake --install "$build" --prefix "$work" >log 2>&1 || fail "cmake --install $build"
configure 1.0 && cmake --build 1.0 >>log 2>&1 && 1.0/consumer "$src/examples/demo.muf" demo.bin >>log &&
  [ "$(od -An -tx1 demo.bin)" = " 4e 71 4e 75 00 00 00 00" ] || fail "the consumer"
configure 2.0 && fail "find_package(Trelon 2.0) takes this package"
echo "install: $failures of 2 checks failed"
[ $failures = 0 ]
