// SPDX-License-Identifier: Apache-2.0
// Path names: components, base names and the canonical form.
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "lookup/base_name.h"
#include "lookup/canonical_path.h"
#include "lookup/path_components.h"
#include "testkit/files.h"
#include "testkit/scratch_test.h"

namespace {

// The components of `path` (freed here), with their count checked against the array.
std::vector<std::string> components_of(const char *path) {
    int count = -1;
    char **components = split_path_components(path, &count);
    std::vector<std::string> result;
    if (components == nullptr) {
        return result;
    }
    for (char **component = components; *component != nullptr; ++component) {
        result.emplace_back(*component);
    }
    free_path_components(components);
    EXPECT_EQ(count, static_cast<int>(result.size())) << path;
    return result;
}

using Parts = std::vector<std::string>;

TEST(PathComponents, SplitsAfterEverySeparatorRun) {
    EXPECT_EQ(components_of("/usr/local/bin/"), (Parts{"/", "usr/", "local/", "bin/"}));
    EXPECT_EQ(components_of("/usr//local/bin/"), (Parts{"/", "usr//", "local/", "bin/"}));
    EXPECT_EQ(components_of("/usr/local/lib/zin13/zin/"),
              (Parts{"/", "usr/", "local/", "lib/", "zin13/", "zin/"}));
    EXPECT_EQ(components_of("/opt/tc/bin/zin-ar"), (Parts{"/", "opt/", "tc/", "bin/", "zin-ar"}));
    EXPECT_EQ(components_of("./zin-ar"), (Parts{"./", "zin-ar"}));
    EXPECT_EQ(components_of("zin-ar"), (Parts{"zin-ar"}));
    EXPECT_EQ(components_of("//"), (Parts{"//"}));
    EXPECT_EQ(components_of("/"), (Parts{"/"}));
    EXPECT_EQ(components_of("a"), (Parts{"a"}));
    EXPECT_EQ(components_of("///a//b///c"), (Parts{"///", "a//", "b///", "c"}));
}

TEST(PathComponents, EmptyPathYieldsNullAndLeavesTheCount) {
    int count = 42;
    EXPECT_EQ(split_path_components("", &count), nullptr);
    EXPECT_EQ(count, 42);
    free_path_components(nullptr); // what a failed split hands on must be releasable
}

TEST(BaseName, PosixRule) {
    const char *path = "/a/b/";
    EXPECT_EQ(path_base_name(path), path + 5);
    EXPECT_STREQ(path_base_name("/usr/bin/ar"), "ar");
    const char *plain = "abc";
    EXPECT_EQ(path_base_name(plain), plain);
    EXPECT_STREQ(path_base_name(""), "");
    EXPECT_STREQ(path_base_name("C:\\dir\\file"), "C:\\dir\\file");
}

TEST(BaseName, DriveLetterRule) {
    EXPECT_STREQ(path_base_name_dos("C:foo"), "foo");
    EXPECT_STREQ(path_base_name_dos("c:\\dir/file"), "file");
    EXPECT_STREQ(path_base_name_dos("1:x"), "1:x");
    EXPECT_STREQ(path_base_name_dos("a/b\\c"), "c");
    const char *drive_only = "C:";
    EXPECT_EQ(path_base_name_dos(drive_only), drive_only + 2);
    EXPECT_STREQ(path_base_name_dos("z:dir\\"), "");
    EXPECT_STREQ(path_base_name_dos(":x"), ":x");
    EXPECT_STREQ(path_base_name_dos(""), "");
    // Bytes above 127 are no letters (and must not index below the table).
    EXPECT_STREQ(path_base_name_dos("\xC3:x"), "\xC3:x");
    EXPECT_STREQ(path_base_name_dos("_:x"), "_:x");
    EXPECT_STREQ(path_base_name_dos("ab:x"), "ab:x");
}

class CanonicalPathTest : public kit::ScratchTest {
  protected:
    // canonical_path as a std::string; the result must not be the argument itself.
    static std::string canonical(const char *path) {
        char *result = canonical_path(path);
        EXPECT_NE(result, nullptr);
        EXPECT_NE(result, path);
        std::string text = result != nullptr ? result : "";
        std::free(result);
        return text;
    }
};

TEST_F(CanonicalPathTest, ResolvesLinksAndDotSteps) {
    ASSERT_TRUE(kit::make_dirs(at("real")));
    ASSERT_TRUE(kit::write_file(at("real/file"), ""));
    ASSERT_EQ(symlink("real", at("link").c_str()), 0);
    EXPECT_EQ(canonical(at("link/file").c_str()), at("real/file"));
    EXPECT_EQ(canonical((scratch_ + "//real/../link/./file").c_str()), at("real/file"));
}

TEST_F(CanonicalPathTest, UnresolvablePathIsCopiedUnchanged) {
    std::string missing = at("missing/../x");
    EXPECT_EQ(canonical(missing.c_str()), missing);
    ASSERT_TRUE(kit::write_file(at("file"), ""));
    std::string through_file = at("file/x");
    EXPECT_EQ(canonical(through_file.c_str()), through_file);
    EXPECT_EQ(canonical("no-such-name"), "no-such-name");
}

} // namespace
