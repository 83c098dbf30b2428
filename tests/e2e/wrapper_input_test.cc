// SPDX-License-Identifier: Apache-2.0
// Awkward input: bytes a shell would mangle, a long -B directory. Huge PATH
// values are in tests/hardening/hostile_input_test.cc.
#include <climits>
#include <unistd.h>

#include "driver/build_config.h"
#include "testkit/files.h"
#include "testkit/wrapper_test.h"

namespace {

using namespace kit;

TEST_F(WrapperTest, ArgumentsPassThroughByteForByte) {
    std::vector<std::string> args = {"rcs", "with space", "new\nline", "\xff\xfe\x80 latin \xe9",
                                     "--",  "*",          "$HOME",     ""};
    std::vector<std::string> expected = args;
    expected[0] = "-rcs";
    expect_run(wrapper("zin-ar", args), tool_output("ar", expected), "", 0);
}

TEST_F(WrapperTest, LongBDirectoryIsSearched) {
    // As deep as the platform lets a path reach the files in it.
    std::string dir = scratch_;
    while (dir.size() + 120 < PATH_MAX - 40) {
        dir += "/d123456789012345678901234567890123456789012345678901234567890123456789";
    }
    provide(dir + "/", "nm");
    expect_run(wrapper("zin-nm", {"-B", dir}),
               lines({dir + "/nm", "--plugin", dir + "/" + plugin_file_name}), "", 0);
}

TEST_F(WrapperTest, BDirectoryLongerThanAnyPathIsPassedOver) {
    // 8 KiB: every lookup there fails (the name is too long) and the tree is used.
    std::string dir = scratch_;
    while (dir.size() < 8192) {
        dir += "/d123456789012345678901234567890123456789";
    }
    expect_run(wrapper("zin-nm", {"-B" + dir, "a.o"}), tool_output("nm", {"a.o"}), "", 0);
}

} // namespace
