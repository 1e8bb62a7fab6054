#!/bin/sh
# Installs the built tree into a temporary prefix and packs it, then lets
# the installed driver, with the example configuration installed beside it,
# assemble and link a program, which must run and greet.
# Usage: install_test.sh CMAKE CPACK BUILD_DIR SOURCE_DIR
# Exits 77 (skipped) when the GNU assembler or linker is missing.
set -eu
cmake=$1 cpack=$2 build=$3 source=$4

command -v as >/dev/null && command -v ld >/dev/null || exit 77

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-install-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$tmp/prefix" >/dev/null
prefix=$tmp/prefix
[ -x "$prefix/bin/tolvane" ] || fail "bin/tolvane missing or not executable"
cmp -s "$prefix/bin/tolvane.ini" "$source/examples/tolvane.ini" || fail "bin/tolvane.ini is not the example"
cmp -s "$prefix/share/man/man1/tolvane.1" "$source/man/tolvane.1" || fail "manual page missing"
[ -f "$prefix/share/doc/tolvane/README.md" ] || fail "README missing"

mkdir "$tmp/project"
cp "$source/examples/hello/hello.s" "$tmp/project/"
cd "$tmp/project"
"$prefix/bin/tolvane" hello.s >out 2>err || fail "the driver ended with status $?"
[ ! -s out ] && [ ! -s err ] || fail "the driver wrote: $(cat out err)"
[ -x hello.out ] || fail "no hello.out was linked"
[ "$(./hello.out)" = "Hello from tolvane!" ] || fail "hello.out printed '$(./hello.out)'"

"$cpack" --config "$build/CPackConfig.cmake" -B "$tmp/package" >/dev/null || fail "cpack failed"
set -- "$tmp"/package/tolvane-*.tar.gz
[ -f "$1" ] || fail "no .tar.gz was made"
listing=$(tar -tzf "$1")
for entry in bin/tolvane bin/tolvane.ini share/man/man1/tolvane.1 share/doc/tolvane/README.md; do
    echo "$listing" | grep -q "^[^/]*/$entry\$" || fail "$entry not in $(basename "$1")"
done
