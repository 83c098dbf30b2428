// SPDX-License-Identifier: Apache-2.0
// The host's name rules and file facts, row by row. A row says on which hosts
// it holds, so that one table serves the POSIX and the Windows build.
#include "lookup/lookup_platform.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>

#include "lookup/base_name.h"
#include "lookup/parent_steps.h"
#include "lookup/path_components.h"
#include "lookup/relocated_prefix.h"
#include "lookup/search_list.h"
#include "testkit/files.h"
#include "testkit/scratch_test.h"

namespace {

// The hosts a row holds on.
enum class Host { both, posix, windows };

// Whether a row for `host` holds on this host.
bool holds_here(Host host) {
    return host == Host::both || (host == Host::windows) == platform_windows_names;
}

// The components of `path`, each followed by '|'; "" when there are none.
std::string components_of(const char *path) {
    int count = 0;
    char **components = split_path_components(path, &count);
    std::string joined;
    for (int i = 0; components != nullptr && i < count; ++i) {
        joined += std::string(components[i]) + "|";
    }
    free_path_components(components);
    return joined;
}

// The prefixes search_list_from_string makes of `text`, each followed by '|'.
std::string prefixes_of(const char *text) {
    SearchList list{};
    search_list_from_string(text, &list);
    std::string joined;
    while (list.head != nullptr) {
        SearchListEntry *next = list.head->next;
        joined += std::string(list.head->prefix) + "|";
        std::free(list.head->prefix);
        std::free(list.head);
        list.head = next;
    }
    return joined;
}

TEST(LookupPlatform, NamesOfEachHost) {
    struct Row {
        Host host;
        const char *path;
        bool absolute;
        std::size_t root;
        const char *base;
        const char *components;
    };
    const Row rows[] = {
        {Host::both, "/usr/bin/ar", true, 1, "ar", "/|usr/|bin/|ar|"},
        {Host::both, "bin//ar", false, 0, "ar", "bin//|ar|"},
        {Host::posix, "C:\\tc\\ar.exe", false, 0, "C:\\tc\\ar.exe", "C:\\tc\\ar.exe|"},
        {Host::posix, "\\\\srv\\share\\a/b", false, 0, "b", "\\\\srv\\share\\a/|b|"},
        {Host::windows, "C:\\tc\\ar.exe", true, 3, "ar.exe", "C:\\|tc\\|ar.exe|"},
        {Host::windows, "C:/tc/", true, 3, "", "C:/|tc/|"},
        {Host::windows, "C:foo", false, 2, "foo", "C:foo|"},
        {Host::windows, "\\\\srv\\share\\a/b", true, 12, "b", "\\\\|srv\\|share\\|a/|b|"},
        {Host::windows, "\\tc\\ar", true, 1, "ar", "\\|tc\\|ar|"},
    };
    // PATH_MAX counts bytes on POSIX and UTF-16 units on Windows: 'Ω' is two
    // bytes, '漢' three, U+1F600 four bytes and a surrogate pair.
    EXPECT_EQ(platform_path_length("/\u03a9\u6f22\U0001F600"), platform_windows_names ? 5u : 10u);
    for (const Row &row : rows) {
        if (!holds_here(row.host)) {
            continue;
        }
        SCOPED_TRACE(row.path);
        EXPECT_EQ(platform_is_absolute(row.path), row.absolute);
        EXPECT_EQ(platform_root_length(row.path), row.root);
        EXPECT_STREQ(platform_base_name(row.path), row.base);
        EXPECT_EQ(components_of(row.path), row.components);
    }
}

TEST(LookupPlatform, ListsAndComponentsOfEachHost) {
    struct ListRow {
        Host host;
        const char *text;
        const char *prefixes;
    };
    for (const ListRow &row : {
             ListRow{Host::posix, "a;b:c\\", "a;b/|c\\/|"},
             ListRow{Host::windows, "a;b:c\\", "a/|b:c\\|"},
             ListRow{Host::windows, ";C:\\tc", "./|C:\\tc/|"},
         }) {
        if (holds_here(row.host)) {
            EXPECT_EQ(prefixes_of(row.text), row.prefixes) << row.text;
        }
    }

    struct SameRow {
        Host host;
        const char *a;
        const char *b;
        bool same;
    };
    // Longer than any file's name, so beyond a name's room in UTF-16 units.
    std::string long_upper = "BIN" + std::string(600, '\\');
    std::string long_lower = "bin" + std::string(600, '/');
    for (const SameRow &row : {
             SameRow{Host::both, "bin/", "bin/", true},
             SameRow{Host::both, "bin/", "bin", false},
             SameRow{Host::both, "bin/", "bin//", false},
             SameRow{Host::posix, "BIN\\", "bin/", false},
             SameRow{Host::windows, "BIN\\", "bin/", true},
             SameRow{Host::posix, "\xC3\x84/", "\xC3\xA4/", false}, // 'Ä' and 'ä'
             SameRow{Host::windows, "\xC3\x84/", "\xC3\xA4/", true},
             SameRow{Host::windows, "\xFF/", "\xFF/", true}, // not UTF-8: only the same bytes
             SameRow{Host::windows, "\xFF/", "\xFE/", false},
             SameRow{Host::posix, long_upper.c_str(), long_lower.c_str(), false},
             SameRow{Host::windows, long_upper.c_str(), long_lower.c_str(), true},
         }) {
        if (holds_here(row.host)) {
            EXPECT_EQ(platform_same_component(row.a, row.b), row.same) << row.a << " " << row.b;
        }
    }

    // Relocation compares the program's directory with the bin directory so.
    struct RelocateRow {
        Host host;
        const char *program;
        std::optional<std::string> relocated;
    };
    for (const RelocateRow &row : {
             RelocateRow{Host::posix, "C:\\TC\\BIN\\zin-ar.exe", "../lib/"},
             RelocateRow{Host::windows, "C:\\TC\\BIN\\zin-ar.exe", std::nullopt},
             RelocateRow{Host::windows, "D:\\x\\bin\\zin-ar.exe", "D:\\x\\bin\\../lib/"},
         }) {
        if (!holds_here(row.host)) {
            continue;
        }
        char *result = relocate_directory(row.program, "c:/tc/bin/", "c:/tc/lib/");
        std::optional<std::string> text;
        if (result != nullptr) {
            text = result;
        }
        std::free(result);
        EXPECT_EQ(text, row.relocated) << row.program;
    }
}

using LookupPlatformFiles = kit::ScratchTest;

TEST_F(LookupPlatformFiles, FactsAccessAndIdentity) {
    ASSERT_TRUE(kit::make_dirs(at("dir")));
    ASSERT_TRUE(kit::write_file(at("plain"), "", 0644));
    std::string plain = at("plain");
    std::string dir = at("dir");
    std::string missing = at("missing");

    FileFacts file_facts{};
    FileFacts dir_facts{};
    ASSERT_TRUE(platform_file_facts(plain.c_str(), &file_facts));
    ASSERT_TRUE(platform_file_facts(dir.c_str(), &dir_facts));
    EXPECT_TRUE(file_facts.is_regular && !file_facts.is_directory);
    EXPECT_TRUE(dir_facts.is_directory && !dir_facts.is_regular);
    EXPECT_FALSE(platform_file_facts(missing.c_str(), &file_facts));
    EXPECT_TRUE(platform_is_real_directory(dir.c_str()));
    EXPECT_FALSE(platform_is_real_directory(plain.c_str()));

    // Without an execute bit (root too) on POSIX; Windows has none to ask for.
    EXPECT_EQ(platform_access(plain.c_str(), X_OK), platform_windows_names);
    EXPECT_EQ(platform_access(dir.c_str(), X_OK), !platform_windows_names);
    EXPECT_TRUE(platform_access(plain.c_str(), R_OK));
    EXPECT_FALSE(platform_access(missing.c_str(), F_OK));

    FileIdentity one{}, other{}, self{}, expected{};
    ASSERT_TRUE(file_identity(plain.c_str(), &one));
    ASSERT_TRUE(file_identity(at("dir/../plain").c_str(), &other));
    EXPECT_TRUE(one.volume == other.volume && one.index == other.index);
    EXPECT_FALSE(one.volume == dir_facts.identity.volume && one.index == dir_facts.identity.index);
    EXPECT_FALSE(file_identity(missing.c_str(), &other));
    EXPECT_FALSE(file_identity(nullptr, &other));

    // The running program is this test, however the system was asked to
    // start it. POSIX leaves the program's path to argv[0]; the kernel's link
    // names it, as read (a program run under valgrind reads its own path there,
    // though the link itself leads to valgrind's tool).
    char *own = platform_program_path();
    EXPECT_EQ(own != nullptr, platform_windows_names);
    if (own == nullptr) {
        ASSERT_TRUE(platform_canonical_path("/proc/self/exe", &own));
    }
    ASSERT_TRUE(file_identity(own, &expected));
    std::free(own);
    ASSERT_TRUE(running_program_identity(&self));
    EXPECT_TRUE(self.volume == expected.volume && self.index == expected.index);
}

// "name/.." steps with the host's separators, on a name that begins with the
// host's root (on Windows a drive).
TEST_F(LookupPlatformFiles, ParentStepsOfEachHost) {
    ASSERT_TRUE(kit::make_dirs(at("d/real/sub")));
    ASSERT_TRUE(kit::write_file(at("d/file"), ""));
    struct Row {
        Host host;
        std::string path;
        std::string shortened;
    };
    const Row rows[] = {
        {Host::posix, at("d\\real\\..\\x"), at("d\\real\\..\\x")}, // one name
        {Host::windows, at("d\\real\\..\\x"), at("d\\x")},
        {Host::windows, at("d/real\\sub/..\\../x\\"), at("d/x\\")},
        {Host::windows, at("d\\real\\.."), at("d")},
        {Host::windows, at("d\\file\\..\\x"), at("d\\file\\..\\x")},
    };
    for (const Row &row : rows) {
        if (!holds_here(row.host)) {
            continue;
        }
        char *result = remove_parent_steps(row.path.c_str());
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result, row.shortened) << row.path;
        std::free(result);
    }
}

TEST_F(LookupPlatformFiles, CanonicalForm) {
    ASSERT_TRUE(kit::make_dirs(at("dir")));
    ASSERT_TRUE(kit::write_file(at("plain"), ""));
    char *direct = nullptr;
    char *stepped = nullptr;
    ASSERT_TRUE(platform_canonical_path(at("plain").c_str(), &direct));
    ASSERT_TRUE(platform_canonical_path(at("dir/../plain").c_str(), &stepped));
    std::string canonical = direct;
    EXPECT_EQ(stepped, canonical);
    std::free(direct);
    std::free(stepped);
    EXPECT_TRUE(platform_is_absolute(canonical.c_str())) << canonical;
    // Windows: a drive or UNC name, not the "\\?\" form the system gives.
    EXPECT_EQ(canonical.rfind("\\\\?\\", 0), std::string::npos) << canonical;
    EXPECT_FALSE(platform_canonical_path(at("missing").c_str(), &direct));
}

} // namespace
