// SPDX-License-Identifier: Apache-2.0
// Passing the tool's exit code on whole, as Windows reports it.
#include <cinttypes>
#include <cstdio>

#include "driver/exit_status.h"

int wrapper_exit_status(int wait_status, const char *tool_path) {
    // The status is the 32-bit exit code the back end got from the process.
    auto exit_code = static_cast<std::uint32_t>(wait_status);
    if (const char *name = exception_name(exit_code); name != nullptr) {
        std::fprintf(stderr, "%s terminated with exception 0x%08" PRIX32 " [%s]\n", tool_path,
                     exit_code, name);
    }
    return wait_status;
}
