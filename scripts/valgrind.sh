#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# valgrind memcheck over the module tests of the dev build (the ctest labels
# named by product_modules in scripts/lib.sh): any memory error, or any block
# definitely lost, fails. Each test program runs once under valgrind over
# its selected cases. Only the test process itself is checked: the programs
# it starts run natively (no --trace-children), and forked copies are quiet.
# Configures and builds the dev preset first (workflow preset dev-build).
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

build=build/dev
labels="^($(printf '%s' "$product_modules" | tr ' ' '|'))\$"
# Left out: the programs linked with the fault library, which replaces the
# allocator as valgrind does; a case that must lower RLIMIT_NOFILE until no
# pipe fits, which valgrind refuses, as it keeps descriptors of its own
# above the limit; and the region's allocation-family check, a static musl
# program whose allocator is the region's, which valgrind cannot replace
# (nor is it a GoogleTest program); and the replay of the command-line
# quoting fuzz target, a plain program too, whose quoting the
# PexWin32CommandLineTest cases run under valgrind here.
fault_library=libzin_fault.so
left_out_cases='^(UnixBackendTest\.ExecFailureWithoutThePipe|RegionMalloc\.EveryMemberIsTheRegions|fuzz_win32_command_line_replay)$'

command -v valgrind >/dev/null || { echo "valgrind.sh: valgrind is not installed" >&2; exit 1; }
cmake --workflow --preset dev-build >/dev/null

logs=$PWD/$build/valgrind
mkdir -p "$logs"
list=$logs/programs.txt
cmake "-DBUILD_DIR=$build" "-DCTEST_ARGS=-L;$labels;-E;$left_out_cases" \
    -P scripts/gtest-programs.cmake >"$list"
[ -s "$list" ] || { echo "valgrind.sh: ctest selects no tests in $build" >&2; exit 1; }

failed=""
start=$(date +%s)
tab=$(printf '\t')
while IFS=$tab read -r directory program filter; do
    name=$(basename "$program")
    if readelf -d "$program" | grep -F "[$fault_library]" >/dev/null; then
        printf '%-28s left out: linked with %s\n' "$name" "$fault_library"
        continue
    fi
    log=$logs/$name.log
    t0=$(date +%s)
    # The verdict is the test's own status, the number of cases it ran and
    # valgrind's summary for the test process; an exit code forced by
    # valgrind would also hit forked copies, which may end without freeing
    # what they hold. The death tests abort on purpose: no core files.
    status=0
    (cd "$directory" && ulimit -c 0 && valgrind --tool=memcheck --leak-check=full \
        --errors-for-leak-kinds=definite --show-leak-kinds=definite \
        --child-silent-after-fork=yes --log-file="$log" \
        "$program" --gtest_brief=1 --gtest_filter="$filter") </dev/null >"$log.out" 2>&1 ||
        status=$?
    errors=$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' "$log" | tail -n 1)
    lost=$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes.*/\1/p' "$log" | tail -n 1)
    cases=$(printf '%s\n' "$filter" | tr ':' '\n' | wc -l)
    ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$log.out")
    result=clean
    if [ "$status" -ne 0 ] || [ "${errors:-1}" != 0 ] || [ "${ran:-0}" -ne "$cases" ]; then
        result=FAILED
        failed="$failed $name"
    fi
    printf '%-28s %-7s %3s of %3s cases  errors %-3s definitely lost %-6s %4ss\n' "$name" \
        "$result" "${ran:-0}" "$cases" "${errors:-?}" "${lost:-0}" "$(($(date +%s) - t0))"
done <"$list"
echo "valgrind.sh: $(($(date +%s) - start)) s in all"
if [ -n "$failed" ]; then
    echo "valgrind.sh: failed:$failed (logs in $logs/)" >&2
    exit 1
fi
