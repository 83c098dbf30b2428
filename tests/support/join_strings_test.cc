// SPDX-License-Identifier: Apache-2.0
// String joining.
#include "support/join_strings.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

// The joining family accepts exactly the piece lists that end with nullptr:
// a forgotten terminator is a compile-time error, not a run-time overrun.
template <typename... Pieces>
concept Joinable = requires(Pieces... pieces) { join_strings(pieces...); };
template <typename... Pieces>
concept Measurable = requires(Pieces... pieces) { join_strings_length(pieces...); };
static_assert(Joinable<const char *, std::nullptr_t>);
static_assert(Joinable<std::nullptr_t>);
static_assert(Joinable<char *, const char *, std::nullptr_t>);
static_assert(!Joinable<>);
static_assert(!Joinable<const char *>);
static_assert(!Joinable<std::nullptr_t, const char *>);
static_assert(!Joinable<const char *, int, std::nullptr_t>);
static_assert(!Measurable<const char *, const char *>);

const char *const no_piece = nullptr; // a null piece met at run time

TEST(JoinStringsTest, EmptyListGivesNewEmptyString) {
    char *first = join_strings(nullptr);
    char *second = join_strings(nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "");
    EXPECT_NE(first, second);
    std::free(first);
    std::free(second);
}

// The allocating members of the family: what each call makes.
TEST(JoinStringsTest, JoinedStrings) {
    struct Row {
        const char *what;
        char *(*join)();
        const char *expected;
    };
    const Row rows[] = {
        {"no separator", [] { return join_strings("zin-", "ar", nullptr); }, "zin-ar"},
        {"empty pieces change nothing",
         [] { return join_strings("", "zin-", "", "", "ar", "", nullptr); }, "zin-ar"},
        {"mutable and const pieces",
         [] {
             char mutable_piece[] = "lib";
             const std::string tail = "exec/";
             return join_strings(mutable_piece, tail.c_str(), nullptr);
         },
         "libexec/"},
        {"a null piece ends the list", [] { return join_strings("a", no_piece, "b", nullptr); },
         "a"},
        {"rejoin of no old string", [] { return rejoin_strings(nullptr, "a", "b", nullptr); },
         "ab"},
        // The old block is freed only after the copy: a sanitizer build would
        // report a use after free otherwise.
        {"rejoin with the old string as first piece",
         [] {
             char *old = join_strings("/usr/", nullptr);
             return rejoin_strings(old, old, "lib/", nullptr);
         },
         "/usr/lib/"},
    };
    for (const Row &row : rows) {
        char *joined = row.join();
        EXPECT_STREQ(joined, row.expected) << row.what;
        std::free(joined);
    }
}

TEST(JoinStringsLengthTest, AddsPieceLengthsUpToANullPiece) {
    EXPECT_EQ(join_strings_length(nullptr), 0u);
    EXPECT_EQ(join_strings_length("ab", "", "c", nullptr), 3u);
    EXPECT_EQ(join_strings_length("ab", no_piece, "c", nullptr), 2u);
}

TEST(JoinStringsIntoTest, WritesPiecesAndOneNulOnly) {
    char buffer[10];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(join_strings_into(buffer, nullptr), buffer);
    EXPECT_EQ(std::string(buffer, 2), std::string("\0x", 2));
    EXPECT_EQ(join_strings_into(buffer, "ab", "", "cde", nullptr), buffer);
    EXPECT_EQ(std::string(buffer, 7), std::string("abcde\0x", 7));
}

TEST(JoinStringsIntoTest, FitsExactlyLengthPlusOne) {
    char buffer[7];
    ASSERT_EQ(join_strings_length("zin-", "ar", nullptr) + 1, sizeof buffer);
    EXPECT_STREQ(join_strings_into(buffer, "zin-", "ar", nullptr), "zin-ar");
}

class JoinStringsStaticTest : public ::testing::Test {
  protected:
    void TearDown() override { join_strings_buffer = nullptr; }
};

TEST_F(JoinStringsStaticTest, WritesIntoTheBufferSetOnEntry) {
    EXPECT_EQ(join_strings_buffer, nullptr) << "none before the first is set";
    char first[16];
    char second[16];
    join_strings_buffer = first;
    EXPECT_EQ(join_strings_static("zin-", "nm", nullptr), first);
    EXPECT_STREQ(first, "zin-nm");
    join_strings_buffer = second;
    EXPECT_EQ(join_strings_static("ran", "", "lib", nullptr), second);
    EXPECT_STREQ(second, "ranlib");
    EXPECT_STREQ(first, "zin-nm");
}

TEST_F(JoinStringsStaticTest, EmptyListStoresOnlyTheNul) {
    char buffer[2] = {'x', 'x'};
    join_strings_buffer = buffer;
    EXPECT_EQ(join_strings_static(nullptr), buffer);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'x');
}

TEST(RejoinStringsTest, GrowsAStringInALoop) {
    char *grown = join_strings(nullptr);
    std::string expected;
    for (int i = 0; i < 100; ++i) {
        const char piece[] = {static_cast<char>('a' + i % 26), '\0'};
        grown = rejoin_strings(grown, grown, piece, nullptr);
        expected += piece;
    }
    EXPECT_EQ(grown, expected);
    std::free(grown);
}

} // namespace
