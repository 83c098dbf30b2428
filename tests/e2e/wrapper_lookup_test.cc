// SPDX-License-Identifier: Apache-2.0
// Finding the plugin and the tool: the installation tree, PATH, -B, and the
// files that must be passed over.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/build_config.h"
#include "testkit/files.h"
#include "testkit/process.h"
#include "testkit/wrapper_test.h"

namespace {

using namespace kit;

std::string not_found_plugin(const std::string &argv0) {
    return argv0 + ": Cannot find plugin '" + plugin_file_name + "'\n";
}

std::string not_found_binary(const std::string &argv0, const std::string &tool) {
    return argv0 + ": Cannot find binary '" + tool + "'\n";
}

// Without the tree's plugin the wrapper says so, naming argv[0] as it was
// invoked, and never takes a plugin from PATH.
TEST_F(WrapperTest, MissingPluginIsReported) {
    ASSERT_EQ(0, unlink(tree_plugin(tree_).c_str()));
    std::string message = not_found_plugin(tree_.bin_dir + "zin-ar");
    expect_run(wrapper("zin-ar", {"t"}), "", message, 1);
    make_dirs(at("p"));
    write_file(at("p/") + plugin_file_name, "");
    expect_run(wrapper("zin-ar", {}, {{"PATH", at("p")}}), "", message, 1);
    // A relative argv[0] as a shell would pass it.
    Launch launch = wrapper("zin-nm");
    launch.cwd = tree_.root;
    launch.argv[0] = "." + tree_.bin_dir.substr(tree_.root.size()) + "zin-nm";
    expect_run(launch, "", not_found_plugin(launch.argv[0]), 1);
}

TEST_F(WrapperTest, MissingToolIsReported) {
    ASSERT_EQ(0, unlink((tree_.tool_dir + "ranlib").c_str()));
    Launch launch = wrapper("zin-ranlib", {"x.a"});
    expect_run(launch, "", not_found_binary(launch.argv[0], "ranlib"), 1);
}

// The tree's nm gone or unusable, PATH names directories in order: the tool
// is the first executable file named nm on it.
TEST_F(WrapperTest, ToolIsTakenFromPathWhenTheTreeHasNone) {
    struct Row {
        const char *what;
        const char *tree_nm;            // "gone", "directory" or "not executable"
        std::vector<const char *> path; // PATH entries below the scratch directory
        const char *found;              // the nm that runs
    };
    const Row rows[] = {
        {"first entry without nm, one ending in '/'", "gone", {"a", "b/", "c"}, "b/nm"},
        {"directories named nm are passed over", "directory", {"dir", "c"}, "c/nm"},
        {"a tree nm without execute bits is passed over", "not executable", {"c"}, "c/nm"},
    };
    make_dirs(at("a"));
    make_dirs(at("dir/nm"));
    provide(at("b/"), "nm", false);
    provide(at("c/"), "nm", false);
    std::string tree_nm = tree_.tool_dir + "nm";
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        remove_tree(tree_nm);
        if (std::string(row.tree_nm) == "directory") {
            make_dirs(tree_nm);
        } else if (std::string(row.tree_nm) == "not executable") {
            copy_file(built_programs().tool, tree_nm, 0644);
        }
        std::string path;
        for (const char *entry : row.path) {
            path += (path.empty() ? "" : ":") + at(entry);
        }
        expect_run(wrapper("zin-nm", {"a.o"}, {{"PATH", path}}),
                   lines({at(row.found), "--plugin", tree_plugin(tree_), "a.o"}), "", 0);
    }
}

// The plugin is taken from the first installation directory that has one.
TEST_F(WrapperTest, PluginInTheToolDirectoryComesFirst) {
    std::string first = tree_.tool_dir + plugin_file_name;
    write_file(first, "");
    std::string out = lines({tree_.tool_dir + "nm", "--plugin", first});
    expect_run(wrapper("zin-nm"), out, "", 0);
    ASSERT_EQ(0, unlink(tree_plugin(tree_).c_str()));
    expect_run(wrapper("zin-nm"), out, "", 0);
}

