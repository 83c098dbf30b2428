#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The tree that `cmake --install` puts down at a prefix other than the
# configured one: exactly the programs, their link names, the man pages,
# the licence (and musl's notice, when the programs embed musl), the README
# and the empty directories the wrappers search; and a wrapper run from there
# finds what is put into those directories.
set -eu
. "$(dirname "$0")/lib.sh"
make_scratch
musl_notice=$(musl_notice "$ZT_BUILD_DIR")
prefix=$scratch/prefix
install_tree "$prefix"

echo "--- every installed file, and nothing else"
(cd "$prefix" && find . ! -type d | sort) >"$scratch/files"
expected_files=""
for wrapper in zin-ar zin-nm zin-ranlib; do
    expected_files="$expected_files ./$bin_rel$wrapper ./$bin_rel$ZT_TARGET-$wrapper"
    expected_files="$expected_files ./$bin_rel$wrapper-$major ./$ZT_MAN_DIR/$wrapper.1.gz"
    expected_files="$expected_files ./$ZT_MAN_DIR/$ZT_TARGET-$wrapper.1.gz ./$ZT_MAN_DIR/$wrapper-$major.1.gz"
done
expected_files="$expected_files ./$ZT_DOC_DIR/LICENSE ./$ZT_DOC_DIR/README.md"
[ -z "$musl_notice" ] || expected_files="$expected_files ./$ZT_DOC_DIR/COPYRIGHT.musl"
# shellcheck disable=SC2046,SC2086
check_lines "$scratch/files" $(printf '%s\n' $expected_files | sort)

for wrapper in zin-ar zin-nm zin-ranlib; do
    file=$prefix/$bin_rel$wrapper
    [ -f "$file" ] && [ ! -L "$file" ] && [ -x "$file" ] ||
        fail "$file is not an executable regular file"
done
for doc in LICENSE README.md; do
    cmp "$ZT_SOURCE_DIR/$doc" "$prefix/$ZT_DOC_DIR/$doc" || fail "the installed $doc differs"
done
[ -z "$musl_notice" ] || cmp "$musl_notice" "$prefix/$ZT_DOC_DIR/COPYRIGHT.musl" ||
    fail "the installed COPYRIGHT.musl is not musl's notice $musl_notice"

echo "--- the searched directories exist and are empty"
for dir in "$exec_rel" "$libexec_rel" "$tool_rel"; do
    [ -d "$prefix/$dir" ] || fail "directory $prefix/$dir was not installed"
    [ -z "$(ls -A "$prefix/$dir")" ] || fail "$prefix/$dir is not empty"
done
# The wrappers reach the target tool directory by climbing from the exec
# directory; the climb must land on the installation root.
landed=$(cd "$prefix/$exec_rel$ZT_TOOL_DIR_RELATIVE" && pwd -P)
[ "$landed" = "$prefix" ] ||
    fail "$exec_rel$ZT_TOOL_DIR_RELATIVE leads to $landed, not to the root $prefix"

echo "--- a fresh tree has no plugin yet"
run_failing_to "$scratch/fresh" target_env PATH=/nonexistent "$prefix/${bin_rel}zin-ar" t x.a
check_empty "$scratch/fresh"
check_lines "$scratch/fresh.err" "$prefix/${bin_rel}zin-ar: Cannot find plugin '$ZT_PLUGIN'"

echo "--- each wrapper finds the plugin and the tool put into the tree"
place_stand_in "$prefix"
check_wrappers_run "$prefix" zin-ar zin-nm zin-ranlib

echo "PASS"
