#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# zin-nm from an installed tree, with the LLVM plugin as the toolchain's
# plugin, lists the symbols of an LTO object with their types; plain nm in
# the same namespace cannot read the object at all.
set -eu
. "$(dirname "$0")/lib.sh"
prepare_case "$0" "$@"

echo "--- control: plain nm, no plugin"
run_failing_to plain nm calc.o
check_contains plain.err "file format not recognized"

echo "--- zin-nm"
run_to listed target_env "$scratch/prefix/${bin_rel}zin-nm" calc.o
awk '{ print $(NF - 1), $NF }' listed >symbols
check_lines symbols "T add" "T counter" "W offset" "U scale"
run_to defined target_env "$scratch/prefix/${bin_rel}zin-nm" --defined-only scale.o
awk '{ print $(NF - 1), $NF }' defined >defined.symbols
check_lines defined.symbols "T scale"

echo "PASS"
