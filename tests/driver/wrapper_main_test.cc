// SPDX-License-Identifier: Apache-2.0
// wrapper_main called directly, for what a program cannot be started with.
#include "driver/wrapper_main.h"

#include <gtest/gtest.h>

#include "driver/personality.h"
#include "testkit/capture.h"

namespace {

TEST(WrapperMain, EmptyArgumentVectorPrintsTheUsage) {
    // Linux hands a program started with an empty vector the one element "",
    // so this case is only reachable in-process here.
    char *argv[] = {nullptr};
    for (const WrapperPersonality &personality : wrapper_personalities) {
        int result = -1;
        std::string message =
            kit::capture_stderr([&] { result = wrapper_main(personality, 0, argv); });
        EXPECT_EQ(1, result);
        EXPECT_EQ("Usage: zin-ar [-B prefix] ar arguments ...\n", message);
    }
}

} // namespace
