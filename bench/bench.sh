#!/usr/bin/env bash
# The driver's own cost against the limit and against sh and make.
# Usage: bench/bench.sh [--quick] [--driver FILE]
#   --quick        fewer rounds (well under a minute)
#   --driver FILE  measure this driver binary instead of building one
# Builds the driver (Release) and the helpers under build/bench, installs
# them in scratch trees there, proves with a check pass that every
# contender really runs both tools with the right arguments, and then
# times the contenders interleaved. See bench/README.md.
set -euo pipefail
cd "$(dirname "$0")/.."
REPO=$PWD
OUT=$REPO/build/bench
HELPERS=$OUT/helpers
RUN=$OUT/run

quick=0
driver=""
while [ $# -gt 0 ]; do
    case "$1" in
    --quick) quick=1 ;;
    --driver)
        driver=$(realpath "$2")
        shift
        ;;
    *)
        echo "usage: $0 [--quick] [--driver FILE]" >&2
        exit 2
        ;;
    esac
    shift
done

# Rounds and time budget (seconds) per scenario; a scenario stops at
# whichever limit it reaches first.
if [ $quick -eq 1 ]; then
    S1_ROUNDS=150 S1_SECONDS=6 S2_ROUNDS=60 S2_SECONDS=6 S3_ROUNDS=60 S3_SECONDS=4 WARMUP=3
else
    S1_ROUNDS=1500 S1_SECONDS=45 S2_ROUNDS=500 S2_SECONDS=45 S3_ROUNDS=500 S3_SECONDS=35 WARMUP=10
fi
PATH_SIZES="1 10 100 1000"
PADDING_SIZES="10 1000 100000"

log() { printf '%s\n' "$*" >&2; }

# The driver also takes switches and another configuration from TOLVANE_
# variables; every contender must run with the configuration set up here.
for variable in $(env | sed -n 's/^\(TOLVANE_[A-Za-z0-9_]*\)=.*/\1/p'); do unset "$variable"; done

# --- build ---------------------------------------------------------------

build() {
    mkdir -p "$HELPERS"
    if [ -z "$driver" ]; then
        log "== building the driver (Release) in build/bench/driver"
        cmake -S . -B "$OUT/driver" -DCMAKE_BUILD_TYPE=Release -DTOLVANE_TESTS=OFF >/dev/null
        cmake --build "$OUT/driver" --target tolvane -j 2 >/dev/null
        driver=$OUT/driver/tolvane
    fi
    # Static: the tool and the limit start as cheaply as a program can, as
    # the driver (linked statically too) does.
    local h
    for h in runner limit tool; do
        cc -O2 -Wall -Wextra -static -o "$HELPERS/$h" "bench/$h.c"
    done
}

# --- scratch trees -------------------------------------------------------

SRC=src/demo.asm
ASM_ENTRIES=$'ASMLIST_01=@1\nASMLIST_02=@1.obj\nASMLIST_03=-l @1.lst'
LNK_ENTRIES=$'LNKLIST_01=@1.obj\nLNKLIST_02=-o @1.exe\nLNKLIST_03=-m @1.map'
EXPECT_ASM="asmtool src/demo.asm src/demo.obj -l src/demo.lst"
EXPECT_LNK="lnktool src/demo.obj -o src/demo.exe -m src/demo.map"
EXPECT_BOTH="$EXPECT_ASM"$'\n'"$EXPECT_LNK"
# The run stage: the file the link step wrote (a copy of the tool in
# project/src), with one placeholder entry.
RUN_SECTION=$'[RUN]\nPROGRAM=@1.exe\nRUNLIST_01=@1'
EXPECT_THREE="$EXPECT_BOTH"$'\n'"demo.exe src/demo.asm"
# What sh does with the same placeholders: $1 and its stem.
sh_script() {
    printf '%s "$1" "${1%%.*}.obj" -l "${1%%.*}.lst" && %s "${1%%.*}.obj" -o "${1%%.*}.exe" -m "${1%%.*}.map"' \
        "$1" "$2"
}

# install_driver DIR INI_TEXT: a copy of the driver in DIR with its
# configuration beside it.
install_driver() {
    mkdir -p "$1"
    cp "$driver" "$1/tolvane"
    printf '%s\n' "$2" >"$1/tolvane.ini"
}

