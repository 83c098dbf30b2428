// What the hardening tests share: a launcher that starts a wrapper with
// closed standard descriptors, another user, a process limit or a preloaded
// library, and the checks that a run left nothing behind.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace hardening {

// How to start one program beyond its command line.
struct Launch {
    e2e::Command command;                   // argv, environment changes and working directory
    bool closed[3] = {false, false, false}; // start with descriptor 0, 1 or 2 closed
    int stdout_fd = -1;          // when >= 0: the program's standard output, not captured
    bool ignore_sigpipe = false; // start with SIGPIPE ignored (inherited by the tool)
    bool as_nobody = false;      // run as uid/gid 65534 (root passes every access check)
    bool no_processes = false;   // with as_nobody: RLIMIT_NPROC 0, so every fork fails
    int timeout_ms = 30000;      // then the program is killed and timed_out set
};

// What a launched program did. Output of a closed or redirected descriptor is empty.
struct Finished : e2e::Outcome {
    bool timed_out = false; // killed for running past its time
};

// Starts the program with only the descriptors asked for and waits for it.
// The base environment is the test's own without ZIN_*, STAND_IN_*, PROBE_*
// and LD_PRELOAD.
Finished launch(const Launch &launch);

// Starts the program with standard input from /dev/null, standard output on
// `out_fd` and standard error on `err_fd`, without waiting for it; -1 on failure.
int start(const e2e::Command &command, int out_fd, int err_fd, bool ignore_sigpipe = false);

// The exit code, or -1 when the program did not exit normally.
int exit_code(const Finished &finished);

// Makes this process the reaper of its orphaned descendants, so that a test
// can see what a run left behind; false where that cannot be (under qemu-user,
// which does not emulate it), and the caller then cannot check for leftovers.
bool become_subreaper();

// Reaps every descendant left over, waiting up to `wait_ms` for those still
// running; returns their raw statuses. Empty when nothing was left.
std::vector<int> reap_leftovers(int wait_ms);

// Names in a directory ("." and ".." left out).
std::set<std::string> entries(const std::string &directory);

// The whole content of a file; empty when it cannot be read.
std::string read_text(const std::string &path);

// The built probe tool (see probe_tool.c).
std::string probe_tool();

// Replaces ar, nm and ranlib of the tree with the probe tool.
void install_probe(const e2e::InstallTree &tree);

// The probe tool's descriptor listing for the given open descriptors.
std::string fd_listing(const std::vector<int> &fds);

} // namespace hardening
