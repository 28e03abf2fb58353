#!/bin/sh
# Installs a build into a scratch prefix, checks that everything a user and an
# embedding project need is there, converts examples/demo.muf with the
# installed program, and builds and runs tests/docs/consumer against the
# installed CMake package.
#
# Arguments are name=value: cmake, build, config, source, generator,
# make_program, cxx.
set -u
for arg in "$@"; do
  case $arg in
    cmake=*) cmake=${arg#*=} ;;
    build=*) build=${arg#*=} ;;
    config=*) config=${arg#*=} ;;
    source=*) source=${arg#*=} ;;
    generator=*) generator=${arg#*=} ;;
    make_program=*) make_program=${arg#*=} ;;
    cxx=*) cxx=${arg#*=} ;;
    *) echo "unknown argument: $arg"; exit 2 ;;
  esac
done

work=$(mktemp -d /tmp/trelon-install-XXXXXX) || exit 2
trap 'rm -rf "$work"' EXIT INT TERM
prefix=$work/prefix
failures=0
passes=0

pass() { passes=$((passes + 1)); echo "ok: $1"; }
fail() { failures=$((failures + 1)); echo "FAILED: $1"; }

if [ -n "$config" ]; then
  set -- --config "$config"
else
  set --
fi
if "$cmake" --install "$build" --prefix "$prefix" "$@" > "$work/install.log" 2>&1; then
  pass "cmake --install into $prefix"
else
  cat "$work/install.log"
  fail "cmake --install"
  echo "0 passed, $failures failed"
  exit 1
fi

# What must be installed; the library directory depends on the platform.
libdir=$(cd "$prefix" && find . -name libtrelon_core.a | sed 's|^\./||; s|/libtrelon_core.a$||')
[ -n "$libdir" ] || libdir=lib
for f in bin/trelon share/man/man1/trelon.1 include/trelon/trelon.hpp \
         "$libdir/libtrelon_core.a" \
         "$libdir/cmake/Trelon/TrelonConfig.cmake" \
         "$libdir/cmake/Trelon/TrelonConfigVersion.cmake" \
         "$libdir/cmake/Trelon/TrelonTargets.cmake" \
         share/doc/trelon/README.md share/doc/trelon/muf-modules.md; do
  if [ -f "$prefix/$f" ]; then pass "installed $f"; else fail "missing $f"; fi
done
if [ -x "$prefix/bin/trelon" ]; then pass "bin/trelon is executable"; else fail "bin/trelon is not executable"; fi

# man finds the page where it was installed.
if command -v man > /dev/null 2>&1; then
  if [ "$(MANPATH="$prefix/share/man" man -w trelon 2>/dev/null)" = "$prefix/share/man/man1/trelon.1" ]; then
    pass "man -w trelon finds the installed page"
  else
    fail "man -w trelon does not find $prefix/share/man/man1/trelon.1"
  fi
elif [ "${TRELON_REQUIRE_TOOLS:-}" = 1 ]; then
  fail "man is not installed (Debian package man-db) and TRELON_REQUIRE_TOOLS=1"
else
  echo "skipped: man is not installed (Debian package man-db)"
fi

# The installed program converts the demo module.
"$prefix/bin/trelon" /B "$source/examples/demo.muf" "$work/demo.bin" > "$work/console.txt"
status=$?
printf '\116\161\116\165\000\000\000\000' > "$work/want.bin"
if [ $status -eq 0 ] && cmp -s "$work/demo.bin" "$work/want.bin" &&
   tail -n 1 "$work/console.txt" | grep -qx 'Length:                00000008'; then
  pass "installed trelon converts examples/demo.muf"
else
  cat "$work/console.txt"
  fail "installed trelon /B examples/demo.muf (status $status)"
fi

# A project outside the tree finds the package and links Trelon::trelon.
configure() {
  "$cmake" -S "$source/tests/docs/consumer" -B "$1" -G "$generator" \
    -DCMAKE_MAKE_PROGRAM="$make_program" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_PREFIX_PATH="$prefix" "$2"
}
if configure "$work/consumer" -DTRELON_WANTED_VERSION=1.0 > "$work/consumer.log" 2>&1 &&
   "$cmake" --build "$work/consumer" >> "$work/consumer.log" 2>&1; then
  pass "consumer configures and builds with find_package(Trelon 1.0)"
  if "$work/consumer/consumer" "$source/examples/demo.muf" "$work/consumer.bin"; then
    pass "consumer converts examples/demo.muf in-process"
  else
    fail "consumer run"
  fi
else
  cat "$work/consumer.log"
  fail "consumer configure or build"
fi

# The version file refuses a major version that this package is not.
if configure "$work/consumer2" -DTRELON_WANTED_VERSION=2.0 > "$work/consumer2.log" 2>&1; then
  fail "find_package(Trelon 2.0) accepted a 1.x package"
else
  pass "find_package(Trelon 2.0) refuses the 1.x package"
fi

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
