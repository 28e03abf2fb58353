#!/bin/sh
# Makes sure the Debian packages that a job needs are installed:
#   deps.sh build   compiler, CMake, Ninja, make (make, make demo, make install)
#   deps.sh test    and GoogleTest, the tools of the documents check, and the
#                   JSON and XML parsers and SVG renderer that read the map (make test)
#   deps.sh package and dpkg-dev, for the package's dependencies (make package)
#   deps.sh windows and the MinGW-w64 cross compiler (make windows)
#   deps.sh portable and clang (make portable)
#   deps.sh bench   and GNU time (make bench)
#   deps.sh fuzz    and clang with its sanitizer and libFuzzer runtime (make fuzz)
#   deps.sh ci      all of these, every program the tests hand our files to,
#                   and Wine to run trelon.exe
# As root it installs what is missing (quietly, after one line that says what;
# nothing when all is there). Otherwise it prints the command that would, to
# run as root with su -c (or sudo), and fails. Needs only a base system, so
# sh scripts/deps.sh build && make demo works where make is not yet installed.
set -eu
build="g++ cmake ninja-build make"
test="$build libgtest-dev file man-db groff-base python3 libxml2-utils librsvg2-bin"
package="$build dpkg-dev"
windows="$build g++-mingw-w64-x86-64-posix"
portable="$test clang"
bench="$build time"
fuzz="$build clang libclang-rt-14-dev"
ci="$test dpkg-dev g++-mingw-w64-x86-64-posix clang libclang-rt-14-dev time srecord simh binutils dosbox hatari wine64"
group=${1:-build}
case $group in
  build) want=$build ;;
  test) want=$test ;;
  package) want=$package ;;
  windows) want=$windows ;;
  portable) want=$portable ;;
  bench) want=$bench ;;
  fuzz) want=$fuzz ;;
  ci) want=$ci ;;
  *) echo "usage: $0 build|test|package|windows|portable|bench|fuzz|ci" >&2; exit 2 ;;
esac
# Not a Debian system: nothing to check against; the build says what it lacks.
command -v dpkg-query >/dev/null 2>&1 || exit 0
missing=""
for p in $want; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
install="apt-get install -y --no-install-recommends$missing"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages:$missing. Install them as root:" >&2
  echo "  su -c 'apt-get update && $install'" >&2
  echo "(or with sudo: sudo sh -c 'apt-get update && $install')" >&2
  exit 1
fi
took="a minute or two"
[ "$group" = ci ] && took="several minutes"
echo "Installing$missing and what they need with apt-get; this takes $took..." >&2
start=$(date +%s)
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
# shellcheck disable=SC2086
if ! { apt-get update -qq && apt-get install -y -qq --no-install-recommends $missing; } >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"
echo "Installed in $(($(date +%s) - start)) s." >&2
