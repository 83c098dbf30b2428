// SPDX-License-Identifier: Apache-2.0
// take_b_option and build_tool_argv on hand-made argument vectors.
#include "driver/command_line.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "driver/personality.h"

namespace {

const WrapperPersonality &ar = wrapper_personalities[0];
const WrapperPersonality &nm = wrapper_personalities[1];

// The strings of a null-terminated vector, up to the first null pointer.
std::vector<std::string> until_null(const char *const *vector) {
    std::vector<std::string> result;
    for (; *vector != nullptr; ++vector) {
        result.emplace_back(*vector);
    }
    return result;
}

// An editable, null-terminated argv over copies of the strings.
struct Argv {
    // Not copied or moved: the pointers lead into `storage`.
    Argv(const Argv &) = delete;
    Argv &operator=(const Argv &) = delete;
    explicit Argv(std::vector<std::string> elements) : storage(std::move(elements)) {
        for (std::string &element : storage) {
            pointers.push_back(element.data());
        }
        pointers.push_back(nullptr);
        argc = static_cast<int>(storage.size());
    }
    // The elements up to the first null pointer.
    std::vector<std::string> elements() const { return until_null(pointers.data()); }
    // Frees `text` when it is a new string rather than part of an element.
    void release_if_new(const char *text) const {
        for (const std::string &element : storage) {
            if (text >= element.data() && text <= element.data() + element.size()) {
                return;
            }
        }
        std::free(const_cast<char *>(text));
    }
    std::vector<std::string> storage;
    std::vector<char *> pointers;
    int argc;
};

TEST(TakeBOption, Table) {
    using Elements = std::vector<std::string>;
    using enum BOption;
    struct Row {
        const char *what;
        Elements argv;
        BOption result;
        const char *directory; // null: left as it was
        Elements remaining;    // the argv that stays, in order; empty: not checked
    };
    // clang-format off
    const Row rows[] = {
        {"look-alikes are no option", {"zin-ar", "rcs", "-b", "--B", "x-B", "B"}, absent, nullptr,
         {"zin-ar", "rcs", "-b", "--B", "x-B", "B"}},
        {"the program name is not scanned", {"-Bzin", "x"}, absent, nullptr, {"-Bzin", "x"}},
        {"joined form gets a slash", {"zin-ar", "rcs", "-B/opt/tc", "x.a"}, taken, "/opt/tc/",
         {"zin-ar", "rcs", "x.a"}},
        {"separate form removes both", {"zin-nm", "-B", "dir/", "a.o", "b.o"}, taken, "dir/",
         {"zin-nm", "a.o", "b.o"}},
        {"separate form at the end", {"zin-nm", "a.o", "-B", "dir"}, taken, "dir/",
         {"zin-nm", "a.o"}},
        // One-character and empty values stay as they are; an empty value
        // exists only in the separate form: "-B" alone is that form.
        {"one character, separate", {"zin-ar", "-B", "x"}, taken, "x", {"zin-ar"}},
        {"one character, joined", {"zin-ar", "-Bx"}, taken, "x", {"zin-ar"}},
        {"slash, separate", {"zin-ar", "-B", "/"}, taken, "/", {"zin-ar"}},
        {"slash, joined", {"zin-ar", "-B/"}, taken, "/", {"zin-ar"}},
        {"empty, separate", {"zin-ar", "-B", ""}, taken, "", {"zin-ar"}},
        {"only the first is taken", {"zin-ar", "-Bone", "-Btwo", "-B", "three"}, taken, "one/",
         {"zin-ar", "-Btwo", "-B", "three"}},
        {"a separate value may look like an option", {"zin-ar", "-B", "-Bx", "t"}, taken, "-Bx/",
         {"zin-ar", "t"}},
        {"missing value", {"zin-ar", "t", "-B"}, missing_value, nullptr, {}},
    };
    // clang-format on
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Argv args(row.argv);
        const char *directory = "untouched";
        EXPECT_EQ(row.result, take_b_option(&args.argc, args.pointers.data(), &directory));
        EXPECT_STREQ(row.directory != nullptr ? row.directory : "untouched", directory);
        if (row.result == taken) {
            args.release_if_new(directory);
        }
        if (!row.remaining.empty()) {
            EXPECT_EQ(row.remaining, args.elements()) << "up to the first null pointer";
            EXPECT_EQ(row.remaining.size(), static_cast<std::size_t>(args.argc));
        }
    }
}

