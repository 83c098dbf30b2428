# SPDX-License-Identifier: Apache-2.0
# Helpers of the tests that run the installed wrappers on GNU binutils,
# clang's LTO objects and LLVM's gold plugin (POSIX sh, sourced after
# `set -eu`). Builds on tests/install/lib.sh. A script outside tests/ (the
# demo) sets zt_tests_dir to the tests directory before sourcing it.
zt_tests_dir=${zt_tests_dir:-$(cd "$(dirname "$0")/.." && pwd)}
. "$zt_tests_dir/install/lib.sh"

llvm_plugin=${ZT_LLVM_PLUGIN:-/usr/lib/llvm-14/lib/LLVMgold.so}
# binutils loads every plugin found here on its own; the tests hide it.
bfd_plugin_dir=/usr/lib/bfd-plugins
sources=$zt_tests_dir/toolchain/sources
PATH=/usr/bin:/bin
export PATH

# Skips the test unless GNU ar, nm and ranlib, clang and the LLVM plugin
# are there.
require_toolchain() {
    for _tool in ar nm ranlib ld.bfd; do
        [ -x "/usr/bin/$_tool" ] || skip "/usr/bin/$_tool (GNU binutils) is not installed"
    done
    /usr/bin/ar --version 2>/dev/null | grep -F "GNU ar" >/dev/null ||
        skip "/usr/bin/ar is not GNU ar"
    command -v clang >/dev/null 2>&1 || skip "clang is not installed"
    [ -r "$llvm_plugin" ] || skip "the LLVM gold plugin $llvm_plugin is not installed"
}

# enter_private_namespace SCRIPT ARGUMENTS...: reruns the script in a
# private mount namespace, as root or else as root of a new user namespace;
# returns at once when already there. Returns 1, with the reason in $why,
# when no such namespace can be made.
enter_private_namespace() {
    [ "${ZT_IN_PRIVATE_NAMESPACE:-}" != 1 ] || return 0
    if ! command -v unshare >/dev/null 2>&1; then
        why="unshare(1) is not installed"
        return 1
    fi
    if unshare -m true 2>/dev/null; then
        set -- unshare -m sh "$@"
    elif unshare -r -m true 2>/dev/null; then
        set -- unshare -r -m sh "$@"
    else
        why="no private mount namespace: not root, and unprivileged user namespaces are refused"
        return 1
    fi
    ZT_IN_PRIVATE_NAMESPACE=1
    export ZT_IN_PRIVATE_NAMESPACE
    exec "$@"
}

# hide_plugin_dir: in the private mount namespace, mounts an empty tmpfs
# over the default plugin directory, so that only a plugin named on the
# command line counts. Returns 1, with the reason in $why, when it cannot.
hide_plugin_dir() {
    if [ ! -d "$bfd_plugin_dir" ]; then
        echo "no $bfd_plugin_dir on this machine: nothing to hide"
        return 0
    fi
    if [ "${ZT_IN_PRIVATE_NAMESPACE:-}" != 1 ]; then
        why="not in a private mount namespace"
        return 1
    fi
    why=$(mount -t tmpfs tmpfs "$bfd_plugin_dir" 2>&1) || {
        why="cannot mount an empty tmpfs over $bfd_plugin_dir: $why"
        return 1
    }
    [ -z "$(ls -A "$bfd_plugin_dir")" ] || fail "$bfd_plugin_dir is not empty after the mount"
    echo "private mount namespace: $bfd_plugin_dir is empty"
}

# enter_private_plugin_dir SCRIPT ARGUMENTS...: both of the above; skips the
# test when either fails.
enter_private_plugin_dir() {
    enter_private_namespace "$@" || skip "$why"
    hide_plugin_dir || skip "$why"
}

# install_toolchain_tree PREFIX: installs the build into PREFIX and puts the
# LLVM plugin in place of the toolchain's plugin. The tools come from PATH.
install_toolchain_tree() {
    install_tree "$1"
    run ln -s "$llvm_plugin" "$1/$libexec_rel$ZT_PLUGIN"
}

# compile_objects: calc.o, scale.o and main.o in the current directory, as
# LLVM bitcode.
compile_objects() {
    for _name in calc scale main; do
        run clang -flto -O2 -c "$sources/$_name.c" -o "$_name.o"
        [ "$(od -An -c -N2 "$_name.o" | tr -d ' ')" = BC ] || fail "$_name.o is not LLVM bitcode"
    done
}

# archive_index ARCHIVE OUT: the symbol index of ARCHIVE, as "symbol in
# member" lines in sorted order, into OUT; empty when it has none. Read by
# plain nm, which needs no plugin for the index itself (it fails on the
# bitcode members, so its status is not used).
archive_index() {
    nm -s "$1" 2>/dev/null | sed -n '/^Archive index:$/,/^$/p' | sed '1d; /^$/d' | sort >"$2"
}

# expected_index OUT [SUFFIX]: OUT holds the index that an archive of calc
# and scale must have, their members named with SUFFIX (default ".o").
expected_index() {
    _suffix=${2:-.o}
    check_lines "$1" "add in calc$_suffix" "counter in calc$_suffix" "offset in calc$_suffix" \
        "scale in scale$_suffix"
}

# link_and_run ARCHIVE: links main.o with ARCHIVE through LTO and GNU ld and
# checks what the program prints.
link_and_run() {
    run_to link.out clang -flto -O2 -fuse-ld=bfd main.o "$1" -o program
    run_to program.out ./program
    check_lines program.out "add(4) = 54"
}

# link_fails_without_index ARCHIVE: GNU ld refuses ARCHIVE for want of an index.
link_fails_without_index() {
    run_failing_to link-control.out clang -flto -O2 -fuse-ld=bfd main.o "$1" -o control-program
    check_contains link-control.out.err "archive has no index"
}

# prepare_case "$0" "$@": the start of every case that archives LTO objects:
# the tools are there, the system's plugin directory is hidden, and a scratch
# directory (the working directory from now on) holds an installed tree
# (prefix/) and the compiled objects.
prepare_case() {
    require_toolchain
    enter_private_plugin_dir "$@"
    make_scratch
    cd "$scratch"
    install_toolchain_tree "$scratch/prefix"
    compile_objects
}
