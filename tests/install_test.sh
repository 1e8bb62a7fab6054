#!/bin/sh
# Installs the built tree into a temporary prefix and packs it, then lets
# the installed driver, with the example configuration installed beside it,
# assemble and link a program, which must run and greet. A second install
# over the first, and the package unpacked over it, must keep the user's
# edited tolvane.ini.
# Usage: install_test.sh CMAKE CPACK BUILD_DIR SOURCE_DIR VERSION
# Exits 77 (skipped) when the GNU assembler or linker is missing.
set -eu
cmake=$1 cpack=$2 build=$3 source=$4 version=$5

command -v as >/dev/null && command -v ld >/dev/null && command -v readelf >/dev/null || exit 77

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-install-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }
stripped() { ! readelf -S "$1" | grep -q '\.symtab'; }

"$cmake" --install "$build" --prefix "$tmp/prefix" --strip >/dev/null
prefix=$tmp/prefix doc=$tmp/prefix/share/doc/tolvane
[ -x "$prefix/bin/tolvane" ] || fail "bin/tolvane missing or not executable"
stripped "$prefix/bin/tolvane" || fail "bin/tolvane installed with --strip still has its symbols"
cmp -s "$prefix/bin/tolvane.ini" "$source/examples/tolvane.ini" || fail "bin/tolvane.ini is not the example"
for example in "$doc/tolvane.ini.example" "$prefix/bin/tolvane.ini.example"; do
    cmp -s "$example" "$source/examples/tolvane.ini" || fail "$example is not the example"
done
cmp -s "$doc/LICENSE" "$source/LICENSE" || fail "LICENSE missing"
[ -f "$doc/README.md" ] || fail "README missing"
grep -q "\"tolvane $version\"" "$prefix/share/man/man1/tolvane.1" || fail "manual page missing or without version"

mkdir "$tmp/project"
cp "$source/examples/hello/hello.s" "$tmp/project/"
cd "$tmp/project"
"$prefix/bin/tolvane" hello.s >out 2>err || fail "the driver ended with status $?"
[ ! -s out ] && [ ! -s err ] || fail "the driver wrote: $(cat out err)"
[ -x hello.out ] || fail "no hello.out was linked"
[ "$(./hello.out)" = "Hello from tolvane!" ] || fail "hello.out printed '$(./hello.out)'"

# An upgrade, with and without DESTDIR: the edited file stays, the example
# beside the documentation is renewed.
for destdir in "" "$tmp/stage"; do
    ini=$destdir$prefix/bin/tolvane.ini
    DESTDIR=$destdir "$cmake" --install "$build" --prefix "$prefix" >/dev/null
    printf '[DEBUG]\nVIEW=1\n' >"$ini"
    echo changed >"$destdir$doc/tolvane.ini.example"
    DESTDIR=$destdir "$cmake" --install "$build" --prefix "$prefix" >/dev/null
    [ "$(cat "$ini")" = "$(printf '[DEBUG]\nVIEW=1')" ] || fail "a second install replaced ${ini}"
    cmp -s "$destdir$doc/tolvane.ini.example" "$source/examples/tolvane.ini" ||
        fail "a second install did not renew tolvane.ini.example under '$destdir'"
done

"$cpack" --config "$build/CPackConfig.cmake" -B "$tmp/package" >/dev/null || fail "cpack failed"
set -- "$tmp"/package/tolvane-"$version"-*.tar.gz
[ -f "$1" ] || fail "no tolvane-$version-*.tar.gz was made"
listing=$(tar -tzf "$1")
for entry in bin/tolvane bin/tolvane.ini.example share/man/man1/tolvane.1 share/doc/tolvane/README.md \
    share/doc/tolvane/LICENSE share/doc/tolvane/tolvane.ini.example; do
    echo "$listing" | grep -q "^[^/]*/$entry\$" || fail "$entry not in $(basename "$1")"
done
# Unpacked over the installation, the package keeps the edited file.
echo changed >"$prefix/bin/tolvane.ini.example"
tar -xzf "$1" -C "$prefix" --strip-components=1
[ "$(cat "$prefix/bin/tolvane.ini")" = "$(printf '[DEBUG]\nVIEW=1')" ] || fail "$(basename "$1") replaced tolvane.ini"
cmp -s "$prefix/bin/tolvane.ini.example" "$source/examples/tolvane.ini" || fail "$(basename "$1") did not renew tolvane.ini.example"
stripped "$prefix/bin/tolvane" || fail "bin/tolvane in $(basename "$1") has its symbols"
