// SPDX-License-Identifier: Apache-2.0
// Relocating configured directories like the running program, with the
// lookup of the program on PATH, and the resolving step both entry points share.
#include <sys/stat.h>

#include "lookup/relocation_program_path.h"
#include "relocation_fixture.h"

namespace {

TEST_F(RelocatedPrefixTest, WorkedExamples) {
    // None of these paths exists, so both entry points agree.
    for (auto relocate : {keep_links, resolved}) {
        EXPECT_EQ(relocate("/opt/tc/bin/zin-ar", bin_dir, lib_dir),
                  "/opt/tc/bin/../lib/zin13/zin/");
        EXPECT_EQ(relocate("/opt/tc/bin/zin-ar", bin_dir, libexec_dir),
                  "/opt/tc/bin/../libexec/zin13/zin/");
        EXPECT_EQ(relocate("/usr/local/bin/zin-ar", bin_dir, lib_dir), std::nullopt);
        EXPECT_EQ(relocate("/a/zin-ar", bin_dir, lib_dir), "/a/../lib/zin13/zin/");
        EXPECT_EQ(relocate("/opt/x/y/z/bin/zin-ar", bin_dir, lib_dir),
                  "/opt/x/y/z/bin/../lib/zin13/zin/");
    }
}

TEST_F(RelocatedPrefixTest, RelativeProgramPaths) {
    ASSERT_EQ(chdir(scratch_.c_str()), 0);
    setenv("PATH", at("nowhere").c_str(), 1);
    EXPECT_EQ(keep_links("./zin-ar"), "./../lib/zin13/zin/");
    // Not found on PATH: the bare name is split as it is.
    EXPECT_EQ(keep_links("zin-ar"), "../lib/zin13/zin/");

    // Resolving links makes an existing relative path absolute.
    ASSERT_TRUE(kit::write_file(at("zin-ar"), "", 0755));
    EXPECT_EQ(keep_links("./zin-ar"), "./../lib/zin13/zin/");
    EXPECT_EQ(resolved("./zin-ar"), scratch_ + "/../lib/zin13/zin/");
}

TEST_F(RelocatedPrefixTest, ComponentsAreComparedExactly) {
    // No trailing '/': 'bin' never equals 'bin/', so an unmoved program relocates.
    EXPECT_EQ(keep_links("/usr/local/bin/zin-ar", "/usr/local/bin"),
              "/usr/local/bin/../lib/zin13/zin/");
    // 'bin//' differs from 'bin/' although the directory depth matches.
    EXPECT_EQ(keep_links("/usr/local/bin//zin-ar"), "/usr/local/bin//../lib/zin13/zin/");
    // The same depth with another directory relocates too.
    EXPECT_EQ(keep_links("/usr/other/bin/zin-ar"), "/usr/other/bin/../lib/zin13/zin/");
}

TEST_F(RelocatedPrefixTest, ShapeOfTheTargetDirectory) {
    EXPECT_EQ(keep_links("/opt/tc/bin/zin-ar", bin_dir, "/usr/local/bin/sub/"), "/opt/tc/bin/sub/");
    EXPECT_EQ(keep_links("/opt/tc/bin/zin-ar", bin_dir, "/usr/local/lib/zin13/zin"),
              "/opt/tc/bin/../lib/zin13/zin");
    EXPECT_EQ(keep_links("/opt/tc/bin/zin-ar", bin_dir, "/usr/lib/"), "/opt/tc/bin/../../lib/");
    EXPECT_EQ(keep_links("/opt/tc/bin/zin-ar", bin_dir, "/"), "/opt/tc/bin/../../../");
    // Nothing in common, not even the first component.
    EXPECT_EQ(keep_links("/opt/tc/bin/zin-ar", bin_dir, "usr/lib/"), std::nullopt);
    EXPECT_EQ(keep_links("/opt/tc/bin/zin-ar", "bin/", "lib/"), std::nullopt);
}

TEST_F(RelocatedPrefixTest, NullAndEmptyArguments) {
    EXPECT_EQ(keep_links(nullptr), std::nullopt);
    EXPECT_EQ(keep_links("/opt/tc/bin/zin-ar", nullptr), std::nullopt);
    EXPECT_EQ(keep_links("/opt/tc/bin/zin-ar", bin_dir, nullptr), std::nullopt);
    EXPECT_EQ(resolved(nullptr), std::nullopt);
    EXPECT_EQ(take(compute_relocated_prefix(nullptr, nullptr, nullptr, 0)), std::nullopt);

    unsetenv("PATH");
    EXPECT_EQ(keep_links(""), std::nullopt);
    EXPECT_EQ(resolved(""), std::nullopt);
    EXPECT_EQ(keep_links("/opt/tc/bin/zin-ar", ""), std::nullopt);
    EXPECT_EQ(keep_links("/opt/tc/bin/zin-ar", bin_dir, ""), std::nullopt);
}

TEST_F(RelocatedPrefixTest, ProgramFoundOnPath) {
    install_program("tc");
    setenv("PATH", (at("nowhere") + ":" + at("tc")).c_str(), 1);
    EXPECT_EQ(keep_links("zin-ar"), relocated_from("tc"));
    EXPECT_EQ(resolved("zin-ar"), relocated_from("tc"));

    // An entry that ends in '/' gets no second one.
    setenv("PATH", (at("tc") + "/").c_str(), 1);
    EXPECT_EQ(keep_links("zin-ar"), relocated_from("tc"));

    // A name holding a '/' is never looked up.
    ASSERT_EQ(chdir(scratch_.c_str()), 0);
    EXPECT_EQ(keep_links("./zin-ar"), "./../lib/zin13/zin/");

    // PATH unset: the name stays as it is.
    unsetenv("PATH");
    EXPECT_EQ(keep_links("zin-ar"), "../lib/zin13/zin/");
}

TEST_F(RelocatedPrefixTest, EmptyPathEntriesMeanTheCurrentDirectory) {
    install_program("tc");
    ASSERT_EQ(chdir(at("tc").c_str()), 0);
    for (std::string value : {":/nonexistent", "/nonexistent:", "/nonexistent::/also-none", ""}) {
        setenv("PATH", value.c_str(), 1);
        EXPECT_EQ(keep_links("zin-ar"), "./../lib/zin13/zin/") << "PATH=" << value;
    }

    // Empty entries take their place in the order.
    install_program("other");
    setenv("PATH", (":" + at("other")).c_str(), 1);
    EXPECT_EQ(keep_links("zin-ar"), "./../lib/zin13/zin/");
    setenv("PATH", (at("other") + ":").c_str(), 1);
    EXPECT_EQ(keep_links("zin-ar"), relocated_from("other"));
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
    EXPECT_EQ(keep_links("zin-ar"), relocated_from("first"));
}

TEST_F(RelocatedPrefixTest, SymbolicLinksResolvedOrKept) {
    install_program("real");
    ASSERT_TRUE(kit::make_dirs(at("link")));
    ASSERT_EQ(symlink("../real/zin-ar", at("link/zin-ar").c_str()), 0);

    std::string through_link = at("link/zin-ar");
    EXPECT_EQ(keep_links(through_link.c_str()), relocated_from("link"));
    EXPECT_EQ(resolved(through_link.c_str()), relocated_from("real"));

    setenv("PATH", at("link").c_str(), 1);
    EXPECT_EQ(keep_links("zin-ar"), relocated_from("link"));
    EXPECT_EQ(resolved("zin-ar"), relocated_from("real"));
}

// The driver resolves once and relocates both directories from the result with
// links kept: that must give what relocated_prefix gives for the original path.
TEST_F(RelocatedPrefixTest, ResolvingOnceThenKeepingLinksAgrees) {
    install_program("real");
    ASSERT_TRUE(kit::make_dirs(at("link")));
    ASSERT_EQ(symlink("../real/zin-ar", at("link/zin-ar").c_str()), 0);
    ASSERT_EQ(chdir(scratch_.c_str()), 0);
    setenv("PATH", (at("nowhere") + ":" + at("link")).c_str(), 1);

    struct Row {
        std::string program;
        std::string resolved; // relocation_program_path with links resolved
    };
    for (const Row &row : std::initializer_list<Row>{
             {at("link/zin-ar"), at("real/zin-ar")},
             {"zin-ar", at("real/zin-ar")},                // found on PATH through the link
             {"./link/zin-ar", at("real/zin-ar")},         // relative, made absolute
             {"/opt/tc/bin/zin-ar", "/opt/tc/bin/zin-ar"}, // missing: kept as given
             {"zin-nm", "zin-nm"},                         // on PATH nowhere: the bare name
         }) {
        SCOPED_TRACE(row.program);
        char *once = relocation_program_path(row.program.c_str(), 1);
        ASSERT_NE(once, nullptr);
        EXPECT_EQ(once, row.resolved);
        for (const char *target : {lib_dir, libexec_dir}) {
            EXPECT_EQ(keep_links(once, bin_dir, target),
                      resolved(row.program.c_str(), bin_dir, target));
        }
        std::free(once);
    }
    // With links kept, only the PATH lookup happens.
    EXPECT_EQ(take(relocation_program_path("zin-ar", 0)), at("link/zin-ar"));
}

TEST_F(RelocatedPrefixTest, LongPathValuesStillFindTheProgram) {
    install_program("tc");
    for (std::size_t size : {4030, 4031, 4032, 4033, 9000}) {
        std::string value = path_of_buffer_size(at("tc"), size);
        ASSERT_EQ(value.size() + 6 + 2, size);
        setenv("PATH", value.c_str(), 1);
        EXPECT_EQ(keep_links("zin-ar"), relocated_from("tc")) << size;
        EXPECT_EQ(resolved("zin-ar"), relocated_from("tc")) << size;
    }
    // A mebibyte of short entries, which no program could be started with
    // (one string passed through execve may not exceed 128 KiB on Linux).
    std::string value;
    for (int entry = 0; value.size() < (1u << 20); ++entry) {
        value += "/nonexistent/zin-" + std::to_string(entry) + ":";
    }
    setenv("PATH", (value + at("tc")).c_str(), 1);
    EXPECT_EQ(keep_links("zin-ar"), relocated_from("tc"));
}

} // namespace
