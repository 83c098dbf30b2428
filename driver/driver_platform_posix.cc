// SPDX-License-Identifier: Apache-2.0
// The driver's host-dependent steps on POSIX hosts.
#include <csignal>

#include "driver/driver_platform.h"

// The Windows version replaces *argc and *argv: one signature for both.
// NOLINTNEXTLINE(readability-non-const-parameter)
bool driver_utf8_arguments(const char *program_name, int *argc, char ***argv) {
    // POSIX hands the bytes over as they were given.
    (void)program_name;
    (void)argc;
    (void)argv;
    return true;
}

void driver_reset_child_signal() {
    // Only the disposition is reset: no handler.
    std::signal(SIGCHLD, SIG_DFL);
}
