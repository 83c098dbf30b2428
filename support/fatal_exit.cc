// SPDX-License-Identifier: Apache-2.0
// The fatal exit with its clean-up hook.
#include "support/fatal_exit.h"

#include <cstdlib>

void (*fatal_exit_hook)() = nullptr;

void fatal_exit(int status) {
    if (fatal_exit_hook != nullptr) {
        fatal_exit_hook();
    }
    std::exit(status);
}
