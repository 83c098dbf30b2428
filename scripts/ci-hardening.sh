#!/bin/sh
# CI hardening: the whole test suite under AddressSanitizer and
# UndefinedBehaviorSanitizer (preset asan), each fuzzer for a short run, and
# valgrind memcheck over the module tests. Prints how long each part took.
#   scripts/ci-hardening.sh              as CI runs it (fuzzers 20 s each)
#   ZIN_FUZZ_SECONDS=180 scripts/ci-hardening.sh
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh hardening

started=$(date +%s)
step() {
    echo "=== $1"
    t0=$(date +%s)
    shift
    "$@"
    timings="${timings:-}$(printf '%-36s %5s s' "$*" "$(($(date +%s) - t0))")
"
}

step "sanitizers: configure" cmake --preset asan
step "sanitizers: build" cmake --build --preset asan
step "sanitizers: every test" ctest --preset asan
step "fuzzing" scripts/fuzz.sh "${ZIN_FUZZ_SECONDS:-20}"
step "valgrind" scripts/valgrind.sh

echo "=== times"
printf '%s' "$timings"
echo "ci-hardening.sh: $(($(date +%s) - started)) s in all"
