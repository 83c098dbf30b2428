#!/bin/sh
# The packages that cpack makes: a .deb with the expected control fields and
# contents, unpacked into a throwaway root and run from there; and a .tar.gz
# that works wherever it is unpacked.
set -eu
. "$(dirname "$0")/lib.sh"
for program in cpack dpkg dpkg-deb tar; do
    command -v "$program" >/dev/null 2>&1 || skip "$program is not installed"
done
make_scratch
run_quiet cpack --config "$ZT_BUILD_DIR/CPackConfig.cmake" -B "$scratch/packages"

set -- "$scratch"/packages/*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one .deb, found: $*"
deb=$1
set -- "$scratch"/packages/*.tar.gz
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one .tar.gz, found: $*"
tgz=$1

echo "--- control fields of $deb"
field() {
    dpkg-deb -f "$deb" "$1" || fail "dpkg-deb -f $deb $1"
}
[ "$(field Package)" = "$ZT_PACKAGE_NAME" ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$ZT_PROJECT_VERSION" ] || fail "Version is '$(field Version)'"
# A cross build packages for its target, not for the machine that built it.
expected_architecture=$(dpkg --print-architecture)
[ "${ZT_CROSS_EMULATED:-0}" = 1 ] && expected_architecture=arm64
[ "$(field Architecture)" = "$expected_architecture" ] ||
    fail "Architecture is '$(field Architecture)'"
field Maintainer | grep -E '^[^<]+ <[^>]+@[^>]+>$' >/dev/null ||
    fail "Maintainer '$(field Maintainer)' is not 'name <address>'"
# Read whole first: head would end the pipe before dpkg-deb has written it all.
description=$(field Description)
printf '%s\n' "$description" | head -n 1 | grep -F "wrappers" >/dev/null ||
    fail "Description lacks a summary line: $description"
[ "$(printf '%s\n' "$description" | wc -l)" -ge 2 ] || fail "Description has no long text"

echo "--- unpacked into a throwaway root, the wrappers run"
run dpkg -x "$deb" "$scratch/root"
root=$scratch/root$ZT_INSTALL_PREFIX
# A dynamically linked wrapper needs libc6; a static one needs nothing.
if ! command -v readelf >/dev/null 2>&1; then
    echo "readelf is not installed: Depends left unchecked"
elif readelf -lW "$root/${bin_rel}zin-ar" | grep -F "program interpreter" >/dev/null; then
    field Depends | grep -F "libc6" >/dev/null || fail "Depends lacks libc6: '$(field Depends)'"
else
    [ -z "$(field Depends)" ] || fail "static wrappers, yet Depends is '$(field Depends)'"
fi
for wrapper in zin-ar zin-nm zin-ranlib; do
    [ -f "$root/$bin_rel$wrapper" ] && [ -x "$root/$bin_rel$wrapper" ] ||
        fail "$root/$bin_rel$wrapper is missing from the package"
    [ "$(readlink "$root/$bin_rel$ZT_TARGET-$wrapper")" = "$wrapper" ] ||
        fail "$root/$bin_rel$ZT_TARGET-$wrapper is not a link to $wrapper"
    [ "$(readlink "$root/$bin_rel$wrapper-$major")" = "$wrapper" ] ||
        fail "$root/$bin_rel$wrapper-$major is not a link to $wrapper"
    [ -s "$root/$ZT_MAN_DIR/$wrapper.1.gz" ] || fail "the package lacks $ZT_MAN_DIR/$wrapper.1.gz"
done
for dir in "$exec_rel" "$libexec_rel" "$tool_rel"; do
    [ -d "$root/$dir" ] || fail "the package lacks the directory $dir"
done
place_stand_in "$root"
run_to "$scratch/deb-ar" env PATH=/nonexistent "$root/${bin_rel}zin-ar" rcs libx.a a.o
check_lines "$scratch/deb-ar" "$(relocated_tool_path "$root" ar)" --plugin \
    "$(relocated_plugin_path "$root")" -rcs libx.a a.o

echo "--- the .tar.gz unpacks into a tree that works where it lands"
run mkdir "$scratch/unpacked"
run tar -xzf "$tgz" -C "$scratch/unpacked"
set -- "$scratch"/unpacked/*
[ $# -eq 1 ] && [ -d "$1" ] || fail "expected one top directory in $tgz, found: $*"
tree=$1
for wrapper in zin-ar zin-nm zin-ranlib; do
    [ -x "$tree/$bin_rel$wrapper" ] || fail "$tgz lacks $bin_rel$wrapper"
    [ "$(readlink "$tree/$bin_rel$wrapper-$major")" = "$wrapper" ] ||
        fail "$tgz lacks the link $bin_rel$wrapper-$major"
done
place_stand_in "$tree"
run_to "$scratch/tgz-nm" env PATH=/nonexistent "$tree/$bin_rel$ZT_TARGET-zin-nm" -A a.o
check_lines "$scratch/tgz-nm" "$(relocated_tool_path "$tree" nm)" --plugin \
    "$(relocated_plugin_path "$tree")" -A a.o

echo "PASS"
