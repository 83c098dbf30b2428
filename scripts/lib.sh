# SPDX-License-Identifier: Apache-2.0
# Helpers of the scripts and the facts they share (POSIX sh, sourced after
# `set -eu` from the repository root).
#
# A script is a list of steps with one failure rule: a failed step marks the
# run failed, the steps after it still run, and steps_done ends the script
# with the time and outcome of each step, failing if any step failed.

# The product's modules: their folders, and the ctest labels of their unit
# tests. Coverage, static analysis, valgrind and the format check take them
# from here.
product_modules="driver lookup pex support"

steps_started=$(date +%s)
steps_summary=""
steps_failed=""

# step NAME COMMAND...: runs COMMAND (a program or a shell function) as the
# step NAME. It runs in a subshell with `set -e` in force, which a condition
# (`if`, `||`) would switch off, so a function stops at its first failure.
step() {
    _step_name=$1
    shift
    echo "=== $_step_name"
    _step_t0=$(date +%s)
    set +e
    (
        set -e
        "$@"
    )
    _step_status=$?
    set -e
    if [ "$_step_status" -eq 0 ]; then
        _step_outcome=ok
    else
        _step_outcome=FAILED
        steps_failed="${steps_failed:+$steps_failed, }$_step_name"
    fi
    _step_seconds=$(($(date +%s) - _step_t0))
    echo "=== $_step_name: $_step_outcome after ${_step_seconds} s"
    steps_summary="$steps_summary$(printf '%-36s %-7s %5s s' "$_step_name" "$_step_outcome" "$_step_seconds")
"
}

# steps_done: prints each step's outcome and time, then exits: 0 when every
# step passed, 1 otherwise.
steps_done() {
    echo "=== $(basename "$0"): steps"
    printf '%s' "$steps_summary"
    printf '%-36s %-7s %5s s\n' "in all" "" "$(($(date +%s) - steps_started))"
    if [ -n "$steps_failed" ]; then
        echo "$(basename "$0"): failed: $steps_failed" >&2
        exit 1
    fi
    exit 0
}
