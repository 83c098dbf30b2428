// SPDX-License-Identifier: Apache-2.0
// The wrappers' allocator: aligned, zero-filled, disjoint blocks from the
// static block and then from mapped regions, and what realloc keeps.
#include "driver/region.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

bool all_zero(const char *block, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (block[i] != 0) {
            return false;
        }
    }
    return true;
}

// Enough blocks to use up the static block and several mapped regions; one
// of a MiB on the way has a mapping of its own.
TEST(Region, BlocksAreAlignedZeroFilledAndDisjoint) {
    std::vector<std::pair<char *, std::size_t>> blocks;
    for (std::size_t i = 0; i < 3000; ++i) {
        std::size_t size = i == 1500 ? std::size_t{1} << 20 : i % 700;
        auto *block = static_cast<char *>(region_allocate(size));
        ASSERT_NE(block, nullptr) << i;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u) << i;
        EXPECT_TRUE(all_zero(block, size)) << i;
        std::memset(block, 0xa5, size);
        blocks.emplace_back(block, size);
    }
    // Each block still holds only its own filling: none overlaps another.
    for (const auto &[block, size] : blocks) {
        for (std::size_t i = 0; i < size; ++i) {
            ASSERT_EQ(static_cast<unsigned char>(block[i]), 0xa5);
        }
    }
}

TEST(Region, ReallocateKeepsTheContents) {
    auto *block = static_cast<char *>(region_reallocate(nullptr, 5));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "zin-", 5);
    EXPECT_EQ(region_reallocate(block, 3), block) << "shrinking stays in place";
    auto *grown = static_cast<char *>(region_reallocate(block, 100000));
    ASSERT_NE(grown, nullptr);
    EXPECT_STREQ(grown, "zin-");
    EXPECT_TRUE(all_zero(grown + 5, 100000 - 5));
}

TEST(Region, ImpossibleSizesFailWithEnomem) {
    for (std::size_t size : {SIZE_MAX, SIZE_MAX - 8, SIZE_MAX / 2}) {
        errno = 0;
        EXPECT_EQ(region_allocate(size), nullptr) << size;
        EXPECT_EQ(errno, ENOMEM) << size;
    }
}

} // namespace
