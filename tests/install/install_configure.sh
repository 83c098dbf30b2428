#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Configuration stops with a clear message when the climb from the exec
# directory to the target tool directory leaves the installation prefix,
# since the installed tree could not find its tools then. (The checks of
# the directories themselves run without a configure, in
# tests/cmake/build_constants_test.cmake.)
set -eu
. "$(dirname "$0")/lib.sh"
make_scratch

echo "--- a tool directory climb that leaves the tree"
run_failing_to "$scratch/climb.log" cmake -S "$ZT_SOURCE_DIR" -B "$scratch/climb" \
    -DZIN_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/opt/zin -DZIN_TOOL_DIR_RELATIVE=../../../../../../
tr '\n' ' ' <"$scratch/climb.log.err" | sed 's/  */ /g' >"$scratch/climb.text"
check_contains "$scratch/climb.text" "ZIN_TOOL_DIR_RELATIVE '../../../../../../' climbs from"
check_contains "$scratch/climb.text" "out of the installation root"

echo "PASS"
