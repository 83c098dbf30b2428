// SPDX-License-Identifier: Apache-2.0
// take_b_option and build_tool_argv on hand-made argument vectors.
#include "driver/command_line.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "driver/personality.h"

namespace {

const WrapperPersonality &ar = wrapper_personalities[0];
const WrapperPersonality &nm = wrapper_personalities[1];

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
    std::vector<std::string> elements() const {
        std::vector<std::string> result;
        for (const char *const *at = pointers.data(); *at != nullptr; ++at) {
            result.emplace_back(*at);
        }
        return result;
    }
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

std::vector<std::string> until_null(const char *const *vector) {
    std::vector<std::string> result;
    for (; *vector != nullptr; ++vector) {
        result.emplace_back(*vector);
    }
    return result;
}

TEST(TakeBOption, Table) {
    using Elements = std::vector<std::string>;
    struct Row {
        const char *what;
        Elements argv;
        BOption result;
        const char *directory;             // null: left as it was
        std::optional<Elements> remaining; // the argv that stays, in order
    };
    const Row rows[] = {
        {"look-alikes are no option",
         {"zin-ar", "rcs", "-b", "--B", "x-B", "B"},
         BOption::absent,
         nullptr,
         Elements{"zin-ar", "rcs", "-b", "--B", "x-B", "B"}},
        {"the program name is not scanned",
         {"-Bzin", "x"},
         BOption::absent,
         nullptr,
         Elements{"-Bzin", "x"}},
        {"joined form gets a slash",
         {"zin-ar", "rcs", "-B/opt/tc", "x.a"},
         BOption::taken,
         "/opt/tc/",
         Elements{"zin-ar", "rcs", "x.a"}},
        {"separate form removes both",
         {"zin-nm", "-B", "dir/", "a.o", "b.o"},
         BOption::taken,
         "dir/",
         Elements{"zin-nm", "a.o", "b.o"}},
        {"separate form at the end",
         {"zin-nm", "a.o", "-B", "dir"},
         BOption::taken,
         "dir/",
         Elements{"zin-nm", "a.o"}},
        // One-character and empty values stay as they are; an empty value
        // exists only in the separate form: "-B" alone is that form.
        {"one character, separate", {"zin-ar", "-B", "x"}, BOption::taken, "x", Elements{"zin-ar"}},
        {"one character, joined", {"zin-ar", "-Bx"}, BOption::taken, "x", Elements{"zin-ar"}},
        {"slash, separate", {"zin-ar", "-B", "/"}, BOption::taken, "/", Elements{"zin-ar"}},
        {"slash, joined", {"zin-ar", "-B/"}, BOption::taken, "/", Elements{"zin-ar"}},
        {"empty, separate", {"zin-ar", "-B", ""}, BOption::taken, "", Elements{"zin-ar"}},
        {"only the first is taken",
         {"zin-ar", "-Bone", "-Btwo", "-B", "three"},
         BOption::taken,
         "one/",
         Elements{"zin-ar", "-Btwo", "-B", "three"}},
        {"a separate value may look like an option",
         {"zin-ar", "-B", "-Bx", "t"},
         BOption::taken,
         "-Bx/",
         Elements{"zin-ar", "t"}},
        {"missing value", {"zin-ar", "t", "-B"}, BOption::missing_value, nullptr, std::nullopt},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Argv args(row.argv);
        const char *directory = "untouched";
        EXPECT_EQ(row.result, take_b_option(&args.argc, args.pointers.data(), &directory));
        EXPECT_STREQ(row.directory != nullptr ? row.directory : "untouched", directory);
        if (row.result == BOption::taken) {
            args.release_if_new(directory);
        }
        if (row.remaining) {
            EXPECT_EQ(*row.remaining, args.elements()) << "up to the first null pointer";
            EXPECT_EQ(row.remaining->size(), static_cast<std::size_t>(args.argc));
        }
    }
}

TEST(BuildToolArgv, PluginGoesBeforeTheArguments) {
    Argv args({"zin-nm", "a.o", "b.o"});
    const char **tool_argv = build_tool_argv(nm, args.argc, args.pointers.data(), "/t/nm", "/p.so");
    EXPECT_EQ((std::vector<std::string>{"/t/nm", "--plugin", "/p.so", "a.o", "b.o"}),
              until_null(tool_argv));
    // argc + 4 slots: the last two are null.
    EXPECT_EQ(nullptr, tool_argv[5]);
    EXPECT_EQ(nullptr, tool_argv[6]);
    std::free(tool_argv);
}

TEST(BuildToolArgv, NoArguments) {
    Argv args({"zin-ar"});
    const char **tool_argv = build_tool_argv(ar, args.argc, args.pointers.data(), "ar", "p");
    EXPECT_EQ((std::vector<std::string>{"ar", "--plugin", "p"}), until_null(tool_argv));
    std::free(tool_argv);
}

TEST(BuildToolArgv, ArgcZeroCopiesNothing) {
    char *empty[] = {nullptr};
    const char **tool_argv = build_tool_argv(ar, 0, empty, "ar", "p");
    EXPECT_EQ((std::vector<std::string>{"ar", "--plugin", "p"}), until_null(tool_argv));
    std::free(tool_argv);
}

TEST(BuildToolArgv, ArDashRule) {
    struct Case {
        std::string first;
        std::string expected;
    };
    for (const Case &c : std::vector<Case>{
             {"rcs", "-rcs"}, {"-rcs", "-rcs"}, {"", "-"}, {"--", "--"}, {"t-", "-t-"}}) {
        Argv args({"zin-ar", c.first, "rcs"});
        const char **tool_argv = build_tool_argv(ar, args.argc, args.pointers.data(), "ar", "p");
        EXPECT_EQ((std::vector<std::string>{"ar", "--plugin", "p", c.expected, "rcs"}),
                  until_null(tool_argv))
            << "first argument '" << c.first << "'";
        // The caller's argv is edited in place, as the tool sees it.
        EXPECT_STREQ(c.expected.c_str(), args.pointers[1]);
        args.release_if_new(args.pointers[1]);
        std::free(tool_argv);
    }
}

TEST(BuildToolArgv, OtherPersonalitiesNeverChangeArguments) {
    for (const WrapperPersonality *personality :
         {&wrapper_personalities[1], &wrapper_personalities[2]}) {
        Argv args({personality->wrapper_name, "rcs", ""});
        const char **tool_argv =
            build_tool_argv(*personality, args.argc, args.pointers.data(), "t", "p");
        EXPECT_EQ((std::vector<std::string>{"t", "--plugin", "p", "rcs", ""}),
                  until_null(tool_argv));
        EXPECT_EQ(args.storage[1].data(), args.pointers[1]);
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
