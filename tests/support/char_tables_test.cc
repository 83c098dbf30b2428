// SPDX-License-Identifier: Apache-2.0
// Character classification tables. The class word of every byte is checked
// where the tables are built (support/char_tables.cc), at compile time.
#include "support/char_tables.h"

#include <gtest/gtest.h>

namespace {

TEST(CharTablesTest, CaseTablesForEveryByte) {
    for (int i = 0; i < 256; ++i) {
        int upper = i >= 'a' && i <= 'z' ? i - 32 : i;
        int lower = i >= 'A' && i <= 'Z' ? i + 32 : i;
        EXPECT_EQ(char_upper_table[i], upper) << "byte " << i;
        EXPECT_EQ(char_lower_table[i], lower) << "byte " << i;
    }
}

TEST(CharTablesTest, CharIsTestsAnyClassOfTheMask) {
    EXPECT_TRUE(char_is('_', CHAR_DIGIT | CHAR_PUNCT));
    EXPECT_FALSE(char_is('_', CHAR_DIGIT | CHAR_SPACE));
    EXPECT_FALSE(char_is('a', 0));
    // On a platform with signed char these are negative; char_is must not index below 0.
    for (int i = 128; i < 256; ++i) {
        EXPECT_FALSE(char_is(static_cast<char>(i), 0xffff)) << i;
    }
}

} // namespace
