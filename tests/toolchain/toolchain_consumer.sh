#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# A CMake project with interprocedural optimisation, configured with the
# installed wrappers as its archiver and archive indexer, builds a static
# library of LTO objects and a program linked from it by GNU ld, which runs.
# The same project with plain ar and ranlib fails to link in the same
# namespace, so the index can only come from the plugin the wrappers passed.
set -eu
. "$(dirname "$0")/lib.sh"
require_toolchain
command -v cmake >/dev/null 2>&1 || skip "cmake is not installed"
# make starts the archiver itself, by the path CMake was given.
[ -z "${ZT_EMULATOR:-}" ] ||
    skip "the project's build starts the cross-built wrappers directly, which only an emulator registered with the kernel could run"
enter_private_plugin_dir "$0" "$@"
make_scratch
cd "$scratch"
prefix=$scratch/prefix
install_toolchain_tree "$prefix"
bin=$prefix/${bin_rel%/}
project=$ZT_SOURCE_DIR/tests/toolchain/consumer

# configure_project BUILD AR RANLIB COMPILER_AR COMPILER_RANLIB
configure_project() {
    run_quiet cmake -S "$project" -B "$1" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_COMPILER=clang -DCMAKE_AR="$2" -DCMAKE_RANLIB="$3" \
        -DCMAKE_C_COMPILER_AR="$4" -DCMAKE_C_COMPILER_RANLIB="$5"
}

echo "--- with the installed wrappers"
configure_project wrapped "$bin/zin-ar" "$bin/zin-ranlib" "$bin/zin-ar-$major" "$bin/zin-ranlib-$major"
check_contains wrapped/CMakeCache.txt "CMAKE_C_COMPILER_AR:FILEPATH=$bin/zin-ar-$major"
check_contains wrapped/CMakeCache.txt "CMAKE_C_COMPILER_RANLIB:FILEPATH=$bin/zin-ranlib-$major"
run_to build.log cmake --build wrapped --verbose -j 2
# The commands that made and indexed the archive ran the wrappers.
check_contains build.log "$bin/zin-ar-$major\" cr libcalc.a"
check_contains build.log "$bin/zin-ranlib-$major\" libcalc.a"
check_contains build.log "-flto"
archive_index wrapped/libcalc.a wrapped.index
expected_index wrapped.index .c.o
run_to program.out wrapped/calc_demo
check_lines program.out "add(4) = 54"

echo "--- control: plain ar and ranlib"
configure_project plain /usr/bin/ar /usr/bin/ranlib /usr/bin/ar /usr/bin/ranlib
run_failing_to control.log cmake --build plain --verbose -j 2
check_contains control.log.err "archive has no index"

echo "PASS"
