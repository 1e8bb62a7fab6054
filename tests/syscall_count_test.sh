#!/bin/sh
# Counts the system calls of the driver process itself in a two-stage run
# whose tools are named by absolute path, and fails when there are more
# than the budget. What such a run needs from the system is the process
# start, the driver's own path, the signal setup, one reading of the
# configuration per stage and the two starts and waits; anything beyond
# that (such as opening the configuration again for every key) shows here.
# The tools' own calls are not counted: strace runs without -f, so it
# stays with the driver when posix_spawn starts a child.
# The count is strace's: every call from the driver's execve on, the
# execve included and the final exit_group not (as strace -c counts).
# Usage: syscall_count_test.sh DRIVER TOOL BUDGET
#   DRIVER  the driver, linked as it is shipped (statically)
#   TOOL    a program that logs its arguments to <its path>.log (the probe)
# Exits 77 (skipped) when strace is missing or cannot trace here.
set -eu
driver=$1 tool=$2 budget=$3

command -v strace >/dev/null || { echo "strace is missing"; exit 77; }
strace -o /dev/null true 2>/dev/null || { echo "strace cannot trace here"; exit 77; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-syscalls-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "syscall count test: $*" >&2; exit 1; }

mkdir "$tmp/bin" "$tmp/tools" "$tmp/project"
cp "$driver" "$tmp/bin/tolvane"
cp "$tool" "$tmp/tools/asmtool"
cp "$tool" "$tmp/tools/lnktool"
cat >"$tmp/bin/tolvane.ini" <<EOF
[DEBUG]
VIEW=0
[ASM]
ASSEMBLER=$tmp/tools/asmtool
ASMLIST_01=@1
ASMLIST_02=@1.obj
ASMLIST_03=-l @1.lst
[LNK]
LINKER=$tmp/tools/lnktool
LNKLIST_01=@1.obj
LNKLIST_02=-o @1.exe
LNKLIST_03=-m @1.map
EOF

# The driver's switches and TOLVANE_INI come from the environment too; the
# run must see only the file above.
for variable in $(env | sed -n 's/^\(TOLVANE_[A-Za-z0-9_]*\)=.*/\1/p'); do unset "$variable"; done

cd "$tmp/project"
strace -qq -e signal=none -o "$tmp/calls" "$tmp/bin/tolvane" src/demo.asm >"$tmp/out" 2>&1 ||
    fail "the driver ended with status $?: $(cat "$tmp/out")"

# The count is only worth something for a run that did its work: both
# tools ran, in order, with their expanded arguments.
expect_log() { # TOOL ARGUMENTS...
    log=$tmp/tools/$1.log
    [ -f "$log" ] || fail "$1 did not run"
    shift
    got=$(grep '^arg:' "$log" | tail -n +2 | cut -c5- | tr '\n' ' ')
    [ "$got" = "$* " ] || fail "$log holds arguments '$got', expected '$* '"
}
expect_log asmtool src/demo.asm src/demo.obj -l src/demo.lst
expect_log lnktool src/demo.obj -o src/demo.exe -m src/demo.map

# One execve means strace stayed with the driver: a traced child would
# add its own.
execs=$(grep -c '^execve(' "$tmp/calls" || true)
[ "$execs" -eq 1 ] || fail "$execs execve calls in the trace; the tools' calls were counted"

count=$(awk '/^[a-z_0-9]+\(/ && !/^exit_group\(/ { n++ } END { print n + 0 }' "$tmp/calls")
echo "system calls of the driver process: $count (budget $budget)"
if [ "$count" -gt "$budget" ]; then
    echo "calls by name:"
    awk -F'(' '/^[a-z_0-9]+\(/ && !/^exit_group\(/ { print $1 }' "$tmp/calls" | sort | uniq -c | sort -rn
    fail "$count system calls, more than $budget"
fi

# Each log line is one write, so that lines of drivers running at once
# never mix: as many writes to the log as it has lines.
rm -f "$tmp/tools/asmtool.log" "$tmp/tools/lnktool.log"
TOLVANE_LOG=$tmp/run.log strace -qq -e trace=openat,write -e signal=none -o "$tmp/writes" \
    "$tmp/bin/tolvane" src/demo.asm >"$tmp/out" 2>&1 || fail "the logged run ended with status $?"
fd=$(sed -n 's|^openat(.*"'"$tmp"'/run.log".* = \([0-9]*\)$|\1|p' "$tmp/writes")
[ -n "$fd" ] || fail "the log was not opened"
writes=$(grep -c "^write($fd," "$tmp/writes" || true)
lines=$(wc -l <"$tmp/run.log")
[ "$lines" -ge 10 ] || fail "the log holds $lines lines"
[ "$writes" -eq "$lines" ] || fail "$writes writes for $lines log lines"
echo "log: $lines lines in $writes writes"
