// The wrappers' command line: -B in its forms, the first-argument dash of
// zin-ar, the usage text.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/build_config.h"
#include "e2e/e2e_support.h"

namespace e2e {
namespace {

constexpr char usage[] = "Usage: zin-ar [-B prefix] ar arguments ...\n";

// A -B directory with its own plugin and tool, beside the tree.
class BOptionTest : public WrapperTest {
  protected:
    void SetUp() override {
        WrapperTest::SetUp();
        b_dir_ = scratch_ + "/bdir";
        make_dirs(b_dir_);
        write_file(b_dir_ + "/" + plugin_file_name, "", 0644);
        for (const char *tool : {"ar", "nm"}) {
            copy_file(built_program("stand_in_tool"), b_dir_ + "/" + tool, 0755);
        }
    }

    std::string b_output(const std::string &tool, const std::vector<std::string> &args) const {
        std::vector<std::string> argv = {b_dir_ + "/" + tool, "--plugin",
                                         b_dir_ + "/" + plugin_file_name};
        argv.insert(argv.end(), args.begin(), args.end());
        return lines(argv);
    }

    std::string b_dir_;
};

TEST_F(BOptionTest, JoinedAndSeparateFormsPutTheDirectoryFirst) {
    expect_run(wrapper("zin-nm", {"-B" + b_dir_, "a.o"}), b_output("nm", {"a.o"}), "", 0);
    expect_run(wrapper("zin-nm", {"-B", b_dir_, "a.o"}), b_output("nm", {"a.o"}), "", 0);
    expect_run(wrapper("zin-nm", {"a.o", "-B", b_dir_}), b_output("nm", {"a.o"}), "", 0);
}

TEST_F(BOptionTest, TrailingSlashIsNotDoubled) {
    expect_run(wrapper("zin-nm", {"-B", b_dir_ + "/", "a.o"}), b_output("nm", {"a.o"}), "", 0);
}

TEST_F(BOptionTest, OnlyTheFirstOptionIsTaken) {
    expect_run(wrapper("zin-nm", {"-B", b_dir_, "x", "-B/elsewhere", "-B"}),
               b_output("nm", {"x", "-B/elsewhere", "-B"}), "", 0);
}

TEST_F(BOptionTest, DirectoryWithoutTheFilesFallsBackToTheTree) {
    make_dirs(scratch_ + "/empty");
    expect_run(wrapper("zin-nm", {"-B" + scratch_ + "/empty", "a.o"}), tool_output("nm", {"a.o"}),
               "", 0);
}

TEST_F(WrapperTest, OneCharacterValueIsAPrefixNotADirectory) {
    // "-Bx" looks for "xlibqor_plugin.so" and "xar" in the current directory.
    write_file(scratch_ + "/x" + plugin_file_name, "", 0644);
    copy_file(built_program("stand_in_tool"), scratch_ + "/xar", 0755);
    // A directory "x" with the same files must not be used: the prefix gets no '/'.
    make_dirs(scratch_ + "/x");
    write_file(scratch_ + "/x/" + plugin_file_name, "", 0644);
    copy_file(built_program("stand_in_tool"), scratch_ + "/x/ar", 0755);
    expect_run(wrapper("zin-ar", {"-Bx", "t"}),
               lines({"./xar", "--plugin", std::string("./x") + plugin_file_name, "-t"}), "", 0);
}

TEST_F(WrapperTest, EmptyValueFindsBareNamesInTheCurrentDirectory) {
    write_file(scratch_ + "/" + plugin_file_name, "", 0644);
    copy_file(built_program("stand_in_tool"), scratch_ + "/ar", 0755);
    // An ar on PATH that must not run instead of the one found in the current directory.
    make_dirs(scratch_ + "/path");
    write_file(scratch_ + "/path/ar", "#!/bin/sh\necho wrong ar\n", 0755);
    Command command = wrapper("zin-ar", {"-B", "", "t"});
    set_env(command, "PATH", scratch_ + "/path");
    expect_run(command, lines({"./ar", "--plugin", std::string("./") + plugin_file_name, "-t"}), "",
               0);
}

TEST_F(WrapperTest, BAsLastArgumentPrintsTheUsageInAllThree) {
    for (const char *name : {"zin-ar", "zin-nm", "zin-ranlib"}) {
        expect_run(wrapper(name, {"x", "-B"}), "", usage, 1);
    }
}

TEST_F(WrapperTest, ArGetsADashAfterTheBRemoval) {
    expect_run(wrapper("zin-ar", {"rcs", "libx.a", "a.o"}),
               tool_output("ar", {"-rcs", "libx.a", "a.o"}), "", 0);
    expect_run(wrapper("zin-ar", {"-B", scratch_ + "/none", "rcs", "x.a"}),
               tool_output("ar", {"-rcs", "x.a"}), "", 0);
    expect_run(wrapper("zin-ar", {"-rcs", "x.a"}), tool_output("ar", {"-rcs", "x.a"}), "", 0);
    expect_run(wrapper("zin-ar", {"", "x.a"}), tool_output("ar", {"-", "x.a"}), "", 0);
    // Only the first argument is concerned.
    expect_run(wrapper("zin-ar", {"-t", "x.a", "rcs"}), tool_output("ar", {"-t", "x.a", "rcs"}), "",
               0);
}

TEST_F(WrapperTest, NmAndRanlibNeverChangeAnArgument) {
    expect_run(wrapper("zin-nm", {"rcs", "", "a.o"}), tool_output("nm", {"rcs", "", "a.o"}), "", 0);
    expect_run(wrapper("zin-ranlib", {"libx.a", ""}), tool_output("ranlib", {"libx.a", ""}), "", 0);
    expect_run(wrapper("zin-ranlib", {""}), tool_output("ranlib", {""}), "", 0);
}

TEST_F(WrapperTest, NoArgumentsGiveTheToolOnlyThePlugin) {
    expect_run(wrapper("zin-ar"), tool_output("ar", {}), "", 0);
    expect_run(wrapper("zin-nm"), tool_output("nm", {}), "", 0);
    expect_run(wrapper("zin-ranlib"), tool_output("ranlib", {}), "", 0);
}

TEST_F(WrapperTest, EmptyArgumentVectorPrintsTheUsage) {
    // Linux (since 5.18) hands a program started with an empty vector the one
    // element "": ask the stand-in what a program gets.
    Command probe;
    probe.executable = built_program("stand_in_tool");
    Outcome seen = run_command(probe);
    ASSERT_EQ(0, exit_code(seen));
    if (!seen.out.empty()) {
        GTEST_SKIP() << "this kernel turns an empty argument vector into {\"\"}; "
                        "wrapper_main is tested with argc 0 in the driver's unit tests";
    }
    Command command = wrapper("zin-ar");
    command.argv.clear();
    expect_run(command, "", usage, 1);
}

} // namespace
} // namespace e2e
