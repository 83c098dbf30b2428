#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Line and branch coverage of the product modules (product_modules in
# scripts/lib.sh) by the test suite: builds the coverage preset (g++ with
# gcov counters), clears the counters, runs the tests (test preset
# coverage) and prints the coverage of each module and of all of them. The
# figures of each file are kept in build/coverage/coverage.csv.
#
# Branches are counted as gcovr does with --exclude-throw-branches and
# --exclude-unreachable-branches: the product never throws, and the
# compiler's exception edges of the tests' code would only blur it.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

build=build/coverage

# Removes the counts of earlier runs and puts an empty counter file, which
# anyone may write, beside every compiled object: some tests run the
# wrappers as an unprivileged user, which could not create the file in the
# build tree, would lose its counts and would say so on the standard error
# the test checks.
clear_counters() {
    find "$build" -name '*.gcda' -exec rm -f {} +
    find "$build" -name '*.gcno' | while read -r notes; do
        counters=${notes%.gcno}.gcda
        : >"$counters"
        chmod 666 "$counters"
    done
}

# Prints lines and branches covered per module and in all, from gcovr's
# per-file figures. Counter files still empty belong to objects no test ran.
report() {
    find "$build" -name '*.gcda' -size 0 -exec rm -f {} +
    filters=""
    for dir in $product_modules; do
        filters="$filters --filter $dir/"
    done
    # shellcheck disable=SC2086
    gcovr --root . --object-directory "$build" $filters -j 2 \
        --exclude-directories "$build/(.*/)?CMakeFiles/[0-9.]+" \
        --exclude-throw-branches --exclude-unreachable-branches \
        --csv "$build/coverage.csv"
    awk -F, -v dirs="$product_modules" '
        NR == 1 { next }
        {
            dir = $1; sub("/.*", "", dir)
            lines[dir] += $2; lines_hit[dir] += $3
            branches[dir] += $5; branches_hit[dir] += $6
            lines["in all"] += $2; lines_hit["in all"] += $3
            branches["in all"] += $5; branches_hit["in all"] += $6
        }
        function share(hit, total) {
            return total ? sprintf("%5.1f %% (%d of %d)", 100 * hit / total, hit, total) : "    - (none)"
        }
        END {
            printf "%-8s  %-24s  %s\n", "", "lines", "branches"
            n = split(dirs " in_all", names, " ")
            for (i = 1; i <= n; i++) {
                name = names[i] == "in_all" ? "in all" : names[i]
                printf "%-8s  %-24s  %s\n", name, share(lines_hit[name], lines[name]),
                    share(branches_hit[name], branches[name])
            }
        }' "$build/coverage.csv"
}

step "install dependencies" scripts/install-deps.sh coverage
step "coverage: build" cmake --workflow --preset coverage
step "coverage: clear the counters" clear_counters
# The test preset leaves out the wrappers' fault walks: they fail each
# allocation a wrapper run makes, and in this build the counters' own
# writing at exit allocates too, and crashes when that fails.
step "coverage: every test" ctest --preset coverage
step "coverage: report" report
steps_done