ini_text() { # PADDING ASSEMBLER LINKER
    local padding=$1
    if [ "$padding" -gt 0 ]; then
        # Unrelated settings of other tools, in front of the driver's own
        # sections, so that every lookup has to pass them.
        echo "[OTHER TOOLS]"
        awk -v n="$padding" 'BEGIN { for (i = 1; i <= n; i++) printf "SETTING_%06d=unrelated value %d\n", i, i }'
    fi
    printf '[ASM]\nASSEMBLER=%s\n%s\n[LNK]\nLINKER=%s\n%s\n' "$2" "$ASM_ENTRIES" "$3" "$LNK_ENTRIES"
}

setup() {
    rm -rf "$RUN"
    mkdir -p "$RUN/tools" "$RUN/project"
    cp "$HELPERS/tool" "$RUN/tools/asmtool"
    cp "$HELPERS/tool" "$RUN/tools/lnktool"
    install_driver "$RUN/s1" "$(ini_text 0 "$RUN/tools/asmtool" "$RUN/tools/lnktool")"
    cat >"$RUN/s1/Makefile" <<EOF
SRC := $SRC
STEM := \$(basename \$(SRC))
.PHONY: lnk asm
lnk: asm
	$RUN/tools/lnktool \$(STEM).obj -o \$(STEM).exe -m \$(STEM).map
asm:
	$RUN/tools/asmtool \$(SRC) \$(STEM).obj -l \$(STEM).lst
EOF
    install_driver "$RUN/s1-run" "$(ini_text 0 "$RUN/tools/asmtool" "$RUN/tools/lnktool")"$'\n'"$RUN_SECTION"
    mkdir -p "$RUN/project/src"
    cp "$HELPERS/tool" "$RUN/project/src/demo.exe"
    install_driver "$RUN/s2" "$(ini_text 0 asmtool lnktool)"
    mkdir -p "$RUN/path/found"
    cp "$HELPERS/tool" "$RUN/path/found/asmtool"
    cp "$HELPERS/tool" "$RUN/path/found/lnktool"
    mkdir "$RUN"/path/d{0001..0999}
    local n
    for n in $PADDING_SIZES; do
        install_driver "$RUN/s3-$n" "$(ini_text "$n" "$RUN/tools/asmtool" "$RUN/tools/lnktool")"
    done
}

# PATH with the tools' directory as the last of N entries.
path_of() {
    local n=$1 i part out=""
    for ((i = 1; i < n; i++)); do
        printf -v part '%s/path/d%04d:' "$RUN" "$i"
        out+=$part
    done
    printf '%s%s' "$out" "$RUN/path/found"
}

# --- contenders and the check pass ---------------------------------------

CONTENDERS=()

# contender EXPECTED NAME [VAR=value...] PROGRAM [ARG...]: runs it once with
# the tools logging, requires exactly EXPECTED in the log, then adds it to
# the contenders of the next measurement.
contender() {
    local expected=$1
    shift
    local name=$1
    shift
    local check=$RUN/check.log
    rm -f "$check"
    (cd "$RUN/project" && "$HELPERS/runner" 1 0 0 :: "$name" "TOLVANE_BENCH_LOG=$check" "$@" >/dev/null)
    local got=""
    [ -f "$check" ] && got=$(cat "$check")
    if [ "$got" != "$expected" ]; then
        log "check failed for $name: expected"
        log "$expected"
        log "got"
        log "$got"
        exit 1
    fi
    CONTENDERS+=(:: "$name" "$@")
}

# measure ROUNDS SECONDS: times the contenders added since the last call;
# prints the runner's lines.
measure() {
    (cd "$RUN/project" && "$HELPERS/runner" "$1" "$WARMUP" "$2" "${CONTENDERS[@]}")
    CONTENDERS=()
}

# --- report helpers --------------------------------------------------------

