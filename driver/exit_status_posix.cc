// SPDX-License-Identifier: Apache-2.0
// Mapping the tool's raw wait status to the wrapper's exit status on POSIX hosts.
#include <cstdio>
#include <string.h>
#include <sys/wait.h>

#include "driver/exit_status.h"

namespace {

// Whether a status that reports a termination by a signal also reports a core dump.
bool core_dumped(int wait_status) {
#ifdef WCOREDUMP
    return WCOREDUMP(wait_status);
#else
    (void)wait_status;
    return false;
#endif
}

} // namespace

int wrapper_exit_status(int wait_status, const char *tool_path) {
    if (wait_status == 0) {
        return 0;
    }
    if (WIFSTOPPED(wait_status)) {
        return 1;
    }
    if (WIFEXITED(wait_status)) {
        return WEXITSTATUS(wait_status);
    }
#ifdef WIFCONTINUED
    if (WIFCONTINUED(wait_status)) {
        return 1;
    }
#endif
    if (WIFSIGNALED(wait_status)) {
        int signal_number = WTERMSIG(wait_status);
        const char *description = strsignal(signal_number);
        std::fprintf(stderr, "%s terminated with signal %d [%s]%s\n", tool_path, signal_number,
                     description != nullptr ? description : "",
                     core_dumped(wait_status) ? ", core dumped" : "");
    }
    return 1;
}