// A tool that is the running wrapper itself (a link named like the tool) is
// passed over like a directory; with no other tool the usual message follows.
TEST_F(WrapperTest, WrapperIsNeverItsOwnTool) {
    std::string wrapper_file = tree_.bin_dir + "zin-ar";
    ASSERT_EQ(0, unlink((tree_.tool_dir + "ar").c_str()));
    ASSERT_EQ(0, symlink(wrapper_file.c_str(), (tree_.tool_dir + "ar").c_str()));
    make_dirs(at("home"));
    ASSERT_EQ(0, symlink(wrapper_file.c_str(), at("home/ar").c_str()));
    provide(at("usr/"), "ar", false);
    expect_run(wrapper("zin-ar", {"t"}, {{"PATH", at("home")}}), "",
               not_found_binary(wrapper_file, "ar"), 1);
    expect_run(wrapper("zin-ar", {"t"}, {{"PATH", at("home") + ":" + at("usr")}}),
               lines({at("usr/ar"), "--plugin", tree_plugin(tree_), "-t"}), "", 0);
}

// Two wrappers whose tools lead to each other: each run puts one more
// "--plugin" pair in front, and the ninth wrapper stops.
TEST_F(WrapperTest, WrappersFindingEachOtherStop) {
    if (ZIN_CROSS_EMULATED) {
        GTEST_SKIP() << "an emulated wrapper hands its exec of another wrapper to the kernel, "
                        "which cannot run a program for the target";
    }
    InstallTree other = build_install_tree(at("other"), built_programs());
    for (const auto &[from, to] : {std::pair{&tree_, &other}, std::pair{&other, &tree_}}) {
        std::string tool = from->tool_dir + "ar";
        ASSERT_EQ(0, unlink(tool.c_str()));
        ASSERT_EQ(0, symlink((to->bin_dir + "zin-ar").c_str(), tool.c_str()));
    }
    expect_run(wrapper("zin-ar", {"t"}), "",
               other.tool_dir + "ar: 'ar' leads back to a wrapper: stopped after 8 nested runs\n",
               1);
}

// A script standing in for the tool that runs the wrapper again behind a -B
// is stopped like two wrappers finding each other.
TEST_F(WrapperTest, ScriptRunningTheWrapperBehindBStops) {
    if (ZIN_CROSS_EMULATED) {
        GTEST_SKIP() << "the script's exec of the wrapper goes to the kernel, which cannot "
                        "run a program for the target";
    }
    std::string wrapper_file = tree_.bin_dir + "zin-ar";
    write_file(tree_.tool_dir + "ar",
               "#!/bin/sh\nexec '" + wrapper_file + "' -B '" + at("b") + "' \"$@\"\n", 0755);
    expect_run(wrapper("zin-ar", {"t"}), "",
               wrapper_file + ": 'ar' leads back to a wrapper: stopped after 8 nested runs\n", 1);
}

// `length` bytes of path: `base` and nested names no longer than a file
// system takes.
std::string path_of_length(std::string base, std::size_t length) {
    while (length - base.size() > 202) {
        base += "/" + std::string(200, 'd');
    }
    return base + "/" + std::string(length - base.size() - 1, 'r');
}

// Installation roots so long that the tool directory's name with its "../"
// steps is too long for a system call, built short and moved into place.
// Just long enough for that, the tree's own tool runs, not the one on PATH;
// just long enough for the shortest name of the libexec directory and the
// plugin to reach PATH_MAX, the wrapper says so before searching.
TEST_F(WrapperTest, VeryLongRootsAreShortenedOrReported) {
    InstallTree short_tree = build_install_tree(at("short"), built_programs());
    char *tool_dir = realpath(short_tree.tool_dir.c_str(), nullptr);
    char *plugin_dir = realpath(short_tree.plugin_dir.c_str(), nullptr);
    ASSERT_TRUE(tool_dir != nullptr && plugin_dir != nullptr);
    std::string tool_suffix = std::string(tool_dir).substr(short_tree.root.size()) + "/";
    std::string plugin_suffix = std::string(plugin_dir).substr(short_tree.root.size()) + "/";
    std::free(tool_dir);
    std::free(plugin_dir);
    std::size_t plugin_name = std::string(plugin_file_name).size();
    std::size_t unshortened_tool = short_tree.tool_dir.size() - short_tree.root.size();
    provide(at("path/"), "ar", false);

    // Just too long for the tree's ar to be named through the "../" steps.
    std::string root = path_of_length(at("long"), PATH_MAX - unshortened_tool - std::strlen("ar"));
    ASSERT_TRUE(make_dirs(root.substr(0, root.rfind('/'))));
    ASSERT_EQ(rename(short_tree.root.c_str(), root.c_str()), 0);
    InstallTree tree = install_tree_layout(root);
    Launch launch = wrapper("zin-ar", {"t"}, {{"PATH", at("path")}});
    launch.executable = launch.argv[0] = tree.bin_dir + "zin-ar";
#ifdef ZIN_E2E_SANITIZED
    // The leak checker cannot symbolize a program under so long a path, so
    // the suppression of the wrapper's deliberate leaks would not match.
    const char *options = std::getenv("ASAN_OPTIONS");
    set_env(launch, "ASAN_OPTIONS",
            std::string(options != nullptr ? options : "") + ":detect_leaks=0");
#endif
    expect_run(launch, lines({root + tool_suffix + "ar", "--plugin", tree_plugin(tree), "-t"}), "",
               0);

    std::string longer =
        path_of_length(at("longer"), PATH_MAX - plugin_suffix.size() - plugin_name);
    ASSERT_TRUE(make_dirs(longer.substr(0, longer.rfind('/'))));
    ASSERT_EQ(rename(root.c_str(), longer.c_str()), 0);
    launch.executable = launch.argv[0] = install_tree_layout(longer).bin_dir + "zin-ar";
    expect_run(launch, "",
               launch.argv[0] + ": installation directory name too long: " + longer +
                   plugin_suffix + "\n",
               1);
    // Back where the scratch directory can be removed by name.
    EXPECT_EQ(rename(longer.c_str(), short_tree.root.c_str()), 0);
}

