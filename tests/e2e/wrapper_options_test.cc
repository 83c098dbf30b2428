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

// A -B directory with its own plugin and nm is searched before the tree.
TEST_F(WrapperTest, BDirectoryIsSearchedFirst) {
    provide(at("bdir/"), "nm");
    expect_run(wrapper("zin-nm", {"a.o", "-B", at("bdir/")}),
               lines({at("bdir/nm"), "--plugin", at("bdir/") + plugin_file_name, "a.o"}), "", 0);
}

TEST_F(WrapperTest, BDirectoryWithoutTheFilesFallsBackToTheTree) {
    make_dirs(at("empty"));
    expect_run(wrapper("zin-nm", {"-B" + at("empty"), "a.o"}), tool_output("nm", {"a.o"}), "", 0);
}

TEST_F(WrapperTest, OneCharacterValueIsAPrefixNotADirectory) {
    // "-Bx" looks for "xlibqor_plugin.so" and "xar" in the current directory.
    provide(at("x"), "ar");
    // A directory "x" with the same files must not be used: the prefix gets no '/'.
    provide(at("x/"), "ar");
    expect_run(wrapper("zin-ar", {"-Bx", "t"}),
               lines({"./xar", "--plugin", std::string("./x") + plugin_file_name, "-t"}), "", 0);
}

TEST_F(WrapperTest, EmptyValueFindsBareNamesInTheCurrentDirectory) {
    provide(at(""), "ar");
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