# field FILE NAME COLUMN: a column of the runner line for NAME.
field() { awk -v n="$2" -v c="$3" '$1 == n { print $c }' "$1"; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

ms() { awk -v us="$1" 'BEGIN { printf "%.3f", us / 1000 }'; }

# table FILE REFERENCE: the runner lines as a table with ratios against
# the contender named REFERENCE.
table() {
    local ref
    ref=$(field "$1" "$2" 3)
    printf '  %-16s %6s %10s %16s %7s %7s\n' contender rounds "median ms" "quartiles ms" ratio faults
    local name rounds median q1 q3 rss faults
    while read -r name rounds median q1 q3 rss faults; do
        printf '  %-16s %6s %10s %16s %7s %7s\n' "$name" "$rounds" "$(ms "$median")" \
            "$(ms "$q1")-$(ms "$q3")" "$(ratio "$median" "$ref")" "$faults"
    done <"$1"
}

# verdict CONDITION TEXT: prints whether the target is met and keeps the
# line for the summary at the end of the report.
VERDICTS=()
verdict() {
    local line
    if awk "BEGIN { exit !($1) }"; then line="  met:     $2"; else line="  NOT MET: $2"; fi
    echo "$line"
    VERDICTS+=("$line")
}

# instructions [VAR=value...] PROGRAM ARG...: instructions of one run of
# the program alone (its children run natively and are not counted).
instructions() {
    local out=$RUN/callgrind.out valgrind
    valgrind=$(command -v valgrind)
    local assignments=()
    while [[ $1 == *=* && $1 != /* ]]; do
        assignments+=("$1")
        shift
    done
    (cd "$RUN/project" && env "${assignments[@]}" "$valgrind" --tool=callgrind --trace-children=no \
        --callgrind-out-file="$out" "$@" >/dev/null 2>&1)
    awk '/^summary:/ { print $2 }' "$out"
}

# syscalls PROGRAM ARG...: the system calls of one run of the process
# itself, counted as strace -c counts them (the execve included, the final
# exit_group not). Without -f strace stays with the process when it starts
# a tool, so the tools' calls are not counted. tests/syscall_count_test.sh
# counts the same way.
syscalls() {
    local out=$RUN/strace.txt
    (cd "$RUN/project" && strace -qq -e signal=none -o "$out" "$@" >/dev/null 2>&1)
    awk '/^[a-z_0-9]+\(/ && !/^exit_group\(/ { n++ } END { print n + 0 }' "$out"
}

# --- scenarios ---------------------------------------------------------------

scenario_1() {
    echo "== 1. Two stages, three placeholder entries each (reference: limit)"
    local t=$RUN/tools
    contender "$EXPECT_BOTH" limit "$HELPERS/limit" "$t/asmtool" $SRC src/demo.obj -l src/demo.lst -- \
        "$t/lnktool" src/demo.obj -o src/demo.exe -m src/demo.map
    contender "$EXPECT_BOTH" tolvane "$RUN/s1/tolvane" $SRC
    contender "$EXPECT_BOTH" tolvane-exitcode TOLVANE_EXITCODE=1 "$RUN/s1/tolvane" $SRC
    contender "$EXPECT_BOTH" sh /bin/sh -c "$(sh_script "$t/asmtool" "$t/lnktool")" sh $SRC
    contender "$EXPECT_BOTH" make "$(command -v make)" -r -s -f "$RUN/s1/Makefile" "SRC=$SRC"
    contender "asmtool" one-tool "$t/asmtool"
    contender "$EXPECT_THREE" limit-3 "$HELPERS/limit" "$t/asmtool" $SRC src/demo.obj -l src/demo.lst -- \
        "$t/lnktool" src/demo.obj -o src/demo.exe -m src/demo.map -- src/demo.exe $SRC
    contender "$EXPECT_THREE" tolvane-3 "$RUN/s1-run/tolvane" $SRC
    measure $S1_ROUNDS $S1_SECONDS >"$RUN/s1.txt"
    table "$RUN/s1.txt" limit
    local limit tolvane exitcode sh make
    limit=$(field "$RUN/s1.txt" limit 3)
    tolvane=$(field "$RUN/s1.txt" tolvane 3)
    exitcode=$(field "$RUN/s1.txt" tolvane-exitcode 3)
    sh=$(field "$RUN/s1.txt" sh 3)
    make=$(field "$RUN/s1.txt" make 3)
    verdict "$tolvane <= 1.03 * $limit" "two stages: tolvane / limit = $(ratio "$tolvane" "$limit") (at most 1.03)"
    verdict "$tolvane < 0.95 * $sh" "two stages: tolvane / sh = $(ratio "$tolvane" "$sh") (below 0.95)"
    verdict "$tolvane < $make" "two stages: tolvane / make = $(ratio "$tolvane" "$make") (below 1)"
    verdict "$exitcode <= 1.05 * $tolvane" \
        "two stages: EXITCODE=1 / default = $(ratio "$exitcode" "$tolvane") (at most 1.05)"
    local limit3 tolvane3
    limit3=$(field "$RUN/s1.txt" limit-3 3)
    tolvane3=$(field "$RUN/s1.txt" tolvane-3 3)
    verdict "$tolvane3 <= 1.05 * $limit3" \
        "three stages: tolvane / limit = $(ratio "$tolvane3" "$limit3") (at most 1.05)"
}

scenario_2() {
    echo "== 2. PATH walk: both tools in the last of N entries (reference: sh at the same N)"
    local n
    for n in $PATH_SIZES; do
        local p
        p=$(path_of "$n")
        contender "$EXPECT_BOTH" "tolvane-$n" "PATH=$p" "$RUN/s2/tolvane" $SRC
        contender "$EXPECT_BOTH" "sh-$n" "PATH=$p" /bin/sh -c "$(sh_script asmtool lnktool)" sh $SRC
    done
    measure $S2_ROUNDS $S2_SECONDS >"$RUN/s2.txt"
    printf '  %-8s %12s %12s %8s\n' entries "tolvane ms" "sh ms" "ratio"
    for n in $PATH_SIZES; do
        local a b
        a=$(field "$RUN/s2.txt" "tolvane-$n" 3)
        b=$(field "$RUN/s2.txt" "sh-$n" 3)
        printf '  %-8s %12s %12s %8s\n' "$n" "$(ms "$a")" "$(ms "$b")" "$(ratio "$a" "$b")"
    done
    local t1 t100 t1000 s1000
    t1=$(field "$RUN/s2.txt" tolvane-1 3)
    t100=$(field "$RUN/s2.txt" tolvane-100 3)
    t1000=$(field "$RUN/s2.txt" tolvane-1000 3)
    s1000=$(field "$RUN/s2.txt" sh-1000 3)
    awk -v a="$t1" -v b="$t100" -v c="$t1000" 'BEGIN {
        printf "  tolvane per entry: %.2f us (1..100), %.2f us (100..1000)\n", (b - a) / 99, (c - b) / 900 }'
    verdict "$t1000 <= $s1000" "PATH walk: tolvane / sh at 1000 entries = $(ratio "$t1000" "$s1000") (at most 1)"
    # Linear: the cost above one entry grows tenfold from 100 to 1000
    # entries (999 / 99); allow a factor of two either way for noise.
    local growth
    growth=$(awk -v a="$t1" -v b="$t100" -v c="$t1000" 'BEGIN { d = b - a; printf "%.1f", (d > 0 ? (c - a) / d : 0) }')
    verdict "$growth >= 5 && $growth <= 20" "PATH walk: cost above 1 entry grows ${growth}x from 100 to 1000 entries (linear: 10.1)"
    # The driver's own share of the walk, exactly: its instructions.
    local counts=()
    for n in $PATH_SIZES; do counts+=("$(instructions "PATH=$(path_of "$n")" "$RUN/s2/tolvane" $SRC)"); done
    echo "  instructions of one run (callgrind, tools not counted): ${counts[*]} at $PATH_SIZES entries"
    awk -v a="${counts[0]}" -v b="${counts[2]}" -v c="${counts[3]}" 'BEGIN {
        printf "  instructions per entry: %.1f (1..100), %.1f (100..1000)\n", (b - a) / 99, (c - b) / 900 }'
    local per_entry
    per_entry=$(awk -v b="${counts[2]}" -v c="${counts[3]}" 'BEGIN { printf "%.1f", (c - b) / 900 }')
    verdict "$per_entry < 1072" "PATH walk: $per_entry instructions per entry (below 1072)"
}

scenario_3() {
    echo "== 3. Configuration size: padding lines in front of the driver's sections (reference: 10 lines)"
    local n
    for n in $PADDING_SIZES; do contender "$EXPECT_BOTH" "tolvane-$n" "$RUN/s3-$n/tolvane" $SRC; done
    measure $S3_ROUNDS $S3_SECONDS >"$RUN/s3.txt"
    table "$RUN/s3.txt" tolvane-10
    local small big
    small=$(field "$RUN/s3.txt" tolvane-10 3)
    big=$(field "$RUN/s3.txt" tolvane-100000 3)
    verdict "$big <= 1.5 * $small" "configuration size: 100000 lines / 10 lines = $(ratio "$big" "$small") (at most 1.5)"
    # Instructions are exact where times are noisy: they show the shape.
    echo "  instructions of one run (callgrind, tools not counted):"
    local i10 i1000 i100000
    i10=$(instructions "$RUN/s3-10/tolvane" $SRC)
    i1000=$(instructions "$RUN/s3-1000/tolvane" $SRC)
    i100000=$(instructions "$RUN/s3-100000/tolvane" $SRC)
    printf '  %-16s %14s\n' tolvane-10 "$i10" tolvane-1000 "$i1000" tolvane-100000 "$i100000"
    awk -v a="$i10" -v b="$i1000" -v c="$i100000" 'BEGIN {
        printf "  instructions per padding line: %.1f (10..1000), %.1f (1000..100000)\n",
            (b - a) / 990, (c - b) / 99000 }'
}

# peak NAME PROGRAM ARG...: the driver process's own peak resident memory
# in KiB, the median over 9 runs of what the second tool reads from its
# parent (wait4 would add the memory of whatever started the process).
peak() {
    local file=$RUN/peak.txt
    rm -f "$file"
    (cd "$RUN/project" && "$HELPERS/runner" 9 0 60 :: "$1" "TOLVANE_BENCH_HWM=$file" "${@:2}" >/dev/null)
    grep '^lnktool ' "$file" | cut -d' ' -f2 | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

scenario_4() {
    echo "== 4. The driver process itself against the limit"
    local t=$RUN/tools lr tr li ti te ls ts
    local limit_command=("$HELPERS/limit" "$t/asmtool" $SRC src/demo.obj -l src/demo.lst -- "$t/lnktool" src/demo.obj
        -o src/demo.exe -m src/demo.map)
    lr=$(peak limit "${limit_command[@]}")
    tr=$(peak tolvane "$RUN/s1/tolvane" $SRC)
    echo "  peak resident memory of the process (VmHWM): limit $lr KiB, tolvane $tr KiB"
    verdict "$tr <= 828" "peak memory: tolvane $tr KiB (at most 828; limit $lr KiB)"
    li=$(instructions "${limit_command[@]}")
    ti=$(instructions "$RUN/s1/tolvane" $SRC)
    te=$(instructions TOLVANE_EXITCODE=1 "$RUN/s1/tolvane" $SRC)
    echo "  instructions of one run (callgrind, tools not counted): limit $li, tolvane $ti, with EXITCODE=1 $te"
    verdict "$ti <= 2.5 * $li" "instructions: tolvane / limit = $(ratio "$ti" "$li") (at most 2.5)"
    echo "  instructions with EXITCODE=1 / default: $(ratio "$te" "$ti")"
    ls=$(syscalls "${limit_command[@]}")
    ts=$(syscalls "$RUN/s1/tolvane" $SRC)
    echo "  system calls of the process in one run (strace, tools not counted): limit $ls, tolvane $ts"
    verdict "$ts <= 40" "system calls: tolvane $ts (at most 40; limit $ls)"
    local l3 t3
    l3=$(instructions "$HELPERS/limit" "$t/asmtool" $SRC src/demo.obj -l src/demo.lst -- "$t/lnktool" \
        src/demo.obj -o src/demo.exe -m src/demo.map -- src/demo.exe $SRC)
    t3=$(instructions "$RUN/s1-run/tolvane" $SRC)
    echo "  three stages: instructions limit $l3, tolvane $t3 ($(ratio "$t3" "$l3") x); system calls limit" \
        "$(syscalls "$HELPERS/limit" "$t/asmtool" $SRC src/demo.obj -l src/demo.lst -- "$t/lnktool" \
            src/demo.obj -o src/demo.exe -m src/demo.map -- src/demo.exe $SRC)," \
        "tolvane $(syscalls "$RUN/s1-run/tolvane" $SRC)"
}

main() {
    build
    setup
    echo "tolvane benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "driver: $driver ($(stat -c %s "$driver") bytes)"
    [ $quick -eq 1 ] && echo "quick mode: fewer rounds, wider error"
    scenario_1
    scenario_2
    scenario_3
    scenario_4
    echo "== Targets"
    printf '%s\n' "${VERDICTS[@]}"
}

main
