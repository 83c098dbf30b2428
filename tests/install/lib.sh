# SPDX-License-Identifier: Apache-2.0
# Helpers shared by the installation and toolchain test scripts (POSIX sh,
# sourced after `set -eu`). The build passes the facts of the configured
# build in ZT_* variables; see tests/install/CMakeLists.txt.

# The wrappers read these; a value from the caller's shell would change what
# they search.
unset ZIN_EXEC_PREFIX ZIN_SEARCH_TRACE
# In sanitizer builds: the wrappers free nothing on purpose (the process ends
# right after the tool), so leak reports from them are noise. A later option
# in ASAN_OPTIONS overrides an earlier one.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export ASAN_OPTIONS

# Ends the test as failed, with the reason.
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Ends the test as skipped (ctest SKIP_RETURN_CODE 77), with the reason.
skip() {
    echo "SKIP: $*"
    exit 77
}

# target_env [NAME=VALUE]... PROGRAM [ARGUMENT]...: runs PROGRAM, built by
# this build, with the settings, as env(1) does. In a cross build the kernel
# cannot start it: it runs under the emulator ($ZT_EMULATOR), found through
# PATH as env(1) would find it, with argv[0] as given, which the wrappers
# relocate by.
target_env() (
    [ -n "${ZT_EMULATOR:-}" ] || exec env "$@"
    while [ $# -gt 0 ]; do
        # shellcheck disable=SC2163 # $1 is NAME=VALUE
        case $1 in
        *=*) export "$1" ;;
        *) break ;;
        esac
        shift
    done
    _program=$1
    case $1 in
    */*) ;;
    *) _program=$(command -v "$1") || fail "$1 is not found through PATH=$PATH" ;;
    esac
    _argv0=$1
    shift
    # shellcheck disable=SC2086 # the emulator's command, split into its words
    exec $ZT_EMULATOR -0 "$_argv0" "$_program" "$@"
)

# Runs a command, showing it; a non-zero exit status fails the test.
run() {
    echo "+ $*"
    "$@" || fail "exit status $? from: $*"
}

# Runs a command with its output going to a log, shown only when it fails.
run_quiet() {
    echo "+ $*"
    "$@" >"$scratch/quiet.log" 2>&1 || {
        _status=$?
        cat "$scratch/quiet.log" >&2
        fail "exit status $_status from: $*"
    }
}

# run_to FILE COMMAND...: runs the command with standard output in FILE and
# standard error in FILE.err; a non-zero exit status fails the test.
run_to() {
    _out=$1
    shift
    echo "+ $* >$_out"
    "$@" >"$_out" 2>"$_out.err" || {
        _status=$?
        cat "$_out.err" >&2
        fail "exit status $_status from: $*"
    }
}

# run_failing_to FILE COMMAND...: like run_to, but the command must fail;
# its exit status is left in $status.
run_failing_to() {
    _out=$1
    shift
    echo "+ $* >$_out (must fail)"
    status=0
    "$@" >"$_out" 2>"$_out.err" || status=$?
    [ "$status" -ne 0 ] || fail "succeeded although it must fail: $*"
}

# check_lines FILE LINE...: FILE holds exactly the given lines.
check_lines() {
    _file=$1
    shift
    printf '%s\n' "$@" >"$_file.expected"
    diff -u "$_file.expected" "$_file" >&2 ||
        fail "$_file differs from the expected lines (- expected, + actual above)"
}

# check_contains FILE TEXT: FILE holds TEXT (a fixed string) on some line.
check_contains() {
    grep -F -e "$2" "$1" >/dev/null || {
        cat "$1" >&2
        fail "$1 does not contain: $2"
    }
}

# check_not_contains FILE TEXT: no line of FILE holds TEXT.
check_not_contains() {
    ! grep -F -e "$2" "$1" >/dev/null || {
        cat "$1" >&2
        fail "$1 contains: $2"
    }
}

# check_empty FILE: FILE exists and is empty.
check_empty() {
    [ -f "$1" ] && [ ! -s "$1" ] || {
        cat "$1" >&2
        fail "$1 is not empty"
    }
}

# Makes the test's own scratch directory ($scratch, symbolic links resolved,
# since the wrappers compare resolved paths); removed when the test passes
# or is skipped, kept for inspection when it fails.
make_scratch() {
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/zin-test.XXXXXX")
    scratch=$(cd "$scratch" && pwd -P)
    trap '_status=$?; if [ "$_status" -eq 0 ] || [ "$_status" -eq 77 ]; then rm -rf "$scratch"; else echo "scratch directory kept: $scratch" >&2; fi' EXIT
}

# The installation directories relative to the configured prefix, from the
# configured absolute constants: bin_rel, exec_rel, libexec_rel (each ending
# in '/', the latter two with target and version), tool_rel.
bin_rel=${ZT_BIN_PREFIX#"$ZT_INSTALL_PREFIX"/}
exec_rel=${ZT_EXEC_PREFIX#"$ZT_INSTALL_PREFIX"/}$ZT_TARGET/$ZT_VERSION/
libexec_rel=${ZT_LIBEXEC_PREFIX#"$ZT_INSTALL_PREFIX"/}$ZT_TARGET/$ZT_VERSION/
tool_rel=$ZT_TARGET/bin/
major=${ZT_VERSION%%.*}

# cache_value BUILD_DIR NAME: the value of the cache variable NAME of the
# build in BUILD_DIR.
cache_value() {
    sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"
}

# musl_notice BUILD_DIR: the licence notice of musl that the build installs
# with its programs when they are linked with musl; nothing otherwise.
musl_notice() {
    [ "$(cache_value "$1" ZIN_LINK)" != musl-static ] || cache_value "$1" ZIN_C_LIBRARY_NOTICE
}

# install_tree PREFIX: installs the build into PREFIX.
install_tree() {
    run_quiet cmake --install "$ZT_BUILD_DIR" --prefix "$1"
}

# place_stand_in PREFIX: puts an empty plugin file into the libexec directory
# of the tree at PREFIX and the stand-in tool, as ar, nm and ranlib, into its
# target tool directory.
place_stand_in() {
    : >"$1/$libexec_rel$ZT_PLUGIN"
    for _tool in ar nm ranlib; do
        cp "$ZT_STAND_IN" "$1/$tool_rel$_tool"
    done
}

# The path by which a wrapper in PREFIX/bin reaches the tool directory and
# the plugin: its own directory, then the configured directories made
# relative to the configured bin directory, unresolved.
up_from_bin=$(echo "$bin_rel" | sed 's|[^/][^/]*/|../|g')
relocated_tool_path() { # PREFIX TOOL
    echo "$1/$bin_rel$up_from_bin$exec_rel$ZT_TOOL_DIR_RELATIVE$tool_rel$2"
}
relocated_plugin_path() { # PREFIX
    echo "$1/$bin_rel$up_from_bin$libexec_rel$ZT_PLUGIN"
}

# check_wrappers_run PREFIX AR NM RANLIB: the wrappers of the tree at PREFIX,
# started (with PATH=/nonexistent) by the names AR, NM and RANLIB in its bin
# directory, run the tree's tools with its plugin and their arguments.
check_wrappers_run() {
    _plugin=$(relocated_plugin_path "$1")
    run_to "$scratch/ar" target_env PATH=/nonexistent "$1/$bin_rel$2" rcs libx.a a.o
    check_lines "$scratch/ar" "$(relocated_tool_path "$1" ar)" --plugin "$_plugin" -rcs libx.a a.o
    run_to "$scratch/nm" target_env PATH=/nonexistent "$1/$bin_rel$3" -A a.o
    check_lines "$scratch/nm" "$(relocated_tool_path "$1" nm)" --plugin "$_plugin" -A a.o
    run_to "$scratch/ranlib" target_env PATH=/nonexistent "$1/$bin_rel$4" libx.a
    check_lines "$scratch/ranlib" "$(relocated_tool_path "$1" ranlib)" --plugin "$_plugin" libx.a
}
