// SPDX-License-Identifier: Apache-2.0
// The one launcher: starts a program with a chosen argument vector,
// environment, working directory, descriptors and user, and collects what it did.
// On Windows hosts (launch_windows.cc) a raw status is the 32-bit exit code,
// signals and users cannot be asked for, and start_program and find_on_path
// do not exist.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kit {

// One change to the environment a program inherits; no value unsets the name.
struct EnvChange {
    std::string name;
    std::optional<std::string> value;
};

// A program to start and how.
struct Launch {
    std::string executable;                 // path handed to execve, never searched
    std::vector<std::string> argv{};        // argv[0] included; empty for an empty vector
    std::vector<EnvChange> env{};           // applied in order over the base environment
    std::string cwd{};                      // empty: the caller's own
    bool closed[3] = {false, false, false}; // start with descriptor 0, 1 or 2 closed
    int stdin_fd = -1;                      // >= 0: standard input comes from there
    int stdout_fd = -1;                     // >= 0: standard output goes there, not captured
    int stderr_fd = -1;                     // >= 0: standard error goes there, not captured
    bool ignore_sigpipe = false;            // start with SIGPIPE ignored, as a caller may
    bool ignore_sigchld = false;            // start with SIGCHLD ignored, as some callers do
    bool as_nobody = false;                 // as uid/gid 65534: root passes every access check
    bool no_processes = false;              // with as_nobody: RLIMIT_NPROC 0, so every fork fails
    int timeout_ms = 60000;                 // then the program is killed and timed_out set
};

// What a launched program did. Its standard input was /dev/null unless given; a closed or
// redirected descriptor's output reads as "".
struct Outcome {
    std::string out;
    std::string err;
    int wait_status = -1; // raw status from waitpid; -1 when it could not be started
    bool timed_out = false;
};

// Starts the program with only the descriptors asked for and waits for it.
// The base environment is this process's own without the variables that
// steer the wrappers, the stand-in tool and the fault library (ZIN_*,
// STAND_IN_*, LD_PRELOAD). The launcher's child ends with 126 when it cannot
// set up, cannot_switch_user (testkit/process.h) and 127 when execve fails.
// In a cross build an executable built for the target runs under the
// emulator, with the same argv[0] and environment; every other program
// (the stand-in tool, the build machine's own) runs as it is.
Outcome run_program(const Launch &launch);

// Starts the program as run_program does without waiting for it; output not
// sent to stdout_fd or stderr_fd goes to /dev/null. The pid, or -1.
pid_t start_program(const Launch &launch);

// The exit code in a raw wait status, or -1 when the process did not exit normally.
int exit_code(int wait_status);

// Adds or replaces an environment setting of the launch.
void set_env(Launch &launch, const std::string &name, const std::string &value);

// Unsets a variable for the launch.
void unset_env(Launch &launch, const std::string &name);

// Absolute path of `name` on this process's PATH, or "" when it is not there.
std::string find_on_path(const std::string &name);

// The launch as a reader can replay it: working directory, environment
// changes and argv, with unprintable bytes escaped.
std::string describe(const Launch &launch);

} // namespace kit
