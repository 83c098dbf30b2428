// wrapper_main called directly, for what a program cannot be started with.
#include <gtest/gtest.h>

#include "driver/personality.h"
#include "driver/stderr_capture.h"
#include "driver/wrapper_main.h"

namespace {

TEST(WrapperMain, EmptyArgumentVectorPrintsTheUsage) {
    // Linux hands a program started with an empty vector the one element "",
    // so this case is only reachable in-process here.
    char *argv[] = {nullptr};
    for (const WrapperPersonality &personality : wrapper_personalities) {
        int result = -1;
        std::string message =
            capture_stderr([&] { return wrapper_main(personality, 0, argv); }, &result);
        EXPECT_EQ(1, result);
        EXPECT_EQ("Usage: zin-ar [-B prefix] ar arguments ...\n", message);
    }
}

} // namespace
