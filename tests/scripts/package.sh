#!/bin/sh
# Installs the Debian package (make package) into a scratch root with dpkg,
# converts an example module with the installed trelon, then removes it and
# checks that nothing is left:  package.sh TRELON_BINARY SOURCE_DIR
set -u
deb=$(ls -t "$2"/build/package/trelon_*.deb 2>/dev/null | head -n 1)
. "$2/tests/needs.sh" && needs "make package builds build/package/trelon_*.deb" dpkg "$deb"
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
root=$tmp/root && mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" && : >"$root/var/lib/dpkg/status"
PATH=$PATH:/usr/sbin:/sbin && dpkg="dpkg --root=$root --log=/dev/null --force-not-root"
fail() { echo "FAIL: $*"; exit 1; }
$dpkg --force-depends -i "$deb" >"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "dpkg -i $deb"; }
for f in bin/trelon share/man/man1/trelon.1 share/doc/trelon/README.md include/trelon/trelon.hpp lib/*/libtrelon_core.a \
         lib/*/cmake/Trelon/TrelonConfig.cmake; do [ -f "$root"/usr/$f ] || fail "usr/$f is not in the package"; done
"$root/usr/bin/trelon" /I "$2/examples/demo.muf" "$tmp/a.ihx" >"$tmp/a.txt" || fail "installed trelon: status $?"
"$1" /I "$2/examples/demo.muf" "$tmp/b.ihx" >"$tmp/b.txt"
printf ':041000004E714E756A\r\n:00100001EF\r\n' | cmp - "$tmp/a.ihx" && cmp "$tmp/a.txt" "$tmp/b.txt" || fail "output differs"
$dpkg -r trelon >"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "dpkg -r trelon"; }
left=$(find "$root" -mindepth 1 -path "$root/var" -prune -o -print)
[ -z "$left" ] || fail "left after removal: $left"
echo "$(basename "$deb"): installed, converted examples/demo.muf, removed cleanly"
