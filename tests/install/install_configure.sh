#!/bin/sh
# Configuration stops with a clear message when an installation directory
# of the wrappers does not lie below the installation prefix, since the
# installed tree could not find its own parts then.
set -eu
. "$(dirname "$0")/lib.sh"
make_scratch

# configure_fails NAME OPTION MESSAGE...: configuring with OPTION fails and
# says every MESSAGE fragment.
configure_fails() {
    run_failing_to "$scratch/$1.log" cmake -S "$ZT_SOURCE_DIR" -B "$scratch/$1" \
        -DZIN_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/opt/zin "$2"
    _log=$scratch/$1.log
    shift 2
    tr '\n' ' ' <"$_log.err" | sed 's/  */ /g' >"$_log.text"
    for _fragment in "$@"; do
        check_contains "$_log.text" "$_fragment"
    done
}

echo "--- a libexec directory outside the prefix"
configure_fails libexec -DZIN_INSTALL_LIBEXEC_PREFIX=/usr/libexec/zin13/zin/ \
    "ZIN_INSTALL_LIBEXEC_PREFIX is '/usr/libexec/zin13/zin/', which is not a directory below CMAKE_INSTALL_PREFIX '/opt/zin'"

echo "--- a bin directory that is the prefix itself"
configure_fails bin -DZIN_INSTALL_BIN_PREFIX=/opt/zin/ \
    "ZIN_INSTALL_BIN_PREFIX is '/opt/zin/', which is not a directory below CMAKE_INSTALL_PREFIX '/opt/zin'"

echo "--- a tool directory climb that leaves the tree"
configure_fails climb -DZIN_TOOL_DIR_RELATIVE=../../../../../../ \
    "ZIN_TOOL_DIR_RELATIVE '../../../../../../' climbs from" "out of the installation root"

echo "--- the same directories below the prefix are accepted"
run_quiet cmake -S "$ZT_SOURCE_DIR" -B "$scratch/good" -DZIN_BUILD_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/opt/zin -DZIN_INSTALL_BIN_PREFIX=/opt/zin/bin/ \
    -DZIN_INSTALL_EXEC_PREFIX=/opt/zin/lib/zin13/zin/ \
    -DZIN_INSTALL_LIBEXEC_PREFIX=/opt/zin/libexec/zin13/zin/

echo "PASS"
