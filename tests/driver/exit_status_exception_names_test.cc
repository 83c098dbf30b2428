// SPDX-License-Identifier: Apache-2.0
// The names of Windows exception codes, on every host: the codes a tool
// is most often stopped by, the ends of the range, and exit codes outside it.
#include <cstdint>
#include <gtest/gtest.h>
#include <string>

#include "driver/exit_status.h"

namespace {

TEST(ExceptionName, NamedUnknownAndNoException) {
    struct Row {
        std::uint32_t code;
        const char *name; // null: not an exception
    };
    const Row rows[] = {
        {0xC0000005, "access violation"},
        {0xC00000FD, "stack overflow"},
        {0xC0000409, "fail-fast"},
        {0xC0000094, "integer division by zero"},
        {0xC0000095, "integer overflow"},
        {0xC000001D, "illegal instruction"},
        {0xC0000096, "privileged instruction"},
        {0xC0000374, "heap corruption"},
        {0xC000008C, "array bounds exceeded"},
        {0xC000008E, "floating-point division by zero"},
        {0xC0000093, "floating-point underflow"},
        {0xC0000135, "DLL not found"},
        {0xC000013A, "interrupted by Ctrl+C"},
        {0xC0000000, "unknown exception"},
        {0xC0000004, "unknown exception"},
        {0xCFFFFFFF, "unknown exception"},
        {0, nullptr},
        {300, nullptr},
        {0x12345678, nullptr},
        {0x80000003, nullptr}, // a breakpoint: a warning, not an error
        {0xBFFFFFFF, nullptr},
        {0xD0000000, nullptr},
        {0xE06D7363, nullptr}, // customer bit set
        {0xFFFFFFFF, nullptr}, // exit(-1)
    };
    for (const Row &row : rows) {
        const char *name = exception_name(row.code);
        EXPECT_EQ(row.name == nullptr, name == nullptr) << std::hex << row.code;
        if (row.name != nullptr && name != nullptr) {
            EXPECT_EQ(std::string(row.name), name) << std::hex << row.code;
        }
    }
}

} // namespace
