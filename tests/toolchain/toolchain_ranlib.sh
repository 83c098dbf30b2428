#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# zin-ranlib from an installed tree, with the LLVM plugin as the toolchain's
# plugin, adds the index to an archive of LTO objects that was made without
# one, after which GNU ld links from it; plain ranlib in the same namespace
# leaves the archive without an index.
set -eu
. "$(dirname "$0")/lib.sh"
prepare_case "$0" "$@"

run ar rcS libcalc.a calc.o scale.o
archive_index libcalc.a before.index
check_empty before.index

echo "--- control: plain ranlib, no plugin"
run cp libcalc.a plain.a
ranlib plain.a 2>/dev/null || true
archive_index plain.a plain.index
check_empty plain.index
link_fails_without_index plain.a

echo "--- zin-ranlib"
run target_env "$scratch/prefix/${bin_rel}zin-ranlib" libcalc.a
archive_index libcalc.a after.index
expected_index after.index
link_and_run libcalc.a

echo "PASS"
