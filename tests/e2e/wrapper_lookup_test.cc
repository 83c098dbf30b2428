// Finding the plugin and the tool: the installation tree, PATH, -B, and the
// files that must be passed over.
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/build_config.h"
#include "e2e/e2e_support.h"

namespace e2e {
namespace {

std::string not_found_plugin(const std::string &argv0) {
    return argv0 + ": Cannot find plugin '" + plugin_file_name + "'\n";
}

std::string not_found_binary(const std::string &argv0, const std::string &tool) {
    return argv0 + ": Cannot find binary '" + tool + "'\n";
}

TEST_F(WrapperTest, MissingPluginIsReported) {
    ASSERT_EQ(0, unlink(tree_plugin(tree_).c_str()));
    Command command = wrapper("zin-ar", {"t"});
    expect_run(command, "", not_found_plugin(command.argv[0]), 1);
}

TEST_F(WrapperTest, MessagesNameArgvZeroAsInvoked) {
    ASSERT_EQ(0, unlink(tree_plugin(tree_).c_str()));
    // A relative argv[0] as a shell would pass it.
    Command command = wrapper("zin-nm");
    command.cwd = tree_.root;
    command.argv[0] = "." + tree_.bin_dir.substr(tree_.root.size()) + "zin-nm";
    expect_run(command, "", not_found_plugin(command.argv[0]), 1);
}

TEST_F(WrapperTest, MissingToolIsReported) {
    ASSERT_EQ(0, unlink((tree_.tool_dir + "ranlib").c_str()));
    Command command = wrapper("zin-ranlib", {"x.a"});
    expect_run(command, "", not_found_binary(command.argv[0], "ranlib"), 1);
}

TEST_F(WrapperTest, ToolIsTakenFromPathWhenTheTreeHasNone) {
    ASSERT_EQ(0, unlink((tree_.tool_dir + "ar").c_str()));
    make_dirs(scratch_ + "/a");
    make_dirs(scratch_ + "/b");
    make_dirs(scratch_ + "/c");
    copy_file(built_program("stand_in_tool"), scratch_ + "/b/ar", 0755);
    copy_file(built_program("stand_in_tool"), scratch_ + "/c/ar", 0755);
    Command command = wrapper("zin-ar", {"t"});
    set_env(command, "PATH", scratch_ + "/a:" + scratch_ + "/b/:" + scratch_ + "/c");
    expect_run(command, lines({scratch_ + "/b/ar", "--plugin", tree_plugin(tree_), "-t"}), "", 0);
}

TEST_F(WrapperTest, PluginIsNeverTakenFromPath) {
    ASSERT_EQ(0, unlink(tree_plugin(tree_).c_str()));
    make_dirs(scratch_ + "/p");
    write_file(scratch_ + "/p/" + plugin_file_name, "", 0644);
    Command command = wrapper("zin-ar");
    set_env(command, "PATH", scratch_ + "/p");
    expect_run(command, "", not_found_plugin(command.argv[0]), 1);
}

TEST_F(WrapperTest, UnsetPathLeavesOnlyTheTree) {
    ASSERT_EQ(0, unlink((tree_.tool_dir + "nm").c_str()));
    Command command = wrapper("zin-nm");
    unset_env(command, "PATH");
    expect_run(command, "", not_found_binary(command.argv[0], "nm"), 1);
    // A -B directory is still searched.
    make_dirs(scratch_ + "/bdir");
    copy_file(built_program("stand_in_tool"), scratch_ + "/bdir/nm", 0755);
    command.argv.push_back("-B" + scratch_ + "/bdir");
    expect_run(command, lines({scratch_ + "/bdir/nm", "--plugin", tree_plugin(tree_)}), "", 0);
}

TEST_F(WrapperTest, EmptyPathSearchesTheCurrentDirectory) {
    ASSERT_EQ(0, unlink((tree_.tool_dir + "ar").c_str()));
    copy_file(built_program("stand_in_tool"), scratch_ + "/ar", 0755);
    Command command = wrapper("zin-ar", {"t"});
    set_env(command, "PATH", "");
    expect_run(command, lines({"./ar", "--plugin", tree_plugin(tree_), "-t"}), "", 0);
}

TEST_F(WrapperTest, TreeToolWinsOverPath) {
    make_dirs(scratch_ + "/path");
    write_file(scratch_ + "/path/ar", "#!/bin/sh\necho wrong ar\n", 0755);
    Command command = wrapper("zin-ar", {"t"});
    set_env(command, "PATH", scratch_ + "/path");
    expect_run(command, tool_output("ar", {"-t"}), "", 0);
}

TEST_F(WrapperTest, DirectoryNamedLikeTheToolIsPassedOver) {
    ASSERT_EQ(0, unlink((tree_.tool_dir + "ar").c_str()));
    make_dirs(tree_.tool_dir + "ar");
    make_dirs(scratch_ + "/path/ar");
    make_dirs(scratch_ + "/path2");
    copy_file(built_program("stand_in_tool"), scratch_ + "/path2/ar", 0755);
    Command command = wrapper("zin-ar", {"t"});
    set_env(command, "PATH", scratch_ + "/path:" + scratch_ + "/path2");
    expect_run(command, lines({scratch_ + "/path2/ar", "--plugin", tree_plugin(tree_), "-t"}), "",
               0);
}

TEST_F(WrapperTest, NonExecutableToolIsPassedOver) {
    ASSERT_EQ(0, chmod((tree_.tool_dir + "nm").c_str(), 0644));
    make_dirs(scratch_ + "/path");
    copy_file(built_program("stand_in_tool"), scratch_ + "/path/nm", 0755);
    Command command = wrapper("zin-nm");
    set_env(command, "PATH", scratch_ + "/path");
    expect_run(command, lines({scratch_ + "/path/nm", "--plugin", tree_plugin(tree_)}), "", 0);
}

TEST_F(WrapperTest, UnreadablePluginIsNotFound) {
    // access() grants root read permission whatever the mode bits say, so the
    // wrapper runs as the unprivileged user 65534 here.
    std::string setpriv = find_on_path("setpriv");
    if (setpriv.empty()) {
        GTEST_SKIP() << "setpriv is not installed: cannot run the wrapper unprivileged";
    }
    auto unprivileged = [&](const Command &inner) {
        Command command = inner;
        command.executable = setpriv;
        command.argv = {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups",
                        inner.executable};
        command.argv.insert(command.argv.end(), inner.argv.begin() + 1, inner.argv.end());
        return command;
    };
    Command command = unprivileged(wrapper("zin-nm", {"a.o"}));
    // The tree must be reachable by that user: with the plugin readable, it runs.
    {
        SCOPED_TRACE(describe_command(command));
        Outcome reachable = run_command(command);
        if (exit_code(reachable) != 0 || reachable.out != tool_output("nm", {"a.o"})) {
            GTEST_SKIP() << "the scratch tree is not usable by uid 65534 here: " << reachable.err;
        }
    }
    ASSERT_EQ(0, chmod(tree_plugin(tree_).c_str(), 0));
    expect_run(command, "", not_found_plugin(tree_.bin_dir + "zin-nm"), 1);
}

TEST_F(WrapperTest, SearchTraceIsShownWhenAsked) {
    Command command = wrapper("zin-nm", {"a.o"});
    std::string path = scratch_ + "/no-such-directory";
    std::string tool_string = tree_.tool_dir.substr(0, tree_.tool_dir.size() - 1);
    std::string libexec_string = tree_.plugin_dir;
    std::string trace = "Convert string '" + tool_string + "' into prefixes, separator = ':'\n" +
                        "  - add prefix: " + tree_.tool_dir + "\n" + "Convert string '" +
                        libexec_string + "' into prefixes, separator = ':'\n" +
                        "  - add prefix: " + tree_.plugin_dir + "\n" + "Convert string '" + path +
                        "' into prefixes, separator = ':'\n" + "  - add prefix: " + path + "/\n" +
                        "Looking for '" + plugin_file_name + "'\n" + "Looking for 'nm'\n";
    set_env(command, "ZIN_SEARCH_TRACE", "1");
    expect_run(command, tool_output("nm", {"a.o"}), trace, 0);
    // Set but empty is off.
    set_env(command, "ZIN_SEARCH_TRACE", "");
    expect_run(command, tool_output("nm", {"a.o"}), "", 0);
}

} // namespace
} // namespace e2e
