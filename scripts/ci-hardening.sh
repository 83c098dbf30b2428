#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# CI hardening: the whole test suite under AddressSanitizer and
# UndefinedBehaviorSanitizer with g++ and with clang (presets asan and
# asan-clang), each fuzzer for a short run, and
# valgrind memcheck over the module tests of the dev build.
#   scripts/ci-hardening.sh              as CI runs it (fuzzers 20 s each)
#   ZIN_FUZZ_SECONDS=180 scripts/ci-hardening.sh
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

step "install dependencies" scripts/install-deps.sh hardening
step "asan: build and test" cmake --workflow --preset asan
step "asan-clang: build and test" cmake --workflow --preset asan-clang
step "fuzzing" scripts/fuzz.sh "${ZIN_FUZZ_SECONDS:-20}"
step "valgrind" scripts/valgrind.sh
steps_done
