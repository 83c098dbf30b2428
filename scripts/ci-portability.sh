#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Portability checks for CI: the clang build with every test, the aarch64
# cross build with every test under qemu-user, and the static analysis.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

step "install dependencies" scripts/install-deps.sh analysis cross

step "clang: build and test" cmake --workflow --preset clang
step "aarch64: build and test (qemu-user)" cmake --workflow --preset aarch64

step "static analysis" scripts/static-analysis.sh --build-dir build/clang
steps_done
