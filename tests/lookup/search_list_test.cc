// SPDX-License-Identifier: Apache-2.0
// Search lists: filling them, the lookup of a file in them and the trace.
#include "lookup/search_list.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "testkit/capture.h"
#include "testkit/files.h"
#include "testkit/launch.h"
#include "testkit/process.h"
#include "testkit/scratch_test.h"

namespace {

// The prefixes of `list` in search order.
std::vector<std::string> prefixes(const SearchList &list) {
    std::vector<std::string> result;
    for (const SearchListEntry *entry = list.head; entry != nullptr; entry = entry->next) {
        result.emplace_back(entry->prefix);
    }
    return result;
}

// The module never releases lists; the tests do, so that leak checkers stay quiet.
void release(SearchList *list) {
    while (list->head != nullptr) {
        SearchListEntry *next = list->head->next;
        std::free(list->head->prefix);
        std::free(list->head);
        list->head = next;
    }
    list->max_prefix_length = 0;
}

// search_list_find as a std::string, "" for null; frees the found path.
std::string find(const SearchList &list, const std::string &name, int mode) {
    char *found = search_list_find(&list, name.c_str(), mode);
    std::string result = found != nullptr ? found : "";
    std::free(found);
    return result;
}

class SearchListTest : public kit::ScratchTest {
  protected:
    void TearDown() override {
        search_list_set_trace(false);
        release(&list);
        ScratchTest::TearDown();
    }

    // A file of `mode` at `relative` in the scratch directory, its directory made first.
    void make_file(const std::string &relative, mode_t mode) {
        std::string path = at(relative);
        ASSERT_TRUE(kit::make_dirs(path.substr(0, path.rfind('/'))));
        ASSERT_TRUE(kit::write_file(path, "", mode));
    }

    SearchList list{};
};

TEST_F(SearchListTest, FromStringMakesOnePrefixPerPiece) {
    struct Row {
        const char *text;
        std::vector<std::string> prefixes;
        std::int32_t longest;
    };
    const Row rows[] = {
        {"a::b:", {"a/", "./", "b/", "./"}, 2},
        {":", {"./", "./"}, 2},
        {"", {"./"}, 2},
        {"/usr/bin/:/:x//", {"/usr/bin/", "/", "x//"}, 9},
    };
    for (const Row &row : rows) {
        search_list_from_string(row.text, &list);
        EXPECT_EQ(prefixes(list), row.prefixes) << "'" << row.text << "'";
        EXPECT_EQ(list.max_prefix_length, row.longest) << "'" << row.text << "'";
        release(&list);
    }
}

TEST_F(SearchListTest, FromStringAppendsBehindExistingEntries) {
    search_list_append(&list, "first");
    search_list_from_string("a:b", &list);
    EXPECT_EQ(prefixes(list), (std::vector<std::string>{"first", "a/", "b/"}));
}

TEST_F(SearchListTest, FromEnvReadsSetVariablesOnly) {
    const char *variable = "ZIN_LOOKUP_TEST_DIRS";
    unsetenv(variable);
    search_list_from_env(variable, &list);
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.max_prefix_length, 0);

    setenv(variable, "", 1);
    search_list_from_env(variable, &list);
    EXPECT_EQ(prefixes(list), (std::vector<std::string>{"./"}));

    setenv(variable, "/x:y/", 1);
    search_list_from_env(variable, &list);
    EXPECT_EQ(prefixes(list), (std::vector<std::string>{"./", "/x/", "y/"}));
    release(&list);

    // A mebibyte of entries, far more than one string of an environment
    // passed through execve may hold on Linux: every one is an entry.
    make_file("found/zin-ar", 0755);
    std::string value;
    std::size_t entries = 0;
    while (value.size() < (1u << 20)) {
        value += "/nonexistent/zin-" + std::to_string(entries++) + ":";
    }
    setenv(variable, (value + at("found")).c_str(), 1);
    search_list_from_env(variable, &list);
    unsetenv(variable);
    EXPECT_EQ(prefixes(list).size(), entries + 1);
    EXPECT_EQ(find(list, "zin-ar", X_OK), at("found/zin-ar"));
}

