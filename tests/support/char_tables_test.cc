// Character classification tables.
#include "support/char_tables.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace {

// Index of a character in the tables.
constexpr unsigned byte(char c) {
    return static_cast<unsigned char>(c);
}

// The table of resulting words, independent of the bit ranges the
// implementation builds from.
struct WordRow {
    int first;
    int last;
    std::uint16_t word;
};
// clang-format off
constexpr WordRow word_rows[] = {
    {0, 0, 0x0802},
    {1, 8, 0x0002},
    {9, 9, 0x0843},
    {10, 10, 0x0442},
    {11, 12, 0x0842},
    {13, 13, 0x0442},
    {14, 31, 0x0002},
    {32, 32, 0x0851},
    {33, 47, 0x0030},
    {48, 57, 0x0114},
    {58, 64, 0x0030},
    {65, 70, 0x0390},
    {71, 90, 0x0290},
    {91, 94, 0x0030},
    {95, 95, 0x0230},
    {96, 96, 0x0030},
    {97, 102, 0x0318},
    {103, 122, 0x0218},
    {123, 126, 0x0030},
    {127, 127, 0x0002},
    {128, 255, 0x0000},
};
// clang-format on

TEST(CharTablesTest, EveryByteHasItsWord) {
    int next = 0; // the rows cover 0..255 in order, without gap or overlap
    for (const WordRow &row : word_rows) {
        ASSERT_EQ(row.first, next);
        for (int i = row.first; i <= row.last; ++i)
            EXPECT_EQ(char_class_table[i], row.word) << "byte " << i;
        next = row.last + 1;
    }
    EXPECT_EQ(next, 256);
}

TEST(CharTablesTest, CaseTablesForEveryByte) {
    for (int i = 0; i < 256; ++i) {
        int upper = i >= 'a' && i <= 'z' ? i - 32 : i;
        int lower = i >= 'A' && i <= 'Z' ? i + 32 : i;
        EXPECT_EQ(char_upper_table[i], upper) << "byte " << i;
        EXPECT_EQ(char_lower_table[i], lower) << "byte " << i;
    }
}

TEST(CharTablesTest, NulIsInlineSpaceAndControlButNotSpace) {
    EXPECT_TRUE(char_is('\0', CHAR_INLINE_SPACE));
    EXPECT_TRUE(char_is('\0', CHAR_CONTROL));
    EXPECT_FALSE(char_is('\0', CHAR_SPACE));
}

TEST(CharTablesTest, OnlyLineFeedAndCarriageReturnEndLines) {
    for (char c : {'\v', '\f'}) {
        EXPECT_TRUE(char_is(c, CHAR_SPACE));
        EXPECT_TRUE(char_is(c, CHAR_INLINE_SPACE));
        EXPECT_FALSE(char_is(c, CHAR_LINE_END));
    }
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(char_is(static_cast<char>(i), CHAR_LINE_END), i == '\n' || i == '\r') << i;
}

TEST(CharTablesTest, UnderscoreIsPunctAndIdentStartDigitsNeverIdentStart) {
    EXPECT_TRUE(char_is('_', CHAR_PUNCT));
    EXPECT_TRUE(char_is('_', CHAR_IDENT_START));
    for (char c = '0'; c <= '9'; ++c) {
        EXPECT_FALSE(char_is(c, CHAR_IDENT_START)) << c;
        EXPECT_TRUE(char_is(c, CHAR_DIGIT | CHAR_HEX_DIGIT)) << c;
    }
}

TEST(CharTablesTest, SpaceClasses) {
    EXPECT_EQ(char_class_table[byte(' ')],
              CHAR_PRINT | CHAR_BLANK | CHAR_SPACE | CHAR_INLINE_SPACE);
    EXPECT_FALSE(char_is(' ', CHAR_PUNCT));
}

TEST(CharTablesTest, DeleteIsControlOnlyAndHighBytesInNoClass) {
    EXPECT_EQ(char_class_table[127], CHAR_CONTROL);
    EXPECT_EQ(char_class_table[200], 0);
    EXPECT_EQ(char_upper_table[200], 200);
    EXPECT_EQ(char_lower_table[200], 200);
}

TEST(CharTablesTest, PlainCharAboveAsciiSelectsTheUpperHalf) {
    // On a platform with signed char these are negative; char_is must not index below 0.
    for (int i = 128; i < 256; ++i)
        EXPECT_FALSE(char_is(static_cast<char>(i), 0xffff)) << i;
}

TEST(CharTablesTest, CaseMappingLeavesNeighboursOfTheLetters) {
    EXPECT_EQ(char_upper_table[byte('z')], 'Z');
    EXPECT_EQ(char_lower_table[byte('A')], 'a');
    EXPECT_EQ(char_upper_table[byte('Z')], 'Z');
    EXPECT_EQ(char_lower_table[byte('a')], 'a');
    for (int c : {64, 91, 96, 123}) {
        EXPECT_EQ(char_upper_table[c], c);
        EXPECT_EQ(char_lower_table[c], c);
    }
}

TEST(CharTablesTest, DriveLetterMask) {
    // The letter test of path_base_name_dos.
    constexpr std::uint16_t letter = CHAR_UPPER | CHAR_LOWER;
    EXPECT_EQ(letter, 0x0088);
    for (int i = 0; i < 256; ++i) {
        bool is_letter = (i >= 'A' && i <= 'Z') || (i >= 'a' && i <= 'z');
        EXPECT_EQ((char_class_table[i] & letter) != 0, is_letter) << i;
    }
}

} // namespace
