#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The wrappers on a real LTO toolchain, from a clean checkout: installs what
# is missing, builds the release preset, installs into a throwaway prefix,
# moves that prefix, puts LLVM's gold plugin in as the toolchain's plugin and
# runs zin-ar, zin-nm and zin-ranlib with GNU binutils on clang -flto objects.
#
# Where it can, it runs in a private mount namespace with the system's
# default plugin directory hidden, so that binutils sees only the plugin the
# wrappers pass and the verdict means something. The namespace, the hidden
# directory, the installation layout and the tool checks are those of the
# toolchain tests (tests/toolchain/lib.sh).
set -eu
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
cd "$(dirname "$self")/.."
root=$(pwd)
build=build/release

step_number=${ZIN_DEMO_STEP:-0}
step_title="getting started"
work=""

# Says loudly which step failed, whatever made the demo stop.
on_exit() {
    status=$1
    if [ "$status" -ne 0 ]; then
        printf '\nDEMO FAILED in step %s (%s), exit status %s.\n' "$step_number" "$step_title" "$status" >&2
        [ -z "$work" ] || printf 'Its files are kept in %s.\n' "$work" >&2
    fi
}
trap 'on_exit $?' EXIT

# Prints the heading of the next step.
step() {
    step_number=$((step_number + 1))
    step_title=$*
    printf '\n== %s. %s\n' "$step_number" "$*"
}

# Shows a command, then runs it.
show() {
    printf '$ %s\n' "$*"
    "$@"
}

# show_to FILE COMMAND...: shows a command, runs it with its standard output
# in FILE, then shows FILE.
show_to() {
    out=$1
    shift
    printf '$ %s\n' "$*"
    "$@" >"$out"
    cat "$out"
}

# Shows a command and runs it with its output in a log, shown on failure.
quietly() {
    printf '$ %s\n' "$*"
    log=${work:-/tmp}/demo-step-$step_number.log
    "$@" >"$log" 2>&1 || {
        tail -n 30 "$log" >&2
        die "'$*' failed (whole output in $log)"
    }
}

# Ends the demo with a message.
die() {
    printf '\nERROR: %s\n' "$*" >&2
    exit 1
}

# Shows the symbol index of an archive as nm -s prints it, "(none)" when
# there is none. nm reads the index without a plugin.
show_index() {
    printf '$ nm -s %s   (the index part)\n' "$1"
    archive_index "$1" "$1.index"
    if [ -s "$1.index" ]; then sed 's/^/    /' "$1.index"; else echo "    (none)"; fi
}

# Whether the archive's index names SYMBOL.
index_has() { # ARCHIVE SYMBOL
    grep -x "$2 in .*" "$1.index" >/dev/null
}

# The facts of the release build, as the toolchain tests get them from
# ctest, and the tests' helpers over them. What would skip a test stops the
# demo.
load_test_helpers() {
    ZT_BUILD_DIR=$root/$build
    ZT_INSTALL_PREFIX=$(cache_value CMAKE_INSTALL_PREFIX | sed 's|/*$||')
    ZT_BIN_PREFIX=$(cache_value ZIN_INSTALL_BIN_PREFIX)
    ZT_EXEC_PREFIX=$(cache_value ZIN_INSTALL_EXEC_PREFIX)
    ZT_LIBEXEC_PREFIX=$(cache_value ZIN_INSTALL_LIBEXEC_PREFIX)
    ZT_TARGET=$(cache_value ZIN_TARGET_MACHINE)
    ZT_VERSION=$(cache_value ZIN_TOOLCHAIN_VERSION)
    ZT_PLUGIN=$(cache_value ZIN_PLUGIN_FILE_NAME)
    zt_tests_dir=$root/tests
    . "$zt_tests_dir/toolchain/lib.sh"
    skip() { die "$*"; }
}
cache_value() {
    sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"
}

if [ "${ZT_IN_PRIVATE_NAMESPACE:-}" != 1 ]; then
    step "Install what is missing (Debian packages)"
    show scripts/install-deps.sh

    step "Build the wrappers (release preset)"
    quietly cmake --workflow --preset release
    load_test_helpers
    echo "Built for $ZT_TARGET, toolchain $ZT_VERSION, configured for $ZT_INSTALL_PREFIX."

    # The demo goes on in the namespace, from the next step; this
    # comes back only when no such namespace can be made.
    ZIN_DEMO_STEP=$step_number
    export ZIN_DEMO_STEP
    enter_private_namespace "$self" || no_namespace=$why
else
    load_test_helpers
fi

