#!/bin/sh
# The Debian package as a user meets it: installed, it builds the example;
# an edited /etc/tolvane/tolvane.ini survives the upgrade to a newer build;
# a purge leaves nothing behind. lintian, where installed, finds no error
# and no warning.
# Usage: deb_test.sh CPACK BUILD_DIR SOURCE_DIR VERSION [ROOT]
# dpkg installs into ROOT, by default a directory of the test's own with a
# database of its own (dpkg --root), so the machine's system is untouched;
# ROOT / installs into the running system: only for a disposable one, such
# as a fresh chroot. Exits 77 (skipped) without root, dpkg or binutils.
set -eu
cpack=$1 build=$2 source=$3 version=$4 root=${5:-}
[ "$(id -u)" = 0 ] && command -v dpkg-deb >/dev/null && command -v as >/dev/null && command -v ld >/dev/null ||
    exit 77

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-deb-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "deb test: $*" >&2; exit 1; }
if [ -z "$root" ]; then
    root=$tmp/system
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    touch "$root/var/lib/dpkg/status"
fi
sys=${root%/}
dpkg() { command dpkg --root="$root" "$@"; }
files() { find "$sys/etc" "$sys/usr" 2>/dev/null | sort; }

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/old" >/dev/null || fail "cpack -G DEB failed"
"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/new" -D CPACK_PACKAGE_VERSION="$version.1" >/dev/null
old=$(echo "$tmp"/old/tolvane_"$version"_*.deb) new=$(echo "$tmp"/new/tolvane_"$version".1_*.deb)
[ -f "$old" ] && [ -f "$new" ] || fail "no tolvane_${version}_<architecture>.deb was made"
if command -v lintian >/dev/null; then lintian --fail-on error,warning "$old" 2>/dev/null || fail "lintian: see above"; fi

files >"$tmp/before"
dpkg -i "$old" >/dev/null || fail "dpkg -i failed"
[ "$(readlink "$sys/usr/lib/tolvane/tolvane.ini")" = /etc/tolvane/tolvane.ini ] || fail "tolvane.ini is no link into /etc"
dpkg-query --root="$root" -W -f='${Conffiles}' tolvane | grep -q '^ /etc/tolvane/tolvane.ini ' ||
    fail "/etc/tolvane/tolvane.ini is no conffile"
gzip -dc "$sys/usr/share/man/man1/tolvane.1.gz" | grep -q "\"tolvane $version\"" || fail "no manual page"
grep -q "MIT License" "$sys/usr/share/doc/tolvane/copyright" || fail "no copyright file"
# The driver found through /usr/bin finds its configuration beside its real
# path; the link into /etc reaches the file only where ROOT is the system.
mkdir "$tmp/project" && cp "$source/examples/hello/hello.s" "$tmp/project/" && cd "$tmp/project"
# The words name the file to edit too.
TOLVANE_TRACE=1 "$sys/usr/bin/tolvane" x.s 2>&1 |
    grep -q "configuration $sys/usr/lib/tolvane/tolvane.ini (beside the executable, a link to $sys/etc/tolvane/tolvane.ini)" ||
    [ "$root" != / ] ||
    fail "/usr/bin/tolvane does not name the file beside /usr/lib/tolvane/tolvane and the file it leads to"
TOLVANE_TRACE=1 "$sys/usr/bin/tolvane" x.s 2>&1 |
    grep -q "configuration $sys/usr/lib/tolvane/tolvane.ini (beside the executable, a link to /etc/tolvane/tolvane.ini)" ||
    [ "$root" = / ] ||
    fail "/usr/bin/tolvane does not name the file beside /usr/lib/tolvane/tolvane and where its link leads"
[ "$root" = / ] || export TOLVANE_INI="$sys/etc/tolvane/tolvane.ini"
"$sys/usr/bin/tolvane" hello.s && [ "$(./hello.out)" = "Hello from tolvane!" ] || fail "the example was not built"

echo "; edited" >>"$sys/etc/tolvane/tolvane.ini"
dpkg -i "$new" >/dev/null || fail "the upgrade failed"
[ "$(dpkg-query --root="$root" -W -f='${Version}' tolvane)" = "$version.1" ] || fail "not upgraded"
[ "$(tail -n 1 "$sys/etc/tolvane/tolvane.ini")" = "; edited" ] || fail "the upgrade replaced the edited tolvane.ini"
dpkg --purge tolvane >/dev/null || fail "dpkg --purge failed"
files | cmp -s - "$tmp/before" || fail "left behind: $(files | diff "$tmp/before" - | grep '^>')"
echo "deb test: installed, upgraded with the edit kept, purged without a trace"
