#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Builds the start-up benchmark optimised (workflow preset bench, in
# build/bench) and runs it. Arguments go to bench/spawn, e.g. --rounds 3000.
# Exit status: 0 pass; 1 a case did not hand its tool the expected command
# line or status, or zin-ar exceeded a budget of system calls, minor faults or
# peak memory (bench/spawn_report.cc); 2 the benchmark could not be built or
# run. Times are reported, never judged: they follow the machine and its load.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh bench || exit 2
cmake --workflow --preset bench >/dev/null || exit 2
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) (other work on the machine widens the times' spread)"
exec build/bench/bench/spawn "$@"