step "Hide the system's default plugin directory"
[ -z "${no_namespace:-}" ] || echo "$no_namespace."
isolated=no
if hide_plugin_dir; then
    isolated=yes
    echo "binutils can only use the plugin that the wrappers put on its command line."
else
    echo "$why."
    echo "The demo still runs, but an archive index may come from a plugin that binutils"
    echo "finds in $bfd_plugin_dir on its own, not from the one the wrappers pass."
fi

require_toolchain
work=$(mktemp -d "${TMPDIR:-/tmp}/zin-demo.XXXXXX")
work=$(cd "$work" && pwd -P)

step "Install into a throwaway prefix"
quietly cmake --install "$build" --prefix "$work/first-place"
show ls "$work/first-place/bin"

step "Move the whole installation somewhere else"
show mkdir -p "$work/moved"
show mv "$work/first-place" "$work/moved/toolchain"
prefix=$work/moved/toolchain
[ ! -e "$work/first-place" ] || die "the first place still exists"
echo "The tree now lives in $prefix; its first place is gone."
PATH=$prefix/bin:/usr/bin:/bin
export PATH
show which zin-ar zin-nm zin-ranlib

step "Put LLVM's gold plugin in as the toolchain's plugin"
show ln -s "$llvm_plugin" "$prefix/$libexec_rel$ZT_PLUGIN"

step "Compile two small C files with clang -flto"
cd "$work"
cat >calc.c <<'EOF'
int counter = 40;
int add(int value) { return value * 3 + counter; }
EOF
cat >main.c <<'EOF'
#include <stdio.h>
extern int counter;
int add(int value);
int main(void) { printf("add(4) = %d, counter = %d\n", add(4), counter); return 0; }
EOF
show cat calc.c main.c
show clang -flto -O2 -c calc.c main.c
[ "$(od -An -c -N2 calc.o | tr -d ' ')" = BC ] || die "calc.o is not LLVM bitcode"
echo "calc.o and main.o hold LLVM bitcode, not machine code."

step "zin-ar: archive the bitcode object"
if [ "$isolated" = yes ]; then
    echo "For comparison, plain ar here:"
    show ar rcs plain.a calc.o
    show_index plain.a
    [ ! -s plain.a.index ] || die "plain ar made an index although no plugin is visible"
fi
show zin-ar rcs libcalc.a calc.o
show_index libcalc.a
index_has libcalc.a add && index_has libcalc.a counter ||
    die "the index of libcalc.a lacks add or counter"
show ar t libcalc.a

step "zin-nm: list the symbols of the bitcode object"
if [ "$isolated" = yes ]; then
    echo "For comparison, plain nm here:"
    ! show nm calc.o || die "plain nm read bitcode although no plugin is visible"
fi
show_to symbols zin-nm calc.o
grep -E ' T add$' symbols >/dev/null && grep -E ' [A-Z] counter$' symbols >/dev/null ||
    die "zin-nm did not list add and counter"

step "zin-ranlib: index an archive that was made without one"
show ar rcS noindex.a calc.o
show_index noindex.a
[ ! -s noindex.a.index ] || die "ar rcS made an index"
show zin-ranlib noindex.a
show_index noindex.a
index_has noindex.a add && index_has noindex.a counter ||
    die "zin-ranlib did not index add and counter"

step "Link with GNU ld (it refuses an archive without an index) and run"
if [ "$isolated" = yes ]; then
    echo "For comparison, the archive plain ar made:"
    ! show clang -flto -O2 -fuse-ld=bfd main.o plain.a -o plain-demo ||
        die "GNU ld linked from an archive without an index"
fi
show clang -flto -O2 -fuse-ld=bfd main.o libcalc.a -o calc-demo
show_to program.out ./calc-demo
[ "$(cat program.out)" = "add(4) = 52, counter = 40" ] || die "the program printed the wrong result"
show clang -flto -O2 -fuse-ld=bfd main.o noindex.a -o calc-demo-2
[ "$(./calc-demo-2)" = "add(4) = 52, counter = 40" ] || die "the second program printed the wrong result"

cd - >/dev/null
rm -rf "$work"
work=""
if [ "$isolated" = yes ]; then
    echo
    echo "VERDICT: PASS - from a moved installation, zin-ar, zin-nm and zin-ranlib gave GNU binutils the LLVM plugin; the indexes and the linked program are right, with the system's plugin directory hidden."
else
    echo
    echo "VERDICT: PASS (unisolated) - the wrappers ran from a moved installation and the program linked, but the indexes may come from $bfd_plugin_dir rather than from the plugin the wrappers passed."
fi