TEST_F(WrapperTest, UnsetPathLeavesOnlyTheTree) {
    ASSERT_EQ(0, unlink((tree_.tool_dir + "nm").c_str()));
    Launch launch = wrapper("zin-nm");
    unset_env(launch, "PATH");
    expect_run(launch, "", not_found_binary(launch.argv[0], "nm"), 1);
    // A -B directory is still searched.
    provide(at("bdir/"), "nm", false);
    launch.argv.push_back("-B" + at("bdir"));
    expect_run(launch, lines({at("bdir/nm"), "--plugin", tree_plugin(tree_)}), "", 0);
}

TEST_F(WrapperTest, EmptyPathSearchesTheCurrentDirectory) {
    ASSERT_EQ(0, unlink((tree_.tool_dir + "ar").c_str()));
    provide(at(""), "ar", false);
    expect_run(wrapper("zin-ar", {"t"}, {{"PATH", ""}}),
               lines({"./ar", "--plugin", tree_plugin(tree_), "-t"}), "", 0);
}

TEST_F(WrapperTest, TreeToolWinsOverPath) {
    make_dirs(at("path"));
    write_file(at("path/ar"), "#!/bin/sh\necho wrong ar\n", 0755);
    expect_run(wrapper("zin-ar", {"t"}, {{"PATH", at("path")}}), tool_output("ar", {"-t"}), "", 0);
}

// Run as uid 65534: access() grants root read permission whatever the mode bits say.
TEST_F(WrapperTest, UnreadablePluginIsNotFound) {
    Launch launch = wrapper("zin-nm", {"a.o"});
    launch.as_nobody = true;
    Outcome readable = run_program(launch);
    if (exit_code(readable.wait_status) != 0 || readable.out != tool_output("nm", {"a.o"})) {
        GTEST_SKIP() << "the scratch tree is not usable by uid " << nobody_id << " here: status "
                     << readable.wait_status << ", " << readable.err;
    }
    ASSERT_EQ(0, chmod(tree_plugin(tree_).c_str(), 0));
    expect_run(launch, "", not_found_plugin(launch.argv[0]), 1);
}

TEST_F(WrapperTest, SearchTraceIsShownWhenAsked) {
    std::string path = at("no-such-directory");
    std::string tool_string = tree_.tool_dir.substr(0, tree_.tool_dir.size() - 1);
    std::string trace = "Convert string '" + tool_string + "' into prefixes, separator = ':'\n" +
                        "  - add prefix: " + tree_.tool_dir + "\n" + "Convert string '" +
                        tree_.plugin_dir + "' into prefixes, separator = ':'\n" +
                        "  - add prefix: " + tree_.plugin_dir + "\n" + "Convert string '" + path +
                        "' into prefixes, separator = ':'\n" + "  - add prefix: " + path + "/\n" +
                        "Looking for '" + plugin_file_name + "'\n" + "Looking for 'nm'\n";
    expect_run(wrapper("zin-nm", {"a.o"}, {{"ZIN_SEARCH_TRACE", "1"}}), tool_output("nm", {"a.o"}),
               trace, 0);
    // Set but empty is off.
    expect_run(wrapper("zin-nm", {"a.o"}, {{"ZIN_SEARCH_TRACE", ""}}), tool_output("nm", {"a.o"}),
               "", 0);
}

} // namespace
