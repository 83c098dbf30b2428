#!/bin/sh
# valgrind memcheck over the unit tests of the pipeline, lookup, support and
# driver modules: any memory error, or any block definitely lost, fails.
# Only each test process itself is checked: the programs it starts run
# natively (no --trace-children), and forked copies are quiet. Tests linked
# with the fault library (it replaces malloc, as valgrind does) are left out.
# Uses its own Debug build in build-valgrind/ (override: ZIN_VALGRIND_BUILD).
set -eu
cd "$(dirname "$0")/.."

build=${ZIN_VALGRIND_BUILD:-build-valgrind}
tests="search_list_test path_names_test relocated_prefix_test
  support_checked_alloc_test support_join_strings_test support_temp_file_test support_char_tables_test
  pex_stage_test pex_results_test pex_streams_test unix_backend_test pipeline_test driver_test"

command -v valgrind >/dev/null || { echo "valgrind.sh: valgrind is not installed" >&2; exit 1; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DZIN_WERROR=ON >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $tests >/dev/null

# valgrind keeps descriptors of its own above the limit and refuses to lower
# RLIMIT_NOFILE, which this case needs to leave no room for a pipe.
skip_unix_backend="-UnixBackendTest.ExecFailureWithoutThePipe"

failed=""
start=$(date +%s)
for test in $tests; do
    binary=$(find "$build/tests" -type f -name "$test" -perm -u+x | head -n 1)
    log="$build/valgrind-$test.log"
    filter="*"
    [ "$test" = unix_backend_test ] && filter="$skip_unix_backend"
    t0=$(date +%s)
    # The verdict is the test's own status and valgrind's summary for the test
    # process; an exit code forced by valgrind would also hit forked copies,
    # which may end without freeing what they hold.
    status=0
    valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \
        --show-leak-kinds=definite --child-silent-after-fork=yes --log-file="$log" \
        "$binary" --gtest_brief=1 --gtest_filter="$filter" >"$log.out" 2>&1 || status=$?
    errors=$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' "$log" | tail -n 1)
    lost=$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes.*/\1/p' "$log" | tail -n 1)
    result=clean
    if [ "$status" -ne 0 ] || [ "${errors:-1}" != 0 ]; then
        result=FAILED
        failed="$failed $test"
    fi
    printf '%-28s %-7s errors %-3s definitely lost %-6s %4ss\n' "$test" "$result" \
        "${errors:-?}" "${lost:-0}" "$(($(date +%s) - t0))"
done
echo "valgrind.sh: $(($(date +%s) - start)) s in all"
if [ -n "$failed" ]; then
    echo "valgrind.sh: failed:$failed (logs in $build/valgrind-*.log*)" >&2
    exit 1
fi
