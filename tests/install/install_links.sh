#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The names build systems look for next to a compiler, <target>-zin-ar and
# zin-ar-<major> (and the same for zin-nm and zin-ranlib): relative symbolic
# links to the programs and their man pages, made below DESTDIR, surviving a second install over
# the first, and working as the program when started by those names.
set -eu
. "$(dirname "$0")/lib.sh"
make_scratch
# A prefix that does not exist: the install must write below DESTDIR only.
outside=/zin-install-test-$$-$(date +%s)
[ ! -e "$outside" ] || skip "$outside exists already"
dest=$scratch/dest
run_quiet env DESTDIR="$dest" cmake --install "$ZT_BUILD_DIR" --prefix "$outside"
[ ! -e "$outside" ] || {
    rm -rf "$outside"
    fail "the install wrote to $outside, outside DESTDIR"
}
root=$dest$outside

check_links() {
    for wrapper in zin-ar zin-nm zin-ranlib; do
        for link in "$ZT_TARGET-$wrapper" "$wrapper-$major"; do
            [ -L "$root/$bin_rel$link" ] || fail "$root/$bin_rel$link is not a symbolic link"
            target=$(readlink "$root/$bin_rel$link")
            [ "$target" = "$wrapper" ] ||
                fail "$root/$bin_rel$link points to '$target', not to '$wrapper'"
            target=$(readlink "$root/$ZT_MAN_DIR/$link.1.gz")
            [ "$target" = "$wrapper.1.gz" ] ||
                fail "$root/$ZT_MAN_DIR/$link.1.gz points to '$target', not to $wrapper.1.gz"
        done
    done
}
echo "--- the links point to the programs, relatively"
check_links

echo "--- a second install over the first keeps them"
run_quiet env DESTDIR="$dest" cmake --install "$ZT_BUILD_DIR" --prefix "$outside"
check_links

echo "--- moved with the tree, the links still lead to the programs"
run mv "$dest" "$scratch/moved"
root=$scratch/moved$outside
check_links
place_stand_in "$root"

echo "--- started by the link names, they are the wrappers"
check_wrappers_run "$root" "$ZT_TARGET-zin-ar" "zin-nm-$major" "$ZT_TARGET-zin-ranlib"

echo "--- diagnostics name the program as started"
run rm "$root/$libexec_rel$ZT_PLUGIN"
run_failing_to "$scratch/no-plugin" target_env PATH=/nonexistent "$root/${bin_rel}zin-ranlib-$major" x.a
check_lines "$scratch/no-plugin.err" "$root/${bin_rel}zin-ranlib-$major: Cannot find plugin '$ZT_PLUGIN'"

echo "PASS"
