// Search lists: filling them, the lookup of a file in them and the trace.
#include "lookup/search_list.h"

#include "scratch_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <grp.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

// The prefixes of `list` in search order.
std::vector<std::string> prefixes(const SearchList &list) {
    std::vector<std::string> result;
    for (const SearchListEntry *entry = list.head; entry != nullptr; entry = entry->next)
        result.emplace_back(entry->prefix);
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

// Runs `check` in a child process as the unprivileged user 65534 and returns
// its exit status (0 is success), or -1 when the child did not exit normally.
// Root passes access() whatever the mode bits say, so permission cases cannot
// be checked as root.
template <typename Check>
int run_unprivileged(Check check) {
    pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(100);
        _exit(check());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

class SearchListTest : public testing::Test {
  protected:
    void SetUp() override {
        scratch = make_scratch_dir();
        ASSERT_FALSE(scratch.empty());
    }
    void TearDown() override {
        search_list_set_trace(false);
        release(&list);
        remove_tree(scratch);
    }

    // The scratch path of `relative`.
    std::string at(const std::string &relative) const { return scratch + "/" + relative; }

    std::string scratch;
    SearchList list{};
};

TEST_F(SearchListTest, FromStringMakesOnePrefixPerPiece) {
    search_list_from_string("a::b:", &list);
    EXPECT_EQ(prefixes(list), (std::vector<std::string>{"a/", "./", "b/", "./"}));
    release(&list);

    search_list_from_string(":", &list);
    EXPECT_EQ(prefixes(list), (std::vector<std::string>{"./", "./"}));
    release(&list);

    search_list_from_string("", &list);
    EXPECT_EQ(prefixes(list), (std::vector<std::string>{"./"}));
    release(&list);

    search_list_from_string("/usr/bin/:/:x//", &list);
    EXPECT_EQ(prefixes(list), (std::vector<std::string>{"/usr/bin/", "/", "x//"}));
    EXPECT_EQ(list.max_prefix_length, 9);
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
    unsetenv(variable);
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

TEST_F(SearchListTest, PrefixesAreCopies) {
    char prefix[] = "dir/";
    search_list_append(&list, prefix);
    prefix[0] = 'X';
    EXPECT_EQ(prefixes(list), (std::vector<std::string>{"dir/"}));
}

TEST_F(SearchListTest, FindConcatenatesPrefixAndName) {
    ASSERT_TRUE(write_file(at("xar"), 0755));
    search_list_prepend(&list, at("x").c_str());
    EXPECT_EQ(find(list, "ar", X_OK), at("xar"));

    // The empty prefix tries the bare name in the current directory.
    char *saved = getcwd(nullptr, 0);
    ASSERT_NE(saved, nullptr);
    ASSERT_EQ(chdir(scratch.c_str()), 0);
    SearchList bare{};
    search_list_prepend(&bare, "");
    std::string found = find(bare, "xar", X_OK);
    EXPECT_EQ(chdir(saved), 0);
    std::free(saved);
    release(&bare);
    EXPECT_EQ(found, "xar");
}

TEST_F(SearchListTest, FindSkipsDirectoriesAndTakesTheFirstMatch) {
    for (const char *dir : {"one", "two", "three"})
        ASSERT_TRUE(make_dir(at(dir)));
    ASSERT_TRUE(make_dir(at("one/tool")));
    ASSERT_TRUE(write_file(at("two/tool"), 0755));
    ASSERT_TRUE(write_file(at("three/tool"), 0755));
    search_list_from_string(
        (at("missing") + ":" + at("one") + ":" + at("two") + ":" + at("three")).c_str(), &list);

    EXPECT_EQ(find(list, "tool", X_OK), at("two/tool"));
    EXPECT_EQ(find(list, "absent", F_OK), "");
}

TEST_F(SearchListTest, FindTestsAnAbsoluteNameOnlyItself) {
    ASSERT_TRUE(make_dir(at("dir")));
    ASSERT_TRUE(write_file(at("dir/tool"), 0755));

    // Found in an empty list, and a directory is no obstacle for an absolute name.
    EXPECT_EQ(find(list, at("dir/tool"), X_OK), at("dir/tool"));
    EXPECT_EQ(find(list, at("dir"), X_OK), at("dir"));

    // The entries are never tried for an absolute name: "<scratch>/" + "/tool"
    // would name nothing anyway, but "<scratch>/dir" + "/tool" would.
    search_list_append(&list, at("dir").c_str());
    EXPECT_EQ(find(list, "/tool", X_OK), "");
}

TEST_F(SearchListTest, FindInAnEmptyListFailsForRelativeNames) {
    ASSERT_TRUE(write_file(at("tool"), 0755));
    EXPECT_EQ(find(list, "tool", F_OK), "");
    EXPECT_EQ(find(list, "", F_OK), "");
}

TEST_F(SearchListTest, FindHonoursTheAccessMode) {
    for (const char *dir : {"one", "two"})
        ASSERT_TRUE(make_dir(at(dir)));
    ASSERT_TRUE(write_file(at("one/tool"), 0644));
    ASSERT_TRUE(write_file(at("two/tool"), 0755));
    ASSERT_TRUE(write_file(at("one/plugin"), 0311));
    ASSERT_TRUE(write_file(at("two/plugin"), 0644));
    search_list_from_string((at("one") + ":" + at("two")).c_str(), &list);

    // Checked as user 65534: root would pass access() for any read test.
    int status = run_unprivileged([&] {
        if (find(list, "tool", X_OK) != at("two/tool"))
            return 1;
        if (find(list, "plugin", R_OK) != at("two/plugin"))
            return 2;
        if (find(list, "tool", R_OK) != at("one/tool"))
            return 3;
        if (!find(list, at("one/plugin"), R_OK).empty())
            return 4;
        return 0;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(SearchListTest, TraceDescribesSplitsAndSearches) {
    ASSERT_TRUE(write_file(at("tool"), 0755));
    search_list_set_trace(true);

    testing::internal::CaptureStderr();
    search_list_from_string("a:", &list);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Convert string 'a:' into prefixes, separator = ':'\n"
              "  - add prefix: a/\n"
              "  - add prefix: ./\n");
    release(&list);

    testing::internal::CaptureStderr();
    search_list_from_env("ZIN_LOOKUP_TEST_UNSET_VARIABLE", &list);
    search_list_append(&list, "p/");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    release(&list);

    std::string missing = at("missing");
    testing::internal::CaptureStderr();
    EXPECT_EQ(find(list, missing, F_OK), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Looking for '" + missing +
                  "'\n"
                  "  - failed to locate using absolute path\n"
                  "  - failed: no entries in prefix list\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(find(list, "tool", F_OK), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Looking for 'tool'\n  - failed: no entries in prefix list\n");

    search_list_append(&list, (scratch + "/").c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(find(list, missing, F_OK), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Looking for '" + missing + "'\n  - failed to locate using absolute path\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(find(list, at("tool"), X_OK), at("tool"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Looking for '" + at("tool") + "'\n  - found: absolute path\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(find(list, "tool", X_OK), at("tool"));
    EXPECT_EQ(find(list, "none", X_OK), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Looking for 'tool'\nLooking for 'none'\n");

    search_list_set_trace(false);
    testing::internal::CaptureStderr();
    search_list_from_string("a", &list);
    EXPECT_EQ(find(list, "none", X_OK), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

} // namespace
