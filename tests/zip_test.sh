#!/bin/sh
# Packs the Windows build into its zip and holds the zip to the README's
# list of what it holds: the same names, no more and no fewer, each example
# as shipped and the manual made from the manual page of this version, every
# text file with CRLF line ends, and a README that links to nothing else.
# Usage: zip_test.sh CMAKE CPACK BUILD_DIR SOURCE_DIR VERSION
set -eu
cmake=$1 cpack=$2 build=$3 source=$4 version=$5

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-zip-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "zip test: $*" >&2; exit 1; }

# The README's list follows its marker line; an item names its files in
# backquotes before its first colon.
awk '/^<!-- zip contents/ { on = 1; next }
    on && !/^(- |  )/ { exit }
    on && /^- / {
        sub(/:.*/, "")
        while (match($0, /`[^`]*`/)) { print substr($0, RSTART + 1, RLENGTH - 2); $0 = substr($0, RSTART + RLENGTH) }
    }' "$source/README.md" | sort >"$tmp/listed"
[ -s "$tmp/listed" ] || fail "README.md lists no contents of the zip"

"$cpack" --config "$build/CPackConfig.cmake" -B "$tmp/package" >/dev/null || fail "cpack failed"
set -- "$tmp"/package/tolvane-"$version"-win64*.zip
[ -f "$1" ] || fail "no tolvane-$version-win64*.zip was made"
mkdir "$tmp/unpacked"
(cd "$tmp/unpacked" && "$cmake" -E tar xf "$1") || fail "$(basename "$1") does not unpack"
(cd "$tmp/unpacked" && find . -type f | sed 's|^\./||' | sort) >"$tmp/held"
diff "$tmp/listed" "$tmp/held" >&2 || fail "README.md lists (<) what $(basename "$1") holds (>)"

cd "$tmp/unpacked"
[ -f tolvane.html ] || fail "the zip holds no manual, tolvane.html"
# Each text file as this tree holds it, but with CRLF line ends.
while read -r name shipped; do
    tr -d '\r' <"$source/$shipped" >"$tmp/lf"
    tr -d '\r' <"$name" | cmp -s - "$tmp/lf" || fail "$name is not $shipped"
done <<LIST
tolvane.ini.example examples/windows/nasm/tolvane.ini
tolvane.ini.kit-example examples/windows/kit/tolvane.ini
tolvane.ini.script-example examples/windows/script/tolvane.ini
build.bat examples/windows/script/build.bat
hello.asm examples/windows/hello/hello.asm
LICENSE LICENSE
LIST
for name in *; do
    [ "$name" = tolvane.exe ] && continue
    lines=$(tr -cd '\n' <"$name" | wc -c) crlf=$(grep -c "$(printf '\r')\$" "$name" || true)
    [ "$lines" -gt 0 ] && [ "$crlf" = "$lines" ] || fail "$name: $crlf of $lines lines end with CRLF"
done
grep -q '^<html' tolvane.html && grep -q "tolvane $version" tolvane.html && grep -q 'PROGRAM SEARCH' tolvane.html ||
    fail "tolvane.html is not the manual page of tolvane $version as HTML"
# The zip's guide links only to what the zip holds, and says where the rest is.
grep -q "is in tolvane's source tree" README.md || fail "README.md does not say where the files it names are"
grep -o '](\([^)#]*\))' README.md | sed 's/^](//; s/)$//' | grep -v '^https\?:' | while read -r target; do
    [ -f "$target" ] || fail "README.md links to $target, which the zip does not hold"
done
