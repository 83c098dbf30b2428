#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The packages that cpack makes. The .deb, from a package build (this build,
# or one made beside it from this build's settings): lintian finds no error
# and no warning that the package does not explain; installed by dpkg into a
# throwaway root, its wrappers run the stand-in tools, and started as from
# /usr/bin they search the package's own directories, without relocating;
# purged, it leaves nothing behind; the machine's package database never
# learns of it. The .tar.gz works wherever it is unpacked.
set -eu
. "$(dirname "$0")/lib.sh"
for program in cpack dpkg dpkg-deb dpkg-query tar; do
    command -v "$program" >/dev/null 2>&1 || skip "$program is not installed"
done
make_scratch

if [ -n "$ZT_PACKAGE_BUILD_SEED" ]; then
    echo "--- this build is for $ZT_INSTALL_PREFIX: no .deb from it, one from a package build"
    run_failing_to "$scratch/refused" cpack -G DEB --config "$ZT_BUILD_DIR/CPackConfig.cmake" \
        -B "$scratch/refused-packages"
    check_contains "$scratch/refused.err" "A .deb installs below /usr"
    run_quiet cmake -G "$ZT_CMAKE_GENERATOR" -C "$ZT_PACKAGE_BUILD_SEED" -S "$ZT_SOURCE_DIR" \
        -B "$ZT_PACKAGE_BUILD_DIR" -DCMAKE_INSTALL_PREFIX=/usr -DZIN_BUILD_TESTS=OFF
    run_quiet cmake --build "$ZT_PACKAGE_BUILD_DIR"
fi
run_quiet cpack -G DEB --config "$ZT_PACKAGE_BUILD_DIR/CPackConfig.cmake" -B "$scratch/deb"
run_quiet cpack -G TGZ --config "$ZT_BUILD_DIR/CPackConfig.cmake" -B "$scratch/tgz"
set -- "$scratch"/deb/*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one .deb, found: $*"
deb=$1
set -- "$scratch"/tgz/*.tar.gz
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one .tar.gz, found: $*"
tgz=$1

echo "--- control fields of $deb"
field() {
    dpkg-deb -f "$deb" "$1" || fail "dpkg-deb -f $deb $1"
}
[ "$(field Package)" = "$ZT_PACKAGE_NAME" ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$ZT_PROJECT_VERSION" ] || fail "Version is '$(field Version)'"
# A cross build packages for its target, not for the machine that built it.
architecture=$(dpkg --print-architecture)
[ "${ZT_CROSS_EMULATED:-0}" = 1 ] && architecture=arm64
[ "$(field Architecture)" = "$architecture" ] || fail "Architecture is '$(field Architecture)'"

echo "--- lintian: no error, and no warning left unexplained"
if command -v lintian >/dev/null 2>&1; then
    run_quiet lintian --no-cfg --fail-on error,warning "$deb"
else
    echo "lintian is not installed: the package is not checked against Debian's policy"
fi

echo "--- installed by dpkg into a throwaway root"
root=$scratch/root
admin=$root/var/lib/dpkg
mkdir -p "$admin/info" "$admin/updates"
: >"$admin/status"
host_status() {
    dpkg-query -W -f='${db:Status-Abbrev}' "$ZT_PACKAGE_NAME" 2>/dev/null || true
}
host_before=$(host_status)
# The throwaway database has nothing to meet dependencies with; the log stays
# in the scratch directory; no privileges are needed.
dpkg_root() {
    run_quiet dpkg --root="$root" --log="$scratch/dpkg.log" --force-not-root --force-depends "$@"
}
[ "$architecture" = "$(dpkg --print-architecture)" ] || dpkg_root --add-architecture "$architecture"
dpkg_root --install "$deb"
[ "$(host_status)" = "$host_before" ] ||
    fail "the machine's own package database changed: '$host_before' became '$(host_status)'"
usr=$root/usr
# A dynamically linked wrapper needs libc6; a static one needs nothing.
if ! command -v readelf >/dev/null 2>&1; then
    echo "readelf is not installed: Depends left unchecked"
elif readelf -lW "$usr/${bin_rel}zin-ar" | grep -F "program interpreter" >/dev/null; then
    field Depends | grep -F "libc6" >/dev/null || fail "Depends lacks libc6: '$(field Depends)'"
else
    [ -z "$(field Depends)" ] || fail "static wrappers, yet Depends is '$(field Depends)'"
fi

# lintian keeps overridden tags quiet, so each override says why, in the
# comment right above it.
awk '!/^(#|$)/ && prev !~ /^#/ { print; bad = 1 } { prev = $0 } END { exit bad }' \
    "$usr/share/lintian/overrides/$ZT_PACKAGE_NAME" >&2 ||
    fail "lintian overrides without a reason above them"

place_stand_in "$usr"
check_wrappers_run "$usr" zin-ar "$ZT_TARGET-zin-nm" "zin-ranlib-$major"

# Where the package installs, its wrappers take the configured directories
# as they are; those must be the package's own.
echo "--- started as /usr/${bin_rel}zin-nm, a packaged wrapper searches the package's directories"
target_env ZIN_EXEC_PREFIX="/usr/$bin_rel" ZIN_SEARCH_TRACE=1 PATH=/nonexistent \
    "$usr/${bin_rel}zin-nm" a.o >"$scratch/trace" 2>"$scratch/trace.err" || true
sed -n 's/^  - add prefix: //p' "$scratch/trace.err" >"$scratch/searched"
tool_dir=/usr/$exec_rel$ZT_TOOL_DIR_RELATIVE$tool_rel
check_lines "$scratch/searched" "$tool_dir" "/usr/$libexec_rel" /nonexistent/
for dir in "$tool_dir" "/usr/$libexec_rel"; do
    [ -d "$root$dir" ] || fail "the package has no directory $dir"
done

echo "--- purged, the package leaves nothing behind"
run rm "$usr/$libexec_rel$ZT_PLUGIN" "$usr/$tool_rel"ar "$usr/$tool_rel"nm "$usr/$tool_rel"ranlib
dpkg_root --purge "$ZT_PACKAGE_NAME"
(cd "$root" && find . -path ./var/lib/dpkg -prune -o -print | sort) >"$scratch/left"
check_lines "$scratch/left" . ./var ./var/lib
check_not_contains "$admin/status" "Package: $ZT_PACKAGE_NAME"
set -- "$admin/info/$ZT_PACKAGE_NAME"[.:]*
[ ! -e "$1" ] || fail "dpkg still holds $*"

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
check_wrappers_run "$tree" zin-ar "$ZT_TARGET-zin-nm" "zin-ranlib-$major"

echo "PASS"
