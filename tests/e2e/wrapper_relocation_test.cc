// SPDX-License-Identifier: Apache-2.0
// A wrapper copied into a throwaway installation tree finds the tree's plugin
// and tool however it was started, with the paths exactly as it builds them.
#include <cstdio>
#include <unistd.h>

#include "driver/build_config.h"
#include "testkit/files.h"
#include "testkit/wrapper_test.h"

namespace {

using namespace kit;

TEST_F(WrapperTest, PathsKeepTheirClimbingSteps) {
    // The strings as the wrapper composes them, "../" steps included.
    std::string versioned = std::string(target_machine) + "/" + toolchain_version + "/";
    expect_run(wrapper("zin-ar", {"rcs", "libx.a", "a.o"}),
               lines({tree_.exec_dir + versioned + tool_dir_relative + target_machine + "/bin/ar",
                      "--plugin", tree_.libexec_dir + versioned + plugin_file_name, "-rcs",
                      "libx.a", "a.o"}),
               "", 0);
}

TEST_F(WrapperTest, DefaultLayoutGivesTheDocumentedPaths) {
    if (std::string(install_bin_prefix) != "/usr/local/bin/" ||
        std::string(install_libexec_prefix) != "/usr/local/libexec/zin13/zin/" ||
        std::string(install_exec_prefix) != "/usr/local/lib/zin13/zin/") {
        GTEST_SKIP() << "configured with other installation directories";
    }
    std::string versioned = std::string(target_machine) + "/" + toolchain_version + "/";
    expect_run(wrapper("zin-nm"),
               lines({tree_.root + "/bin/../lib/zin13/zin/" + versioned + "../../../../../" +
                          target_machine + "/bin/nm",
                      "--plugin",
                      tree_.root + "/bin/../libexec/zin13/zin/" + versioned + plugin_file_name}),
               "", 0);
}

TEST_F(WrapperTest, RelativeProgramPathFromAnotherDirectory) {
    make_dirs(at("elsewhere/deeper"));
    Launch launch = wrapper("zin-nm", {"a.o"});
    launch.cwd = at("elsewhere/deeper");
    launch.argv[0] = "../.." + tree_.bin_dir.substr(scratch_.size()) + "zin-nm";
    expect_run(launch, tool_output("nm", {"a.o"}), "", 0);
}

TEST_F(WrapperTest, SymbolicLinkOutsideTheTree) {
    make_dirs(at("links"));
    std::string link = at("links/zin-ar");
    ASSERT_EQ(0, symlink((tree_.bin_dir + "zin-ar").c_str(), link.c_str()));
    Launch launch = wrapper("zin-ar", {"t"});
    launch.executable = link;
    launch.argv[0] = link;
    expect_run(launch, tool_output("ar", {"-t"}), "", 0);
}

TEST_F(WrapperTest, BareNameFoundThroughPath) {
    // The first PATH entry holds a directory named like the wrapper: passed over.
    make_dirs(at("decoy/zin-ranlib"));
    Launch launch = wrapper("zin-ranlib", {"x.a"}, {{"PATH", at("decoy") + ":" + tree_.bin_dir}});
    launch.argv[0] = "zin-ranlib";
    expect_run(launch, tool_output("ranlib", {"x.a"}), "", 0);
}

TEST_F(WrapperTest, ExecPrefixNamesTheTreeForAProgramElsewhere) {
    make_dirs(at("elsewhere"));
    std::string copy = at("elsewhere/zin-ar");
    copy_file(built_programs().zin_ar, copy, 0755);
    Launch launch = wrapper("zin-ar", {"t"});
    launch.executable = copy;
    launch.argv[0] = copy;
    // Without the prefix the copy relocates next to itself and finds nothing.
    expect_run(launch, "", copy + ": Cannot find plugin '" + plugin_file_name + "'\n", 1);
    set_env(launch, "ZIN_EXEC_PREFIX", tree_.bin_dir);
    expect_run(launch, tool_output("ar", {"-t"}), "", 0);
}

TEST_F(WrapperTest, ExecPrefixIsJoinedWithoutSeparator) {
    // "<bin>/x" + "zin-nm" names "<bin>/xzin-nm", which lies in the tree's bin
    // directory; "<bin>/x/zin-nm" would not.
    Launch launch = wrapper("zin-nm", {}, {{"ZIN_EXEC_PREFIX", tree_.bin_dir + "x"}});
    launch.argv[0] = "somewhere-else";
    expect_run(launch, tool_output("nm", {}), "", 0);
}

TEST_F(WrapperTest, EmptyExecPrefixMakesTheBareNameTheProgramPath) {
    make_dirs(at("elsewhere"));
    std::string copy = at("elsewhere/zin-nm");
    copy_file(built_programs().zin_nm, copy, 0755);
    Launch launch = wrapper("zin-nm", {"a.o"}, {{"ZIN_EXEC_PREFIX", ""}, {"PATH", tree_.bin_dir}});
    launch.executable = copy;
    launch.argv[0] = copy;
    expect_run(launch, tool_output("nm", {"a.o"}), "", 0);
}

// A ':' in the new place belongs to a directory name: the installation
// directories are searched whole, not split like PATH. Without its plugin
// the moved tree is reported like any other.
TEST_F(WrapperTest, WholeTreeMovedWithRename) {
    for (const char *place : {"moved", "moved:again"}) {
        std::string moved_root = at(place);
        ASSERT_EQ(0, std::rename(tree_.root.c_str(), moved_root.c_str()));
        tree_ = install_tree_layout(moved_root);
        expect_run(wrapper("zin-ar", {"rcs", "x.a"}), tool_output("ar", {"-rcs", "x.a"}), "", 0);
    }
    ASSERT_EQ(0, unlink(tree_plugin(tree_).c_str()));
    Launch launch = wrapper("zin-ranlib");
    expect_run(launch, "", launch.argv[0] + ": Cannot find plugin '" + plugin_file_name + "'\n", 1);
}

} // namespace
