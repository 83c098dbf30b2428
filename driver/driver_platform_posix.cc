// SPDX-License-Identifier: Apache-2.0
// The driver's host-dependent steps on POSIX hosts.
#include <csignal>

#include "driver/driver_platform.h"

void driver_utf8_arguments(int *argc, char ***argv) {
    // POSIX hands the bytes over as they were given.
    (void)argc;
    (void)argv;
}

void driver_reset_child_signal() {
    // Only the disposition is reset: no handler.
    std::signal(SIGCHLD, SIG_DFL);
}
