// SPDX-License-Identifier: Apache-2.0
// Naming temporary files of a pipeline, against the recording back end.
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "pex/hygiene.h"
#include "testkit/files.h"

namespace {

using PexTempNameTest = FakePipelineTest;

TEST_F(PexTempNameTest, NamesWithAndWithoutBase) {
    Pipeline *plain = make(0);
    const char *name = "given";
    EXPECT_EQ(pex_temp_name(plain, 0, name), name);

    char *suffixed = pex_temp_name(plain, PEX_NAME_IS_SUFFIX, ".s");
    std::string made = suffixed;
    EXPECT_EQ(made.rfind(at("cc"), 0), 0u) << made;
    EXPECT_EQ(made.size(), at("cc").size() + 6 + 2);
    EXPECT_EQ(made.substr(made.size() - 2), ".s");
    EXPECT_EQ(kit::read_file(made), "");
    std::free(suffixed);

    char *bare = pex_temp_name(plain, 0, nullptr);
    EXPECT_EQ(std::string(bare).size(), at("cc").size() + 6);
    EXPECT_EQ(kit::read_file(bare), "");
    std::free(bare);
    pex_release(plain);
    EXPECT_EQ(take_scratch_entries().size(), 2u);

    std::string base = at("base.");
    Pipeline *with_base = make(0, base.c_str());
    char *joined = pex_temp_name(with_base, PEX_NAME_IS_SUFFIX, "o");
    EXPECT_EQ(joined, base + "o");
    EXPECT_NE(access(joined, F_OK), 0) << "joining makes no file";
    std::free(joined);
    char *from_base = pex_temp_name(with_base, 0, nullptr);
    EXPECT_EQ(std::string(from_base).rfind(base, 0), 0u);
    EXPECT_EQ(std::strlen(from_base), base.size() + 6);
    EXPECT_EQ(kit::read_file(from_base), "");
    std::free(from_base);
    pex_release(with_base);
    EXPECT_EQ(take_scratch_entries().size(), 1u);
}

TEST_F(PexTempNameTest, Templates) {
    // A base already ending in the placeholder is used as it is.
    std::string pattern = at("fileXXXXXX");
    Pipeline *pipeline = make(0, pattern.c_str());
    char *name = pex_temp_name(pipeline, 0, nullptr);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::strlen(name), pattern.size());
    EXPECT_EQ(std::string(name).rfind(at("file"), 0), 0u);
    EXPECT_EQ(std::string(name).find("XXXXXX"), std::string::npos);
    struct stat info;
    EXPECT_EQ(stat(name, &info), 0);
    std::remove(name);
    std::free(name);
    pex_release(pipeline);

    // Shorter than the placeholder: always appended.
    char *previous_directory = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(scratch_.c_str()), 0);
    pipeline = make(0, "XX");
    name = pex_temp_name(pipeline, 0, nullptr);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::strlen(name), 8u);
    EXPECT_EQ(std::string(name).rfind("XX", 0), 0u);
    std::remove(name);
    std::free(name);
    pex_release(pipeline);
    ASSERT_EQ(chdir(previous_directory), 0);
    std::free(previous_directory);

    pipeline = make(0, "/nonexistent-zin-dir/x");
    EXPECT_EQ(pex_temp_name(pipeline, 0, nullptr), nullptr);
    pex_release(pipeline);
}

} // namespace