// The tool's argv for each personality: the tool and the plugin in front, and
// only zin-ar's first argument given a dash when it has none.
TEST(BuildToolArgv, Table) {
    using Elements = std::vector<std::string>;
    struct Row {
        const WrapperPersonality &personality;
        Elements argv;
        Elements tool_argv; // [0] and [2] are the tool and the plugin handed in
    };
    const Row rows[] = {
        {nm, {"zin-nm", "a.o", "b.o"}, {"/t/nm", "--plugin", "/p.so", "a.o", "b.o"}},
        {ar, {"zin-ar"}, {"ar", "--plugin", "p"}},
        {ar, {}, {"ar", "--plugin", "p"}}, // argc 0 copies nothing
        {ar, {"zin-ar", "rcs", "rcs"}, {"ar", "--plugin", "p", "-rcs", "rcs"}},
        {ar, {"zin-ar", "-rcs", "rcs"}, {"ar", "--plugin", "p", "-rcs", "rcs"}},
        {ar, {"zin-ar", "", "rcs"}, {"ar", "--plugin", "p", "-", "rcs"}},
        {ar, {"zin-ar", "--", "rcs"}, {"ar", "--plugin", "p", "--", "rcs"}},
        {ar, {"zin-ar", "t-", "rcs"}, {"ar", "--plugin", "p", "-t-", "rcs"}},
        {nm, {"zin-nm", "rcs", ""}, {"t", "--plugin", "p", "rcs", ""}},
        {wrapper_personalities[2], {"zin-ranlib", "rcs", ""}, {"t", "--plugin", "p", "rcs", ""}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.argv));
        Argv args(row.argv);
        const char **tool_argv =
            build_tool_argv(row.personality, args.argc, args.pointers.data(),
                            row.tool_argv[0].c_str(), row.tool_argv[2].c_str());
        EXPECT_EQ(row.tool_argv, until_null(tool_argv));
        // argc + 4 slots: those past the vector are null.
        for (std::size_t i = row.tool_argv.size(); i < row.argv.size() + 4; ++i) {
            EXPECT_EQ(nullptr, tool_argv[i]) << i;
        }
        // The caller's argv is edited in place, as the tool sees it: a changed
        // argument is a new string, any other stays the caller's own.
        for (std::size_t i = 1; i < row.argv.size(); ++i) {
            EXPECT_STREQ(row.tool_argv[i + 2].c_str(), args.pointers[i]);
            EXPECT_EQ(row.tool_argv[i + 2] == row.argv[i],
                      args.pointers[i] == args.storage[i].data());
            args.release_if_new(args.pointers[i]);
        }
        std::free(tool_argv);
    }
}

// Each wrapper that runs another as its tool puts one pair in front; only
// whole pairs at the very start count.
TEST(LeadingPluginOptions, CountsWholePairsAtTheStart) {
    struct Case {
        std::vector<std::string> argv;
        int pairs;
    };
    for (const Case &c : std::vector<Case>{
             {{"zin-ar"}, 0},
             {{"zin-ar", "rcs", "--plugin", "p"}, 0},
             {{"zin-ar", "--plugin", "p", "rcs"}, 1},
             {{"zin-ar", "--plugin", "q", "--plugin", "p", "t"}, 2},
             {{"zin-ar", "--plugin"}, 0}, // no value: no pair
             {{"zin-ar", "--plugin", "p", "--plugin"}, 1},
             {{"zin-ar", "--plugin=p", "--plugin", "p"}, 0}, // the joined form is the caller's
         }) {
        Argv args(c.argv);
        EXPECT_EQ(leading_plugin_options(args.argc, args.pointers.data()), c.pairs)
            << ::testing::PrintToString(c.argv);
    }
}

} // namespace
