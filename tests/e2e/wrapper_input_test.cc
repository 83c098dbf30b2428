// Awkward input: bytes a shell would mangle, a huge PATH, a long -B directory.
#include <climits>
#include <unistd.h>

#include "driver/build_config.h"
#include "e2e/e2e_support.h"

namespace e2e {
namespace {

TEST_F(WrapperTest, ArgumentsPassThroughByteForByte) {
    std::vector<std::string> args = {"rcs", "with space", "new\nline", "\xff\xfe\x80 latin \xe9",
                                     "--",  "*",          "$HOME",     ""};
    std::vector<std::string> expected = args;
    expected[0] = "-rcs";
    expect_run(wrapper("zin-ar", args), tool_output("ar", expected), "", 0);
}

TEST_F(WrapperTest, HugePathWithTensOfThousandsOfEntries) {
    // One environment string may not exceed 128 KiB on Linux (MAX_ARG_STRLEN),
    // so a PATH of 1 MiB cannot reach a program: this one has 30000 entries
    // before the one that holds the tool.
    ASSERT_EQ(0, unlink((tree_.tool_dir + "nm").c_str()));
    make_dirs(scratch_ + "/last");
    copy_file(built_program("stand_in_tool"), scratch_ + "/last/nm", 0755);
    std::string path;
    for (int i = 0; i < 30000; ++i) {
        path += "n:";
    }
    path += scratch_ + "/last";
    ASSERT_LT(path.size() + sizeof "PATH=", 128u * 1024);
    Command command = wrapper("zin-nm", {"a.o"});
    set_env(command, "PATH", path);
    expect_run(command, lines({scratch_ + "/last/nm", "--plugin", tree_plugin(tree_), "a.o"}), "",
               0);
}

TEST_F(WrapperTest, LongBDirectoryIsSearched) {
    // As deep as the platform lets a path reach the files in it.
    std::string dir = scratch_;
    while (dir.size() + 120 < PATH_MAX - 40) {
        dir += "/d123456789012345678901234567890123456789012345678901234567890123456789";
    }
    make_dirs(dir);
    write_file(dir + "/" + plugin_file_name, "", 0644);
    copy_file(built_program("stand_in_tool"), dir + "/nm", 0755);
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
} // namespace e2e
