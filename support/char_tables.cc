// SPDX-License-Identifier: Apache-2.0
// Character classification tables, computed at compile time.
#include "support/char_tables.h"

#include <array>

namespace {

// One run of byte values [first, last] that carries one class bit.
struct ClassRange {
    unsigned first;
    unsigned last;
    std::uint16_t bit;
};

// The class bit table, one line per class.
// clang-format off
constexpr ClassRange class_ranges[] = {
    {9, 9, CHAR_BLANK}, {32, 32, CHAR_BLANK},
    {0, 31, CHAR_CONTROL}, {127, 127, CHAR_CONTROL},
    {48, 57, CHAR_DIGIT},
    {97, 122, CHAR_LOWER},
    {32, 126, CHAR_PRINT},
    {33, 47, CHAR_PUNCT}, {58, 64, CHAR_PUNCT}, {91, 96, CHAR_PUNCT}, {123, 126, CHAR_PUNCT},
    {9, 13, CHAR_SPACE}, {32, 32, CHAR_SPACE},
    {65, 90, CHAR_UPPER},
    {48, 57, CHAR_HEX_DIGIT}, {65, 70, CHAR_HEX_DIGIT}, {97, 102, CHAR_HEX_DIGIT},
    {65, 90, CHAR_IDENT_START}, {95, 95, CHAR_IDENT_START}, {97, 122, CHAR_IDENT_START},
    {10, 10, CHAR_LINE_END}, {13, 13, CHAR_LINE_END},
    {0, 0, CHAR_INLINE_SPACE}, {9, 9, CHAR_INLINE_SPACE}, {11, 12, CHAR_INLINE_SPACE},
    {32, 32, CHAR_INLINE_SPACE},
};
// clang-format on

constexpr std::array<std::uint16_t, 256> build_class_table() {
    std::array<std::uint16_t, 256> table{};
    for (const ClassRange &range : class_ranges) {
        for (unsigned i = range.first; i <= range.last; ++i) {
            table[i] = static_cast<std::uint16_t>(table[i] | range.bit);
        }
    }
    return table;
}

// Identity, except the 26 letters from `from` on, which map to those from `to` on.
constexpr std::array<unsigned char, 256> build_case_table(unsigned char from, unsigned char to) {
    std::array<unsigned char, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        table[i] = static_cast<unsigned char>(i);
    }
    for (unsigned i = 0; i < 26; ++i) {
        table[from + i] = static_cast<unsigned char>(to + i);
    }
    return table;
}

constexpr auto class_words = build_class_table();
constexpr auto upper_letters = build_case_table('a', 'A');
constexpr auto lower_letters = build_case_table('A', 'a');

} // namespace

// The exported arrays copy the computed ones element by element: an array can
// only be initialised from a brace list, so the list is spelled out by macro.
#define ZIN_ROW(table, n)                                                                          \
    (table)[(n) + 0], (table)[(n) + 1], (table)[(n) + 2], (table)[(n) + 3], (table)[(n) + 4],      \
        (table)[(n) + 5], (table)[(n) + 6], (table)[(n) + 7], (table)[(n) + 8], (table)[(n) + 9],  \
        (table)[(n) + 10], (table)[(n) + 11], (table)[(n) + 12], (table)[(n) + 13],                \
        (table)[(n) + 14], (table)[(n) + 15]
#define ZIN_TABLE(table)                                                                           \
    ZIN_ROW(table, 0), ZIN_ROW(table, 16), ZIN_ROW(table, 32), ZIN_ROW(table, 48),                 \
        ZIN_ROW(table, 64), ZIN_ROW(table, 80), ZIN_ROW(table, 96), ZIN_ROW(table, 112),           \
        ZIN_ROW(table, 128), ZIN_ROW(table, 144), ZIN_ROW(table, 160), ZIN_ROW(table, 176),        \
        ZIN_ROW(table, 192), ZIN_ROW(table, 208), ZIN_ROW(table, 224), ZIN_ROW(table, 240)

// constexpr (so constant-initialised, no static constructor); the extern
// declarations of the header give them external linkage.
constexpr unsigned char char_upper_table[256] = {ZIN_TABLE(upper_letters)};
constexpr unsigned char char_lower_table[256] = {ZIN_TABLE(lower_letters)};
constexpr std::uint16_t char_class_table[256] = {ZIN_TABLE(class_words)};

#undef ZIN_TABLE
#undef ZIN_ROW

namespace {

// Whether every byte value in [first, last] has the class word `word`.
constexpr bool words_are(unsigned first, unsigned last, std::uint16_t word) {
    for (unsigned i = first; i <= last; ++i) {
        if (char_class_table[i] != word) {
            return false;
        }
    }
    return true;
}

// The table of resulting words the classes must give.
static_assert(words_are(0, 0, 0x0802));
static_assert(words_are(1, 8, 0x0002));
static_assert(words_are(9, 9, 0x0843));
static_assert(words_are(10, 10, 0x0442));
static_assert(words_are(11, 12, 0x0842));
static_assert(words_are(13, 13, 0x0442));
static_assert(words_are(14, 31, 0x0002));
static_assert(words_are(32, 32, 0x0851));
static_assert(words_are(33, 47, 0x0030));
static_assert(words_are(48, 57, 0x0114));
static_assert(words_are(58, 64, 0x0030));
static_assert(words_are(65, 70, 0x0390));
static_assert(words_are(71, 90, 0x0290));
static_assert(words_are(91, 94, 0x0030));
static_assert(words_are(95, 95, 0x0230));
static_assert(words_are(96, 96, 0x0030));
static_assert(words_are(97, 102, 0x0318));
static_assert(words_are(103, 122, 0x0218));
static_assert(words_are(123, 126, 0x0030));
static_assert(words_are(127, 127, 0x0002));
static_assert(words_are(128, 255, 0x0000));

// Index of a character in the tables.
constexpr unsigned byte(char c) {
    return static_cast<unsigned char>(c);
}

static_assert(char_upper_table[byte('a')] == 'A' && char_upper_table[byte('z')] == 'Z' &&
              char_upper_table[byte('Z')] == 'Z' && char_upper_table[byte('`')] == '`' &&
              char_upper_table[byte('{')] == '{' && char_upper_table[200] == 200);
static_assert(char_lower_table[byte('A')] == 'a' && char_lower_table[byte('Z')] == 'z' &&
              char_lower_table[byte('a')] == 'a' && char_lower_table[byte('@')] == '@' &&
              char_lower_table[byte('[')] == '[' && char_lower_table[200] == 200);

} // namespace
