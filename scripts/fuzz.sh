#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets (preset fuzz, clang) and runs each fuzzer the
# build lists for the given number of seconds (default 20) from its seed
# corpus in fuzz/corpus/<name>/, keeping what it learns in
# fuzz/corpus-work/<name>/ (not committed). Prints the executions and the
# final coverage (cov: edges, ft: features) of each run.
#   scripts/fuzz.sh          20 s per target, as CI runs it
#   scripts/fuzz.sh 180      3 minutes per target
# A crash or a broken property stops the script with the fuzzer's report;
# the input is saved as fuzz/corpus-work/<target>/crash-*.
set -eu
cd "$(dirname "$0")/.."

seconds=${1:-20}

cmake --workflow --preset fuzz
# The build lists its fuzzers, one "name<TAB>program" line each.
fuzzers=build/fuzz/fuzz/fuzzers.txt
[ -s "$fuzzers" ] || { echo "fuzz.sh: the build lists no fuzzers in $fuzzers" >&2; exit 1; }

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

printf '%-24s %8s %12s %8s %8s %8s\n' target seconds executions exec/s cov ft
tab=$(printf '\t')
while IFS=$tab read -r target program; do
    # Absolute: a fuzzer may work in a scratch directory of its own.
    work="$PWD/fuzz/corpus-work/$target"
    mkdir -p "$work"
    log="$work/last-run.log"
    if ! "$program" -max_total_time="$seconds" -print_final_stats=1 \
        -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/" \
        "$work" "$PWD/fuzz/corpus/$target" </dev/null >"$log" 2>&1; then
        cat "$log"
        echo "fuzz.sh: $target failed; its input is in $work/" >&2
        exit 1
    fi
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    final=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$log" | tail -n 1)
    cov=$(printf '%s\n' "$final" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
    ft=$(printf '%s\n' "$final" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
    printf '%-24s %8s %12s %8s %8s %8s\n' "$target" "$seconds" "$executions" "$rate" "$cov" "$ft"
done <"$fuzzers"
