// SPDX-License-Identifier: Apache-2.0
// The host interface, on every host: temporary names and directories.
#include "support/support_platform.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "testkit/files.h"
#include "testkit/scratch_test.h"

namespace {

using PlatformTest = kit::ScratchTest;

// A template, the suffix length given, and the errno of a refusal (0: made).
struct TemplateRow {
    const char *name; // relative to the scratch directory
    int suffix_length;
    int error_number;
};

const TemplateRow template_rows[] = {
    {"ccXXXXXX", 0, 0},       {"ccXXXXXX.o", 2, 0},      {"XXXXXX", 0, 0},
    {"ccXXXXX.o", 2, EINVAL}, {"ccXXXXXX.o", 0, EINVAL}, {"XXXXX", 0, EINVAL},
};

TEST_F(PlatformTest, TemporaryFilesFromTemplates) {
    for (const TemplateRow &row : template_rows) {
        SCOPED_TRACE(row.name);
        std::string name = at(row.name);
        std::string made = name;
        errno = 0;
        int fd = platform_make_temp_file(made.data(), row.suffix_length);
        if (row.error_number != 0) {
            EXPECT_EQ(fd, -1);
            EXPECT_EQ(errno, row.error_number);
            continue;
        }
        ASSERT_GE(fd, 0) << std::strerror(errno);
        EXPECT_EQ(platform_close(fd), 0);
        std::size_t end = name.size() - static_cast<std::size_t>(row.suffix_length);
        EXPECT_EQ(made.substr(0, end - 6), name.substr(0, end - 6));
        EXPECT_EQ(made.substr(end), name.substr(end)) << "suffix kept";
        for (char c : made.substr(end - 6, 6)) {
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << made;
        }
        EXPECT_EQ(kit::read_file(made), "");
        std::string again = name;
        int other = platform_make_temp_file(again.data(), row.suffix_length);
        EXPECT_NE(again, made) << "each name new";
        platform_close(other);
        EXPECT_EQ(platform_remove(made.c_str()), 0);
        EXPECT_EQ(platform_remove(again.c_str()), 0);
    }
    EXPECT_EQ(platform_remove(at("gone").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(PlatformTest, UsableDirectories) {
    ASSERT_TRUE(kit::write_file(at("file"), ""));
    EXPECT_TRUE(platform_usable_directory(scratch_.c_str()));
    EXPECT_FALSE(platform_usable_directory(at("file").c_str()));
    EXPECT_FALSE(platform_usable_directory(at("missing").c_str()));
    EXPECT_FALSE(platform_usable_directory(""));
}

} // namespace
