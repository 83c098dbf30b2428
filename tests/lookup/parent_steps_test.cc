// SPDX-License-Identifier: Apache-2.0
// Shortening paths by their "name/.." steps: only where name is a real directory.
#include "lookup/parent_steps.h"

#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "testkit/files.h"
#include "testkit/scratch_test.h"

namespace {

using ParentStepsTest = kit::ScratchTest;

// remove_parent_steps as a std::string; frees the result.
std::string shortened(const std::string &path) {
    char *result = remove_parent_steps(path.c_str());
    std::string copy = result != nullptr ? result : "(null)";
    std::free(result);
    return copy;
}

TEST_F(ParentStepsTest, RemovesOnlyStepsOutOfRealDirectories) {
    ASSERT_TRUE(kit::make_dirs(at("d/real/sub")));
    ASSERT_TRUE(kit::write_file(at("d/file"), ""));
    ASSERT_EQ(symlink("real/sub", at("d/link").c_str()), 0);
    std::string base = scratch_.substr(scratch_.rfind('/') + 1);
    struct Row {
        std::string path; // relative ones from the scratch directory
        std::string expected;
    };
    const Row rows[] = {
        {"d/real/../x", "d/x"},
        {"d/real/sub/../../x", "d/x"},
        {"d/real/../", "d/"},
        {"d/real/..", "d"},
        {"d/..", "."},
        {"d/../", "./"},
        {"d//real//..//x", "d//x"},
        {"d/link/../x", "d/link/../x"},
        {"d/real/../link/../x", "d/link/../x"},
        {"d/missing/../x", "d/missing/../x"},
        {"d/file/../x", "d/file/../x"},
        {"d/./../x", "d/./../x"},
        {"../x", "../x"},
        {"../" + base + "/d/real/../x", "../" + base + "/d/x"},
        {at("d/real/sub/../../x/"), at("d/x/")},
        {"/..", "/.."},
        {"", ""},
    };
    char *saved = getcwd(nullptr, 0);
    ASSERT_NE(saved, nullptr);
    ASSERT_EQ(chdir(scratch_.c_str()), 0);
    for (const Row &row : rows) {
        EXPECT_EQ(shortened(row.path), row.expected) << row.path;
    }
    EXPECT_EQ(chdir(saved), 0);
    std::free(saved);

    // Longer than a system call takes, shorter once shortened: every lstat
    // is handed the shortened prefix.
    std::string long_path = at("d/real/");
    while (long_path.size() <= PATH_MAX) {
        long_path += "sub/../";
    }
    EXPECT_EQ(shortened(long_path + "x"), at("d/real/x"));
}

} // namespace
