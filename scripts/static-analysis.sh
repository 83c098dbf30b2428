#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Static analysis of the project's own code: clang-tidy with the checks of
# .clang-tidy over the compilation database, cppcheck, and the format of
# every source (scripts/format.sh --check, clang-format-16 with
# .clang-format). Any finding fails the run (exit status 1); all three run
# either way.
#
#   scripts/static-analysis.sh [--tests] [--build-dir DIR]
#
# clang-tidy and cppcheck check the product modules (product_modules in
# scripts/lib.sh; about half a minute); --tests adds tests/ (about ten
# minutes on two cores, GoogleTest's headers being what takes the time; not
# clean, and not part of CI). The build directory (default build/clang,
# configured with the clang preset when it has no compile_commands.json
# yet) gives the compilation database and the generated build_config.h;
# nothing needs to be built.
#
# The lists below (folder names, source paths, options) hold no blanks and
# are split on purpose where they are used unquoted.
# shellcheck disable=SC2086
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh
root=$(pwd)

with_tests=0
build_dir=build/clang
while [ $# -gt 0 ]; do
    case "$1" in
    --tests) with_tests=1 ;;
    --build-dir)
        [ $# -ge 2 ] || { echo "static-analysis.sh: --build-dir needs a directory" >&2; exit 2; }
        build_dir=$2
        shift
        ;;
    *)
        echo "usage: scripts/static-analysis.sh [--tests] [--build-dir DIR]" >&2
        exit 2
        ;;
    esac
    shift
done

scripts/install-deps.sh analysis
clang_tidy=$(command -v clang-tidy-14 || command -v clang-tidy) || {
    echo "static-analysis.sh: clang-tidy not found" >&2
    exit 1
}

if [ ! -f "$build_dir/compile_commands.json" ]; then
    if [ "$build_dir" = build/clang ]; then
        cmake --preset clang >/dev/null
    else
        echo "static-analysis.sh: $build_dir/compile_commands.json is missing; configure $build_dir first" >&2
        exit 1
    fi
fi
build_dir=$(cd "$build_dir" && pwd)

dirs=$product_modules
[ "$with_tests" -eq 1 ] && dirs="$dirs tests"

# The sources of those folders that the build compiles (main.cc once,
# though it is compiled once per program).
pattern=$(printf '%s\n' $dirs | sed "s|^|$root/|; s|$|/|" | paste -sd '|' -)
sources=$(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$build_dir/compile_commands.json" |
    grep -E "^($pattern)" | sort -u)
[ -n "$sources" ] || { echo "static-analysis.sh: no sources of $dirs in $build_dir" >&2; exit 1; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT

run_clang_tidy() {
    count=$(printf '%s\n' $sources | wc -l)
    echo "clang-tidy $("$clang_tidy" --version | sed -n 's/.*version \([0-9.]*\).*/\1/p'), $count files"
    # Two at a time, as the machine has two cores. WarningsAsErrors makes
    # every finding an error, so any file with one makes xargs fail.
    status=0
    printf '%s\n' $sources | xargs -P 2 -n 4 "$clang_tidy" -p "$build_dir" --quiet \
        --use-color=false >"$log" 2>&1 || status=1
    # Drop clang-tidy's tallies of the diagnostics it filtered out.
    grep -Ev '^[0-9]+ (warnings?|errors?)( and [0-9]+ (warnings?|errors?))? generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter=|^Error while processing' "$log" || true
    findings=$(grep -cE '^[^ ].*:[0-9]+:[0-9]+: (warning|error):' "$log" || true)
    echo "clang-tidy: $findings finding(s)"
    [ "$findings" -eq 0 ] && [ "$status" -eq 0 ]
}

run_cppcheck() {
    echo "$(cppcheck --version)"
    # ZIN_PERSONALITY picks the program in main.cc, which stops without it;
    # the build constants come from the generated header.
    # Suppressions, each with its reason:
    # readdirCalled: it recommends readdir_r, which POSIX has deprecated;
    #   readdir on a stream that one thread uses is safe.
    suppressions="--suppress=readdirCalled"
    if [ "$with_tests" -eq 1 ]; then
        test_options="--library=googletest -DZIN_CROSS_EMULATED=0 -I tests"
    else
        test_options=""
    fi
    cppcheck --enable=warning,performance,portability --error-exitcode=1 --inline-suppr \
        --std=c++20 --std=c11 --library=posix $test_options $suppressions \
        -I "$root" -I "$build_dir/generated" -DZIN_PERSONALITY=0 \
        --quiet -j 2 --template='{file}:{line}: {severity}: {message} [{id}]' $dirs
    echo "cppcheck: no findings"
}

step "clang-tidy" run_clang_tidy
step "cppcheck" run_cppcheck
step "clang-format" scripts/format.sh --check
steps_done