TEST_F(SearchListTest, AddKeepsPrefixesAsGivenAndTracksTheLongest) {
    search_list_append(&list, "x");
    EXPECT_EQ(list.max_prefix_length, 1);
    search_list_prepend(&list, "");
    EXPECT_EQ(list.max_prefix_length, 1);
    search_list_append(&list, "dir/");
    EXPECT_EQ(list.max_prefix_length, 4);
    search_list_add(&list, "ab", true);
    EXPECT_EQ(list.max_prefix_length, 4);
    search_list_add(&list, "x", false);
    EXPECT_EQ(prefixes(list), (std::vector<std::string>{"ab", "", "x", "dir/", "x"}));
}

// A directory is one prefix, ':' and all, ending in '/' as a piece of a string would.
TEST_F(SearchListTest, AppendDirectoryTakesItWhole) {
    search_list_append(&list, "first");
    search_list_append_directory(&list, "/opt/a:b");
    search_list_append_directory(&list, "/x/");
    search_list_append_directory(&list, "");
    EXPECT_EQ(prefixes(list), (std::vector<std::string>{"first", "/opt/a:b/", "/x/", "./"}));
    EXPECT_EQ(list.max_prefix_length, 9);
}

TEST_F(SearchListTest, PrefixesAreCopies) {
    char prefix[] = "dir/";
    search_list_append(&list, prefix);
    prefix[0] = 'X';
    EXPECT_EQ(prefixes(list), (std::vector<std::string>{"dir/"}));
}

TEST_F(SearchListTest, FindConcatenatesPrefixAndName) {
    make_file("xar", 0755);
    search_list_prepend(&list, at("x").c_str());
    EXPECT_EQ(find(list, "ar", X_OK), at("xar"));

    // The empty prefix tries the bare name in the current directory.
    char *saved = getcwd(nullptr, 0);
    ASSERT_NE(saved, nullptr);
    ASSERT_EQ(chdir(scratch_.c_str()), 0);
    SearchList bare{};
    search_list_prepend(&bare, "");
    std::string found = find(bare, "xar", X_OK);
    EXPECT_EQ(chdir(saved), 0);
    std::free(saved);
    release(&bare);
    EXPECT_EQ(found, "xar");
}

TEST_F(SearchListTest, FindSkipsDirectoriesAndTakesTheFirstMatch) {
    ASSERT_TRUE(kit::make_dirs(at("one/tool")));
    make_file("two/tool", 0755);
    make_file("three/tool", 0755);
    search_list_from_string(
        (at("missing") + ":" + at("one") + ":" + at("two") + ":" + at("three")).c_str(), &list);

    EXPECT_EQ(find(list, "tool", X_OK), at("two/tool"));
    EXPECT_EQ(find(list, "absent", F_OK), "");
}

// The skipped file is passed over by identity, under any name and through
// links, as a directory is; other files are found as before.
TEST_F(SearchListTest, FindExceptPassesOverOneFile) {
    ASSERT_TRUE(kit::make_dirs(at("two")));
    make_file("one/wrapper", 0755);
    ASSERT_EQ(symlink(at("one/wrapper").c_str(), at("two/tool").c_str()), 0);
    make_file("three/tool", 0755);
    FileIdentity skip{};
    ASSERT_TRUE(file_identity(at("two/tool").c_str(), &skip));
    search_list_from_string((at("two") + ":" + at("three")).c_str(), &list);

    auto find_except = [&](const std::string &name, const FileIdentity *identity) {
        char *found = search_list_find_except(&list, name.c_str(), X_OK, identity);
        std::string result = found != nullptr ? found : "";
        std::free(found);
        return result;
    };
    EXPECT_EQ(find_except("tool", nullptr), at("two/tool"));
    EXPECT_EQ(find_except("tool", &skip), at("three/tool"));
    EXPECT_EQ(find_except(at("two/tool"), &skip), "") << "an absolute name too";
    EXPECT_EQ(find_except(at("three/tool"), &skip), at("three/tool"));
    EXPECT_EQ(find_except(at("missing"), &skip), "");
}

