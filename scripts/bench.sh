#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Builds the benchmarks optimised (preset bench, in build/bench) and runs
# them: first the wrappers' start-up beside a minimal C launcher and a
# /bin/sh wrapper (bench/spawn; its exit status is 1 when zin-ar misses a
# target), then the library's hot paths (bench/micro_bench). Arguments go to
# bench/spawn, e.g. --rounds 3000.
#   ZIN_BENCH_MICRO=0    skip the micro-benchmarks
# Timings drift with whatever else the machine runs: the ratios of one run
# are what counts, and a quiet machine gives the tightest ones.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh bench

build=build/bench
cmake --preset bench >/dev/null
cmake --build --preset bench

load=$(cut -d' ' -f1 /proc/loadavg)
if [ "$(echo "$load" | cut -d. -f1)" -ge 1 ]; then
    echo "note: load average $load; other work on the machine widens the spread" >&2
fi

status=0
"$build/bench/spawn" "$@" || status=$?
if [ "${ZIN_BENCH_MICRO:-1}" != 0 ]; then
    echo
    "$build/bench/micro_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
fi
exit "$status"
