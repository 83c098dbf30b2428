#!/bin/sh
# Portability checks for CI: the clang build with every test, the aarch64
# cross build with every test under qemu-user, and the static analysis.
# Every step runs even after one has failed; the script fails if any did,
# and ends with the time each step took.
set -eu
cd "$(dirname "$0")/.."

summary=""
failed=0

# step <name> <command>...: runs the command, notes its time and outcome.
step() {
    name=$1
    shift
    echo "=== $name"
    start=$(date +%s)
    if "$@"; then
        outcome=ok
    else
        outcome=FAILED
        failed=1
    fi
    seconds=$(($(date +%s) - start))
    echo "=== $name: $outcome after ${seconds}s"
    summary="$summary$(printf '%-28s %-7s %5ss' "$name" "$outcome" "$seconds")
"
}

step "install dependencies" scripts/install-deps.sh analysis
step "install cross dependencies" scripts/install-cross-deps.sh

step "clang: configure" cmake --preset clang
step "clang: build" cmake --build --preset clang
step "clang: test" ctest --preset clang

step "aarch64: configure" cmake --preset aarch64
step "aarch64: build" cmake --build --preset aarch64
step "aarch64: test (qemu-user)" ctest --preset aarch64

step "static analysis" scripts/static-analysis.sh --build-dir build/clang

echo "=== portability summary"
printf '%s' "$summary"
exit "$failed"
