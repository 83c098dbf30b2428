// SPDX-License-Identifier: Apache-2.0
// wrapper_exit_status of Windows hosts: the exit code passes whole, and an
// exception code is also reported.
#include <cstdint>
#include <gtest/gtest.h>
#include <string>

#include "driver/exit_status.h"
#include "testkit/capture.h"

namespace {

TEST(WrapperExitStatus, ExitCodesPassWholeAndExceptionsAreReported) {
    struct Row {
        std::uint32_t code;
        std::string message;
    };
    const Row rows[] = {
        {0, ""},
        {3, ""},
        {300, ""},
        {0x12345678, ""},
        {0xFFFFFFFF, ""},
        {0xC0000005, "C:\\bin\\tool.exe terminated with exception 0xC0000005 [access violation]\n"},
        {0xC00000FD, "C:\\bin\\tool.exe terminated with exception 0xC00000FD [stack overflow]\n"},
        {0xC0000001,
         "C:\\bin\\tool.exe terminated with exception 0xC0000001 [unknown exception]\n"},
    };
    for (const Row &row : rows) {
        int status = static_cast<int>(row.code);
        int result = -1;
        std::string message =
            kit::capture_stderr([&] { result = wrapper_exit_status(status, "C:\\bin\\tool.exe"); });
        EXPECT_EQ(status, result) << std::hex << row.code;
        EXPECT_EQ(row.message, message) << std::hex << row.code;
    }
}

} // namespace
