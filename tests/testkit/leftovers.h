// SPDX-License-Identifier: Apache-2.0
// What a test left behind: descriptors it opened or closed, descendants not
// reaped, files in the directories it watches. Taken at its start, checked at
// its end, and in the fault walks after every run.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace kit {

// What this process held when the watch began.
struct Snapshot {
    std::set<int> descriptors;                  // open in this process
    std::vector<std::string> directories;       // watched for new entries
    std::vector<std::set<std::string>> entries; // of each watched directory
    bool reaper = false;                        // orphaned descendants come back to this process
};

// What was left since a snapshot. Taken: the descendants are reaped, the files removed.
struct Leftovers {
    std::vector<int> opened;        // descriptors open now and not at the snapshot
    std::vector<int> closed;        // descriptors open at the snapshot and closed now
    std::vector<int> statuses;      // raw wait statuses of the descendants reaped
    int killed = 0;                 // of those, still running after the wait and killed
    std::vector<std::string> files; // new entries of the watched directories, as paths
};

// The snapshot of now, watching `directories`. Makes this process the reaper
// of its orphaned descendants where it can (qemu-user does not emulate it), so
// that what a run's children leave is seen too; `reaper` says whether it is.
Snapshot take_snapshot(const std::vector<std::string> &directories = {});

// Takes what was left since `before`: reaps every descendant, waiting up to
// `wait_ms` for those still running (then killed), and removes every new entry
// of the watched directories, so that the next run starts clean.
Leftovers take_leftovers(const Snapshot &before, int wait_ms = 0);

// The leftovers in words, one kind per line; "" when nothing was left.
std::string describe(const Leftovers &left);

// describe(take_leftovers(before)): what a test left behind, "" when nothing.
std::string left_behind(const Snapshot &before);

} // namespace kit
