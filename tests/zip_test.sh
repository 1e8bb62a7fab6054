#!/bin/sh
# Packs the Windows build into its zip and holds the zip to the README's
# list of what it holds: the same names, no more and no fewer, each example
# as shipped and the manual made from the manual page of this version.
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
while read -r name shipped; do
    cmp -s "$name" "$source/$shipped" || fail "$name is not $shipped"
done <<LIST
tolvane.ini.example examples/windows/nasm/tolvane.ini
tolvane.ini.kit-example examples/windows/kit/tolvane.ini
tolvane.ini.script-example examples/windows/script/tolvane.ini
build.bat examples/windows/script/build.bat
README.md README.md
LICENSE LICENSE
LIST
grep -q '^<html' tolvane.html && grep -q "tolvane $version" tolvane.html && grep -q 'PROGRAM SEARCH' tolvane.html ||
    fail "tolvane.html is not the manual page of tolvane $version as HTML"
