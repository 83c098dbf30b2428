#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# zin-ar from an installed tree, with the LLVM plugin as the toolchain's
# plugin: the archive of two LTO objects gets an index listing their
# functions and data, and GNU ld links a program from it. In the same
# namespace, plain ar makes no index for the same objects, so the index can
# only come from the plugin zin-ar passed.
set -eu
. "$(dirname "$0")/lib.sh"
prepare_case "$0" "$@"

echo "--- control: plain ar, no plugin"
run ar rcs plain.a calc.o scale.o
archive_index plain.a plain.index
check_empty plain.index
link_fails_without_index plain.a

echo "--- zin-ar"
run target_env "$scratch/prefix/${bin_rel}zin-ar" rcs libcalc.a calc.o scale.o
archive_index libcalc.a libcalc.index
expected_index libcalc.index
run_to members ar t libcalc.a
check_lines members calc.o scale.o
run_to listed target_env "$scratch/prefix/${bin_rel}zin-ar" t libcalc.a
check_lines listed calc.o scale.o
link_and_run libcalc.a

echo "PASS"
