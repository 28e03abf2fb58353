#!/bin/sh
# Makes sure the Debian packages that a job needs are installed:
#   deps.sh build   compiler, CMake, Ninja, make (make, make demo, make install)
#   deps.sh test    and GoogleTest and the tools of the documents check (make test)
#   deps.sh ci      and every program the tests hand our files to, and clang
# As root it installs what is missing (quietly; nothing when all is there).
# Otherwise it prints the one command that would, and fails.
set -eu
build="g++ cmake ninja-build make"
test="$build libgtest-dev file man-db groff-base"
ci="$test clang libclang-rt-14-dev srecord simh binutils dosbox hatari"
case "${1:-build}" in
  build) want=$build ;;
  test) want=$test ;;
  ci) want=$ci ;;
  *) echo "usage: $0 build|test|ci" >&2; exit 2 ;;
esac
# Not a Debian system: nothing to check against; the build says what it lacks.
command -v dpkg-query >/dev/null 2>&1 || exit 0
missing=""
for p in $want; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
command="apt-get install -y --no-install-recommends$missing"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages:$missing. Install them with:" >&2
  echo "  sudo $command" >&2
  exit 1
fi
echo "Installing$missing" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing >/dev/null
