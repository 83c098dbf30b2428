#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages the build, the tests and the demo need, when
# any is missing. Needs root (or sudo) only when something must be installed.
#
#   scripts/install-deps.sh [cross] [windows] [analysis] [hardening] [bench] [coverage]
#
# cross adds the 64-bit Arm cross compilers and qemu-user (the aarch64 preset,
# whose tests start the emulator themselves), windows the MinGW-w64 compilers
# (posix thread variant) and Wine's 64-bit loader (the windows preset, whose
# tests run under Wine; never wine-binfmt, nothing is registered), analysis adds
# clang-tidy, cppcheck and clang-format-16 (scripts/static-analysis.sh,
# scripts/format.sh), hardening adds
# valgrind and clang's sanitizer and libFuzzer runtimes, which clang only
# recommends (scripts/ci-hardening.sh), bench adds strace, which counts the
# wrappers' system calls (scripts/bench.sh), coverage adds gcovr
# (scripts/coverage.sh).
set -eu

packages="cmake make g++ clang libgtest-dev libgmock-dev binutils
  util-linux mount llvm-14-linker-tools groff-base man-db dpkg-dev file lintian musl-dev musl-tools"

for group in "$@"; do
    case "$group" in
    cross) packages="$packages crossbuild-essential-arm64 libc6-dev-arm64-cross
             qemu-user qemu-user-static" ;;
    windows) packages="$packages g++-mingw-w64-x86-64-posix wine64" ;;
    analysis) packages="$packages clang-tidy cppcheck clang-format-16" ;;
    hardening) packages="$packages valgrind libclang-rt-14-dev" ;;
    bench) packages="$packages strace" ;;
    coverage) packages="$packages gcovr" ;;
    *)
        echo "install-deps.sh: unknown package group '$group' (known: cross, windows, analysis, hardening, bench, coverage)" >&2
        exit 2
        ;;
    esac
done

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -Eq "^install ok (installed|triggers-pending)"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing
