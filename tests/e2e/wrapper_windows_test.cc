// SPDX-License-Identifier: Apache-2.0
// The wrappers on Windows, started by this Windows program through the kit's
// launcher (CreateProcessW): exit codes whole, exceptions reported, text
// outside ASCII, the command-line limit and a tool that cannot be started.
// Every exit code is checked here, on the Windows side: wine64's own exit
// status, as Linux sees it, keeps 8 bits. The wrappers' own messages end in
// "\r\n", as text-mode standard error writes them.
#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/build_config.h"
#include "pex/pex_win32_backend.h"
#include "testkit/files.h"
#include "testkit/wrapper_test.h"

namespace {

using namespace kit;

// `tree` with its relocated directories as a wrapper of it names them: the
// wrapper relocates from its own path as the system gives it, every separator
// '\\', not from the argv[0] it was started with.
InstallTree as_relocated_by_the_wrapper(InstallTree tree) {
    std::string system_bin_dir = tree.bin_dir;
    std::replace(system_bin_dir.begin(), system_bin_dir.end(), '/', '\\');
    for (std::string *dir : {&tree.exec_dir, &tree.libexec_dir, &tree.plugin_dir, &tree.tool_dir}) {
        dir->replace(0, tree.bin_dir.size(), system_bin_dir);
    }
    return tree;
}

class WindowsWrapperTest : public WrapperTest {
  protected:
    void SetUp() override {
        WrapperTest::SetUp();
        tree_ = as_relocated_by_the_wrapper(tree_);
    }

    // The tool of the tree as the wrapper finds and names it.
    std::string tool(const std::string &name) const {
        return tree_.tool_dir + name + program_suffix;
    }
};

// Length in UTF-16 units of the command line the product makes of `argv`.
std::size_t command_line_length(const std::vector<std::string> &argv) {
    std::vector<const char *> pointers;
    for (const std::string &argument : argv) {
        pointers.push_back(argument.c_str());
    }
    pointers.push_back(nullptr);
    char *line = pex_win32_command_line(pointers.data());
    std::size_t length = line != nullptr ? std::strlen(line) : 0; // ASCII here
    std::free(line);
    return length;
}

TEST_F(WindowsWrapperTest, ExitCodesPassWhole) {
    for (const char *code : {"300", "0x12345678", "0xFFFFFFFF"}) {
        expect_run(wrapper("zin-nm", {"a.o"}, {{"STAND_IN_EXIT", code}}),
                   tool_output("nm", {"a.o"}), "",
                   static_cast<int>(std::strtoul(code, nullptr, 0)));
    }
}

TEST_F(WindowsWrapperTest, ExceptionsAreReportedAndPassedOn) {
    struct Row {
        const char *raise;
        std::uint32_t code;
        const char *name;
    };
    for (const Row &row : {Row{"access-violation", 0xC0000005, "access violation"},
                           Row{"stack-overflow", 0xC00000FD, "stack overflow"},
                           Row{"fail-fast", 0xC0000409, "fail-fast"}}) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08" PRIX32, row.code);
        expect_run(wrapper("zin-ranlib", {"x.a"}, {{"STAND_IN_EXCEPTION", row.raise}}),
                   tool_output("ranlib", {"x.a"}),
                   tool("ranlib") + " terminated with exception " + code + " [" + row.name +
                       "]\r\n",
                   static_cast<int>(row.code));
    }
}

// The installation directory, the arguments and an environment value in
// Greek and CJK characters, and with a blank, as "Program Files" has one.
TEST_F(WindowsWrapperTest, TextOutsideAsciiPassesThrough) {
    tree_ =
        as_relocated_by_the_wrapper(build_install_tree(at("Ελληνικά 漢字/tree"), built_programs()));
    std::vector<std::string> args = {"Ωμέγα", "漢字 テスト", "ü"};
    expect_run(wrapper("zin-ar", args, {{"STAND_IN_STDERR", "σφάλμα 错误\n"}}),
               tool_output("ar", {"-Ωμέγα", "漢字 テスト", "ü"}), "σφάλμα 错误\n", 0);
}

// PATH_MAX (MAX_PATH) counts UTF-16 units: a root in CJK characters whose
// tool directory with the plugin's name is under it in units, though over it
// in UTF-8 bytes, is searched as it is, not shortened.
TEST_F(WindowsWrapperTest, PathLimitCountsUnitsNotBytes) {
    std::size_t longest_name = std::strlen(plugin_file_name);
    std::size_t units = install_tree_layout(at("")).tool_dir.size() + longest_name; // ASCII
    std::string name;
    for (int in_name = 0; units + 1 < PATH_MAX; ++units) {
        // Names of 60 characters, 180 bytes: shorter than a file system takes.
        name += ++in_name % 61 == 0 ? "/" : "\u6f22";
    }
    if (name.empty()) {
        GTEST_SKIP() << "the scratch directory's name alone leaves no room below PATH_MAX";
    }
    tree_ = as_relocated_by_the_wrapper(build_install_tree(at(name), built_programs()));
    ASSERT_GE(tree_.tool_dir.size() + longest_name, static_cast<std::size_t>(PATH_MAX));
    expect_run(wrapper("zin-nm", {"a.o"}), tool_output("nm", {"a.o"}), "", 0);
}

TEST_F(WindowsWrapperTest, ArgumentsArriveExactly) {
    std::vector<std::string> args = {
        "-t", "", "two words", "quote\"inside", "back\\slash\\", "\\\"", "tab\tin"};
    expect_run(wrapper("zin-nm", args), tool_output("nm", args), "", 0);
}

// An empty ZIN_EXEC_PREFIX makes the bare name the program's path, looked up
// on PATH: as a program's file it is the name with ".exe".
TEST_F(WindowsWrapperTest, EmptyExecPrefixFindsTheProgramOnPath) {
    make_dirs(at("elsewhere"));
    std::string copy = at("elsewhere/zin-nm.exe");
    copy_file(built_programs().zin_nm, copy, 0755);
    Launch launch = wrapper("zin-nm", {"a.o"}, {{"ZIN_EXEC_PREFIX", ""}, {"PATH", tree_.bin_dir}});
    launch.executable = copy;
    launch.argv[0] = copy;
    expect_run(launch, tool_output("nm", {"a.o"}), "", 0);
}

// A tool's command line one unit over the limit is refused before anything
// starts; one at the limit runs. The wrapper's own line fits either way.
TEST_F(WindowsWrapperTest, CommandLineOverTheLimitIsRefused) {
    std::string marker = at("started");
    std::vector<std::string> tool_argv = {tool("nm"), "--plugin", tree_plugin(tree_), "x"};
    std::size_t fixed = command_line_length(tool_argv) - 1;
    std::size_t over = pex_win32_command_line_max - fixed; // line + NUL one over
    for (std::size_t length : {over, over - 1}) {
        std::string argument(length, 'x');
        Launch launch =
            wrapper("zin-nm", {argument}, {{"STAND_IN_SHOW", "size"}, {"STAND_IN_FDS_TO", marker}});
        ASSERT_LT(command_line_length(launch.argv), pex_win32_command_line_max);
        if (length == over) {
            expect_run(launch, "", "Error running " + tool("nm") + ": command line too long\r\n",
                       1);
            EXPECT_TRUE(entries(scratch_).count("started") == 0) << "the tool was started";
        } else {
            tool_argv.back() = argument;
            std::size_t bytes = 0;
            for (const std::string &element : tool_argv) {
                bytes += element.size() + 1;
            }
            expect_run(launch, "argc 4 bytes " + std::to_string(bytes) + "\n", "", 0);
        }
    }
}

// A file Windows cannot start (not a program, and under Wine without the
// execute bit, which would make it a Linux program): the step is named.
TEST_F(WindowsWrapperTest, ToolThatCannotBeStartedIsReported) {
    write_file(tool("ar"), "not a program\n", 0644);
    expect_run(wrapper("zin-ar", {"t"}), "", "Error running " + tool("ar") + ": CreateProcess\r\n",
               1);
}

} // namespace
