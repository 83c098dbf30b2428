// SPDX-License-Identifier: Apache-2.0
// Relocating configured directories like the running program: the string
// work on a program path taken as it is, the lookup of the program on PATH
// with its canonical form, and the two composed, links resolved or kept.
#include <sys/stat.h>

#include "relocation_fixture.h"

namespace {

TEST_F(RelocatedPrefixTest, WorkedExamples) {
    EXPECT_EQ(relocate("/opt/tc/bin/zin-ar", bin_dir, lib_dir), "/opt/tc/bin/../lib/zin13/zin/");
    EXPECT_EQ(relocate("/opt/tc/bin/zin-ar", bin_dir, libexec_dir),
              "/opt/tc/bin/../libexec/zin13/zin/");
    EXPECT_EQ(relocate("/usr/local/bin/zin-ar", bin_dir, lib_dir), std::nullopt);
    EXPECT_EQ(relocate("/a/zin-ar", bin_dir, lib_dir), "/a/../lib/zin13/zin/");
    EXPECT_EQ(relocate("/opt/x/y/z/bin/zin-ar", bin_dir, lib_dir),
              "/opt/x/y/z/bin/../lib/zin13/zin/");
    // Relative paths are split as they are: no lookup, no current directory.
    EXPECT_EQ(relocate("./zin-ar"), "./../lib/zin13/zin/");
    EXPECT_EQ(relocate("zin-ar"), "../lib/zin13/zin/");
}

TEST_F(RelocatedPrefixTest, ComponentsAreComparedExactly) {
    // No trailing '/': 'bin' never equals 'bin/', so an unmoved program relocates.
    EXPECT_EQ(relocate("/usr/local/bin/zin-ar", "/usr/local/bin"),
              "/usr/local/bin/../lib/zin13/zin/");
    // 'bin//' differs from 'bin/' although the directory depth matches.
    EXPECT_EQ(relocate("/usr/local/bin//zin-ar"), "/usr/local/bin//../lib/zin13/zin/");
    // The same depth with another directory relocates too.
    EXPECT_EQ(relocate("/usr/other/bin/zin-ar"), "/usr/other/bin/../lib/zin13/zin/");
}

TEST_F(RelocatedPrefixTest, ShapeOfTheTargetDirectory) {
    EXPECT_EQ(relocate("/opt/tc/bin/zin-ar", bin_dir, "/usr/local/bin/sub/"), "/opt/tc/bin/sub/");
    EXPECT_EQ(relocate("/opt/tc/bin/zin-ar", bin_dir, "/usr/local/lib/zin13/zin"),
              "/opt/tc/bin/../lib/zin13/zin");
    EXPECT_EQ(relocate("/opt/tc/bin/zin-ar", bin_dir, "/usr/lib/"), "/opt/tc/bin/../../lib/");
    EXPECT_EQ(relocate("/opt/tc/bin/zin-ar", bin_dir, "/"), "/opt/tc/bin/../../../");
    // Nothing in common, not even the first component.
    EXPECT_EQ(relocate("/opt/tc/bin/zin-ar", bin_dir, "usr/lib/"), std::nullopt);
    EXPECT_EQ(relocate("/opt/tc/bin/zin-ar", "bin/", "lib/"), std::nullopt);
}

TEST_F(RelocatedPrefixTest, NullAndEmptyArguments) {
    for (auto run : {relocate, relocated, kept}) {
        EXPECT_EQ(run(nullptr, bin_dir, lib_dir), std::nullopt);
        EXPECT_EQ(run("/opt/tc/bin/zin-ar", nullptr, lib_dir), std::nullopt);
        EXPECT_EQ(run("/opt/tc/bin/zin-ar", bin_dir, nullptr), std::nullopt);
        EXPECT_EQ(run("", bin_dir, lib_dir), std::nullopt);
        EXPECT_EQ(run("/opt/tc/bin/zin-ar", "", lib_dir), std::nullopt);
        EXPECT_EQ(run("/opt/tc/bin/zin-ar", bin_dir, ""), std::nullopt);
    }
    EXPECT_EQ(resolve(nullptr), std::nullopt);
}

// relocated_prefix relocates from the canonical form of the program's path,
// relocated_prefix_keep_links from the path as found.
TEST_F(RelocatedPrefixTest, ComposedWithTheResolvedPath) {
    install_program("real");
    ASSERT_TRUE(kit::make_dirs(at("link")));
    ASSERT_EQ(symlink("../real/zin-ar", at("link/zin-ar").c_str()), 0);
    std::string through_link = at("link/zin-ar");
    EXPECT_EQ(relocate(through_link.c_str()), relocated_from("link"));
    EXPECT_EQ(relocated(through_link.c_str()), relocated_from("real"));
    EXPECT_EQ(kept(through_link.c_str()), relocated_from("link"));
    for (int resolve_links : {0, 1}) {
        EXPECT_EQ(
            take(compute_relocated_prefix(through_link.c_str(), bin_dir, lib_dir, resolve_links)),
            relocated_from(resolve_links != 0 ? "real" : "link"));
    }

    ASSERT_EQ(chdir(at("real").c_str()), 0);
    EXPECT_EQ(relocated("./zin-ar"), relocated_from("real"));
    EXPECT_EQ(kept("./zin-ar"), "./../lib/zin13/zin/");
    setenv("PATH", at("link").c_str(), 1);
    EXPECT_EQ(relocated("zin-ar", bin_dir, libexec_dir), at("real") + "/../libexec/zin13/zin/");
    EXPECT_EQ(kept("zin-ar", bin_dir, libexec_dir), at("link") + "/../libexec/zin13/zin/");
    // Not on PATH: the bare name, relocated against nothing.
    EXPECT_EQ(kept("zin-nm"), "../lib/zin13/zin/");
}

TEST_F(RelocatedPrefixTest, ResolveFindsTheProgramAndResolvesLinks) {
    install_program("real");
    ASSERT_TRUE(kit::make_dirs(at("link")));
    ASSERT_EQ(symlink("../real/zin-ar", at("link/zin-ar").c_str()), 0);
    ASSERT_EQ(chdir(scratch_.c_str()), 0);
    setenv("PATH", (at("nowhere") + ":" + at("link")).c_str(), 1);
    struct Row {
        std::string program;
        std::string resolved;
    };
    for (const Row &row : std::initializer_list<Row>{
             {at("link/zin-ar"), at("real/zin-ar")},
             {"zin-ar", at("real/zin-ar")},                // found on PATH through the link
             {"./link/zin-ar", at("real/zin-ar")},         // a '/': never looked up, made absolute
             {"/opt/tc/bin/zin-ar", "/opt/tc/bin/zin-ar"}, // missing: kept as given
             {"zin-nm", "zin-nm"},                         // on PATH nowhere: the bare name
         }) {
        EXPECT_EQ(resolve(row.program.c_str()), row.resolved) << row.program;
    }
    // An entry that ends in '/' gets no second one.
    setenv("PATH", at("real/").c_str(), 1);
    EXPECT_EQ(resolve("zin-ar"), at("real/zin-ar"));
    // PATH unset: the name stays as it is.
    unsetenv("PATH");
    EXPECT_EQ(resolve("zin-ar"), "zin-ar");
}

// Empty entries stand for the current directory at their place in the order
// (the rule itself is the search lists'); a later program is not taken first.
TEST_F(RelocatedPrefixTest, EmptyPathEntriesTakeTheirPlace) {
    install_program("here");
    install_program("other");
    ASSERT_EQ(chdir(at("here").c_str()), 0);
    for (std::string value : {":" + at("other"), "/nonexistent::" + at("other")}) {
        setenv("PATH", value.c_str(), 1);
        EXPECT_EQ(resolve("zin-ar"), at("here/zin-ar")) << "PATH=" << value;
    }
    setenv("PATH", (at("other") + ":").c_str(), 1);
    EXPECT_EQ(resolve("zin-ar"), at("other/zin-ar"));
}

TEST_F(RelocatedPrefixTest, OnlyExecutableRegularFilesAreAccepted) {
    ASSERT_TRUE(kit::make_dirs(at("as-dir")));
    ASSERT_TRUE(kit::make_dirs(at("as-dir/zin-ar")));
    ASSERT_TRUE(kit::make_dirs(at("as-fifo")));
    ASSERT_EQ(mkfifo(at("as-fifo/zin-ar").c_str(), 0755), 0);
    ASSERT_EQ(chmod(at("as-fifo/zin-ar").c_str(), 0755), 0);
    // Without any execute bit access(X_OK) fails even for root.
    ASSERT_TRUE(kit::make_dirs(at("not-exec")));
    ASSERT_TRUE(kit::write_file(at("not-exec/zin-ar"), ""));
    install_program("first");
    install_program("second");

    setenv("PATH",
           (at("as-dir") + ":" + at("as-fifo") + ":" + at("not-exec") + ":" + at("first") + ":" +
            at("second"))
               .c_str(),
           1);
    EXPECT_EQ(resolve("zin-ar"), at("first/zin-ar"));
}

TEST_F(RelocatedPrefixTest, LongPathValuesStillFindTheProgram) {
    install_program("tc");
    for (std::size_t size : {4030, 4031, 4032, 4033, 9000}) {
        std::string value = path_of_buffer_size(at("tc"), size);
        ASSERT_EQ(value.size() + 6 + 2, size);
        setenv("PATH", value.c_str(), 1);
        EXPECT_EQ(resolve("zin-ar"), at("tc/zin-ar")) << size;
    }
    // A mebibyte of short entries, which no program could be started with
    // (one string passed through execve may not exceed 128 KiB on Linux).
    std::string value;
    for (int entry = 0; value.size() < (1u << 20); ++entry) {
        value += "/nonexistent/zin-" + std::to_string(entry) + ":";
    }
    setenv("PATH", (value + at("tc")).c_str(), 1);
    EXPECT_EQ(resolve("zin-ar"), at("tc/zin-ar"));
}

} // namespace
