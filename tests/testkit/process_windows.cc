// SPDX-License-Identifier: Apache-2.0
// The processes of the tests on Windows hosts: no fork and no users to
// switch to, so only what the emulator adds.
#include "testkit/process.h"

namespace kit {

void drop_emulator_reports(std::string &err) {
    if (!ZIN_CROSS_EMULATED) {
        return;
    }
    // Wine's own line when an exception nobody handled stops a program, even
    // with its debugger unavailable.
    for (std::size_t at; (at = err.find("wine: Unhandled ")) != std::string::npos;) {
        std::size_t end = err.find('\n', at);
        err.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
    }
}

} // namespace kit
