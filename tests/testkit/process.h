// SPDX-License-Identifier: Apache-2.0
// Processes of the tests: forked children and the unprivileged user. On
// Windows hosts (process_windows.cc) only drop_emulator_reports exists.
#pragma once

#include <functional>
#include <string>

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

} // namespace kit
