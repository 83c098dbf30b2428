// take_b_option and build_tool_argv on hand-made argument vectors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "driver/command_line.h"
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

TEST(TakeBOption, AbsentLeavesEverything) {
    Argv args({"zin-ar", "rcs", "-b", "--B", "x-B", "B"});
    const char *directory = "untouched";
    EXPECT_EQ(BOption::absent, take_b_option(&args.argc, args.pointers.data(), &directory));
    EXPECT_EQ(6, args.argc);
    EXPECT_STREQ("untouched", directory);
    EXPECT_EQ((std::vector<std::string>{"zin-ar", "rcs", "-b", "--B", "x-B", "B"}),
              args.elements());
}

TEST(TakeBOption, ProgramNameIsNotScanned) {
    Argv args({"-Bzin", "x"});
    const char *directory = nullptr;
    EXPECT_EQ(BOption::absent, take_b_option(&args.argc, args.pointers.data(), &directory));
    EXPECT_EQ(2, args.argc);
}

TEST(TakeBOption, JoinedFormIsRemovedAndGetsASlash) {
    Argv args({"zin-ar", "rcs", "-B/opt/tc", "x.a"});
    const char *directory = nullptr;
    EXPECT_EQ(BOption::taken, take_b_option(&args.argc, args.pointers.data(), &directory));
    EXPECT_EQ(3, args.argc);
    EXPECT_STREQ("/opt/tc/", directory);
    args.release_if_new(directory);
    EXPECT_EQ((std::vector<std::string>{"zin-ar", "rcs", "x.a"}), args.elements());
    EXPECT_EQ(nullptr, args.pointers[3]);
}

TEST(TakeBOption, SeparateFormRemovesBothElements) {
    Argv args({"zin-nm", "-B", "dir/", "a.o", "b.o"});
    const char *directory = nullptr;
    EXPECT_EQ(BOption::taken, take_b_option(&args.argc, args.pointers.data(), &directory));
    EXPECT_EQ(3, args.argc);
    EXPECT_STREQ("dir/", directory);
    args.release_if_new(directory);
    EXPECT_EQ((std::vector<std::string>{"zin-nm", "a.o", "b.o"}), args.elements());
}

TEST(TakeBOption, SeparateFormAtTheEnd) {
    Argv args({"zin-nm", "a.o", "-B", "d"});
    const char *directory = nullptr;
    EXPECT_EQ(BOption::taken, take_b_option(&args.argc, args.pointers.data(), &directory));
    EXPECT_EQ(2, args.argc);
    EXPECT_STREQ("d", directory);
    args.release_if_new(directory);
    EXPECT_EQ((std::vector<std::string>{"zin-nm", "a.o"}), args.elements());
}

TEST(TakeBOption, ShortValuesStayAsTheyAre) {
    // An empty value exists only in the separate form: "-B" alone is that form.
    for (const char *value : {"x", "/", ""}) {
        auto expect_unchanged = [&](Argv args) {
            const char *directory = nullptr;
            EXPECT_EQ(BOption::taken, take_b_option(&args.argc, args.pointers.data(), &directory));
            EXPECT_STREQ(value, directory);
            args.release_if_new(directory);
            EXPECT_EQ(1, args.argc);
        };
        expect_unchanged(Argv({"zin-ar", "-B", value}));
        if (*value != '\0') {
            expect_unchanged(Argv({"zin-ar", std::string("-B") + value}));
        }
    }
}

TEST(TakeBOption, OnlyTheFirstIsTaken) {
    Argv args({"zin-ar", "-Bone", "-Btwo", "-B", "three"});
    const char *directory = nullptr;
    EXPECT_EQ(BOption::taken, take_b_option(&args.argc, args.pointers.data(), &directory));
    EXPECT_STREQ("one/", directory);
    args.release_if_new(directory);
    EXPECT_EQ((std::vector<std::string>{"zin-ar", "-Btwo", "-B", "three"}), args.elements());
    EXPECT_EQ(4, args.argc);
}

TEST(TakeBOption, SeparateValueMayItselfLookLikeAnOption) {
    Argv args({"zin-ar", "-B", "-Bx", "t"});
    const char *directory = nullptr;
    EXPECT_EQ(BOption::taken, take_b_option(&args.argc, args.pointers.data(), &directory));
    EXPECT_STREQ("-Bx/", directory);
    args.release_if_new(directory);
    EXPECT_EQ((std::vector<std::string>{"zin-ar", "t"}), args.elements());
}

TEST(TakeBOption, MissingValue) {
    Argv args({"zin-ar", "t", "-B"});
    const char *directory = nullptr;
    EXPECT_EQ(BOption::missing_value, take_b_option(&args.argc, args.pointers.data(), &directory));
    EXPECT_EQ(nullptr, directory);
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

} // namespace
