#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The packages that cpack makes. The .deb, from a package build (this build,
# or one made beside it from this build's settings): lintian finds no error
# and no warning that the package does not explain; static programs name the
# C library they embed in Built-Using, and programs linked with musl carry
# musl's notice in the copyright file; installed by dpkg into a throwaway
# root, its wrappers run the stand-in tools, and started as from /usr/bin
# they search the package's own directories, without relocating; purged, it
# leaves nothing behind; the machine's package database never learns of it.
# The .tar.gz works wherever it is unpacked, and carries musl's notice beside
# the licence when its programs embed musl.
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

# Debian's record of what static programs embed: the source package of the
# C library with its version, as dpkg knows the library's development package.
package_link=$(cache_value "$ZT_PACKAGE_BUILD_DIR" ZIN_LINK)
source_of() {
    dpkg-query -W -f='${source:Package} (= ${source:Version})' "$1" 2>/dev/null || true
}
case $package_link in
musl-static) expected_built_using=$(source_of musl-dev) ;;
static) expected_built_using=$(source_of libc6-dev) ;;
*) expected_built_using="" ;;
esac
# A cross build embeds the target's C library, of another development package.
if [ "${ZT_CROSS_EMULATED:-0}" = 1 ] && [ -n "$expected_built_using" ]; then
    field Built-Using | grep -E '^[a-z0-9][a-z0-9.+-]+ \(= [^ ()]+\)$' >/dev/null ||
        fail "Built-Using is '$(field Built-Using)', not a source package with its version"
else
    [ "$(field Built-Using)" = "$expected_built_using" ] ||
        fail "Built-Using is '$(field Built-Using)', not '$expected_built_using' ($package_link)"
fi

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

# Programs linked with musl carry musl's notice: its paragraphs follow the
# project's whole, their file patterns below musl/, so that they claim none
# of the project's files; the copyright file keeps one header.
copyright=$usr/share/doc/$ZT_PACKAGE_NAME/copyright
package_notice=$(musl_notice "$ZT_PACKAGE_BUILD_DIR")
if [ -n "$package_notice" ]; then
    echo "--- the copyright file carries musl's notice, $package_notice"
    [ "$(grep -c '^Format: ' "$copyright")" = 1 ] || fail "$copyright has more than one header"
    [ "$(grep -c '^Files: \*$' "$copyright")" = 1 ] ||
        fail "$copyright has more than one paragraph for every file"
    if [ "$(head -c 8 "$package_notice")" = "Format: " ]; then
        sed '1,/^$/d' "$package_notice" >"$scratch/notice"
        sed -n '/^Files: musl\//,$p' "$copyright" | sed -E 's#^(Files: +|[ \t]+)musl/#\1#' \
            >"$scratch/carried"
        diff -u "$scratch/notice" "$scratch/carried" >&2 ||
            fail "$copyright does not end in musl's notice (- notice, + carried above)"
    else
        while IFS= read -r line; do
            [ -z "$line" ] || check_contains "$copyright" " $line"
        done <"$package_notice"
    fi
else
    check_not_contains "$copyright" musl
fi

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
tree_notice=$(musl_notice "$ZT_BUILD_DIR")
if [ -n "$tree_notice" ]; then
    cmp "$tree_notice" "$tree/$ZT_DOC_DIR/COPYRIGHT.musl" ||
        fail "$tgz lacks musl's notice $tree_notice as $ZT_DOC_DIR/COPYRIGHT.musl"
else
    [ ! -e "$tree/$ZT_DOC_DIR/COPYRIGHT.musl" ] || fail "$tgz has musl's notice, yet no musl"
fi
place_stand_in "$tree"
check_wrappers_run "$tree" zin-ar "$ZT_TARGET-zin-nm" "zin-ranlib-$major"

echo "PASS"
