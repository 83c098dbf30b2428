// SPDX-License-Identifier: Apache-2.0
// The wrappers' command line end to end: -B, the first-argument dash of
// zin-ar, the usage text. The rules themselves are unit-tested in
// tests/driver/command_line_test.cc.
#include "driver/build_config.h"
#include "testkit/files.h"
#include "testkit/wrapper_test.h"

namespace {

using namespace kit;

constexpr char usage[] = "Usage: zin-ar [-B prefix] ar arguments ...\n";

// A -B directory with its own plugin and nm, beside the tree.
class BOptionTest : public WrapperTest {
  protected:
    void SetUp() override {
        WrapperTest::SetUp();
        make_dirs(at("bdir"));
        write_file(at("bdir/") + plugin_file_name, "");
        copy_file(built_programs().tool, at("bdir/nm"), 0755);
    }
};

TEST_F(BOptionTest, DirectoryIsSearchedFirst) {
    expect_run(wrapper("zin-nm", {"a.o", "-B", at("bdir/")}),
               lines({at("bdir/nm"), "--plugin", at("bdir/") + plugin_file_name, "a.o"}), "", 0);
}

TEST_F(BOptionTest, DirectoryWithoutTheFilesFallsBackToTheTree) {
    make_dirs(at("empty"));
    expect_run(wrapper("zin-nm", {"-B" + at("empty"), "a.o"}), tool_output("nm", {"a.o"}), "", 0);
}

TEST_F(WrapperTest, OneCharacterValueIsAPrefixNotADirectory) {
    // "-Bx" looks for "xlibqor_plugin.so" and "xar" in the current directory.
    write_file(at("x") + plugin_file_name, "");
    copy_file(built_programs().tool, at("xar"), 0755);
    // A directory "x" with the same files must not be used: the prefix gets no '/'.
    make_dirs(at("x"));
    write_file(at("x/") + plugin_file_name, "");
    copy_file(built_programs().tool, at("x/ar"), 0755);
    expect_run(wrapper("zin-ar", {"-Bx", "t"}),
               lines({"./xar", "--plugin", std::string("./x") + plugin_file_name, "-t"}), "", 0);
}

TEST_F(WrapperTest, EmptyValueFindsBareNamesInTheCurrentDirectory) {
    write_file(at(plugin_file_name), "");
    copy_file(built_programs().tool, at("ar"), 0755);
    // An ar on PATH that must not run instead of the one found in the current directory.
    make_dirs(at("path"));
    write_file(at("path/ar"), "#!/bin/sh\necho wrong ar\n", 0755);
    expect_run(wrapper("zin-ar", {"-B", "", "t"}, {{"PATH", at("path")}}),
               lines({"./ar", "--plugin", std::string("./") + plugin_file_name, "-t"}), "", 0);
}

TEST_F(WrapperTest, BAsLastArgumentPrintsTheUsageInAllThree) {
    for (const char *name : {"zin-ar", "zin-nm", "zin-ranlib"}) {
        expect_run(wrapper(name, {"x", "-B"}), "", usage, 1);
    }
}

// Without -B the same run is WrapperTest.PathsKeepTheirClimbingSteps.
TEST_F(WrapperTest, ArGetsADashAfterTheBRemoval) {
    expect_run(wrapper("zin-ar", {"-B", at("none"), "rcs", "x.a"}),
               tool_output("ar", {"-rcs", "x.a"}), "", 0);
}

TEST_F(WrapperTest, NmAndRanlibNeverChangeAnArgument) {
    expect_run(wrapper("zin-nm", {"rcs", "", "a.o"}), tool_output("nm", {"rcs", "", "a.o"}), "", 0);
    expect_run(wrapper("zin-ranlib", {""}), tool_output("ranlib", {""}), "", 0);
}

TEST_F(WrapperTest, NoArgumentsGiveTheToolOnlyThePlugin) {
    expect_run(wrapper("zin-ar"), tool_output("ar", {}), "", 0);
}

} // namespace