TEST_F(SearchListTest, FindTestsAnAbsoluteNameOnlyItself) {
    make_file("dir/tool", 0755);

    // Found in an empty list, and a directory is no obstacle for an absolute name.
    EXPECT_EQ(find(list, at("dir/tool"), X_OK), at("dir/tool"));
    EXPECT_EQ(find(list, at("dir"), X_OK), at("dir"));

    // The entries are never tried for an absolute name: "<scratch>/" + "/tool"
    // would name nothing anyway, but "<scratch>/dir" + "/tool" would.
    search_list_append(&list, at("dir").c_str());
    EXPECT_EQ(find(list, "/tool", X_OK), "");
}

TEST_F(SearchListTest, FindInAnEmptyListFailsForRelativeNames) {
    make_file("tool", 0755);
    EXPECT_EQ(find(list, "tool", F_OK), "");
    EXPECT_EQ(find(list, "", F_OK), "");
}

TEST_F(SearchListTest, FindHonoursTheAccessMode) {
    make_file("one/tool", 0644);
    make_file("two/tool", 0755);
    make_file("one/plugin", 0311);
    make_file("two/plugin", 0644);
    search_list_from_string((at("one") + ":" + at("two")).c_str(), &list);

    // Checked as user 65534: root would pass access() for any read test.
    kit::ChildOutcome child = kit::run_in_child(
        [&] {
            if (find(list, "tool", X_OK) != at("two/tool")) {
                return 1;
            }
            if (find(list, "plugin", R_OK) != at("two/plugin")) {
                return 2;
            }
            if (find(list, "tool", R_OK) != at("one/tool")) {
                return 3;
            }
            return find(list, at("one/plugin"), R_OK).empty() ? 0 : 4;
        },
        true);
    EXPECT_EQ(kit::exit_code(child.wait_status), 0);
}

TEST_F(SearchListTest, TraceDescribesSplitsAndSearches) {
    make_file("tool", 0755);
    std::string missing = at("missing");
    std::string tool = at("tool");
    SearchList empty{};
    SearchList one{};
    search_list_append(&one, (scratch_ + "/").c_str());
    struct Row {
        const char *what;
        std::function<void()> action;
        std::string trace;
    };
    const Row rows[] = {
        {"split", [&] { search_list_from_string("a:", &list); },
         "Convert string 'a:' into prefixes, separator = ':'\n"
         "  - add prefix: a/\n"
         "  - add prefix: ./\n"},
        {"directory taken whole", [&] { search_list_append_directory(&list, "a:b"); },
         "  - add prefix: a:b/\n"},
        {"unset variable, added prefix",
         [&] {
             search_list_from_env("ZIN_LOOKUP_TEST_UNSET_VARIABLE", &list);
             search_list_append(&list, "p/");
         },
         ""},
        {"absolute name missing, no entries", [&] { EXPECT_EQ(find(empty, missing, F_OK), ""); },
         "Looking for '" + missing +
             "'\n  - failed to locate using absolute path\n  - failed: no entries in prefix "
             "list\n"},
        {"relative name, no entries", [&] { EXPECT_EQ(find(empty, "tool", F_OK), ""); },
         "Looking for 'tool'\n  - failed: no entries in prefix list\n"},
        {"absolute name missing", [&] { EXPECT_EQ(find(one, missing, F_OK), ""); },
         "Looking for '" + missing + "'\n  - failed to locate using absolute path\n"},
        {"absolute name found", [&] { EXPECT_EQ(find(one, tool, X_OK), tool); },
         "Looking for '" + tool + "'\n  - found: absolute path\n"},
        {"relative names found and not",
         [&] {
             EXPECT_EQ(find(one, "tool", X_OK), tool);
             EXPECT_EQ(find(one, "none", X_OK), "");
         },
         "Looking for 'tool'\nLooking for 'none'\n"},
        {"trace off",
         [&] {
             search_list_set_trace(false);
             search_list_from_string("a", &list);
             search_list_append_directory(&list, "b:c");
             EXPECT_EQ(find(one, "none", X_OK), "");
         },
         ""},
    };
    search_list_set_trace(true);
    for (const Row &row : rows) {
        EXPECT_EQ(kit::capture_stderr(row.action), row.trace) << row.what;
    }
    release(&one);
}

} // namespace
