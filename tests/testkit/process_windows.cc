// SPDX-License-Identifier: Apache-2.0
// The processes of the tests on Windows hosts: no fork, no users to switch
// to and no reaping, so only what the emulator adds and the open descriptors.
#include <io.h>

#include "testkit/process.h"

namespace kit {

namespace {

// The C runtime's limit on descriptors (msvcrt's _NHANDLE_).
constexpr int max_descriptors = 2048;

} // namespace

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

std::set<int> open_descriptors() {
    std::set<int> result;
    for (int fd = 0; fd < max_descriptors; ++fd) {
        if (_get_osfhandle(fd) != -1) {
            result.insert(fd);
        }
    }
    return result;
}

} // namespace kit
