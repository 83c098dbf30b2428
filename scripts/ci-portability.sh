#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Portability checks for CI: the clang build with every test, the aarch64
# cross build with every test under qemu-user, and the static analysis.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

step "install dependencies" scripts/install-deps.sh analysis cross

step "clang: configure" cmake --preset clang
step "clang: build" cmake --build --preset clang
step "clang: every test" ctest --preset clang

step "aarch64: configure" cmake --preset aarch64
step "aarch64: build" cmake --build --preset aarch64
step "aarch64: every test (qemu-user)" ctest --preset aarch64

step "static analysis" scripts/static-analysis.sh --build-dir build/clang
steps_done
