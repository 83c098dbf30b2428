// SPDX-License-Identifier: Apache-2.0
// Processes of the tests: forked children, the unprivileged user, the
// descriptors this process holds and the descendants it is left with. On
// Windows hosts (process_windows.cc) only drop_emulator_reports and
// open_descriptors exist.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace kit {

// The unprivileged user and group the permission cases run as: root, whom
// the tests run as, passes every access check whatever the mode bits say.
constexpr unsigned nobody_id = 65534;

// Exit status of a child that could not switch to the unprivileged user.
constexpr int cannot_switch_user = 125;

// Makes this process uid and gid 65534 without supplementary groups; true
// without a change when it is not root (the mode bits already apply). Safe
// in a forked child.
bool become_nobody();

// What a forked child did.
struct ChildOutcome {
    int wait_status = -1; // raw status from waitpid
    std::string err;      // everything the child wrote to its standard error
};

// Runs `body` in a forked child, as the unprivileged user when `as_nobody`,
// and waits for it; the child ends with body's result as its exit status.
// Its standard error is taken without the emulator's reports.
ChildOutcome run_in_child(const std::function<int()> &body, bool as_nobody = false);

// Removes from a program's standard error what the emulator of a cross build
// wrote there about the program's fatal signal; the program wrote none of it.
void drop_emulator_reports(std::string &err);

// The descriptors open in this process.
std::set<int> open_descriptors();

// Makes this process the reaper of its orphaned descendants, so that a test
// can see what a run left behind; false where that cannot be (qemu-user does
// not emulate it), and leftovers then cannot be checked.
bool become_subreaper();

// Reaps every descendant left over, waiting up to `wait_ms` for those still
// running (then killed, a failure); their raw statuses, empty when none was left.
std::vector<int> reap_leftovers(int wait_ms);

} // namespace kit
