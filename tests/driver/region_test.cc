// SPDX-License-Identifier: Apache-2.0
// The wrappers' allocator: aligned, zero-filled, disjoint blocks from the
// static block and then from mapped regions, what realloc keeps, and the
// requests it refuses.
#include "driver/region.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Block {
    char *start;
    std::size_t size;
};

// The filling of the block at `index` in a list: neighbours differ, and none
// is zero.
char filling(std::size_t index) {
    return static_cast<char>(index % 255 + 1);
}

bool all_are(const char *start, std::size_t size, char value) {
    for (std::size_t i = 0; i < size; ++i) {
        if (start[i] != value) {
            return false;
        }
    }
    return true;
}

// Fills a new block with the filling of its place in `blocks` and adds it.
void fill_and_add(std::vector<Block> &blocks, void *start, std::size_t size) {
    std::memset(start, filling(blocks.size()), size);
    blocks.push_back({static_cast<char *>(start), size});
}

// The first of `blocks` that lost its filling, written over by another one.
std::size_t first_overwritten(const std::vector<Block> &blocks) {
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (!all_are(blocks[i].start, blocks[i].size, filling(i))) {
            return i;
        }
    }
    return blocks.size();
}

// Enough blocks to use up the static block and several mapped regions; one
// of a MiB on the way has a mapping of its own.
TEST(Region, BlocksAreAlignedZeroFilledAndDisjoint) {
    std::vector<Block> blocks;
    for (std::size_t i = 0; i < 3000; ++i) {
        std::size_t size = i == 1500 ? std::size_t{1} << 20 : i % 700;
        auto *block = static_cast<char *>(region_allocate(size));
        ASSERT_NE(block, nullptr) << i;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u) << i;
        EXPECT_TRUE(all_are(block, size, 0)) << i;
        EXPECT_EQ(region_block_size(block), size) << i;
        fill_and_add(blocks, block, size);
    }
    EXPECT_EQ(first_overwritten(blocks), blocks.size());
    EXPECT_EQ(region_block_size(nullptr), 0u);
}

// From every small size a block grows a few bytes at a time between other
// blocks, as a string built piece by piece does, until past the static
// block: each step keeps what the block held and disturbs no other block.
TEST(Region, ReallocateInSmallStepsKeepsContentsAndBlocksApart) {
    std::vector<Block> blocks;
    for (std::size_t start = 0; start <= 128; ++start) {
        std::size_t grown = blocks.size();
        fill_and_add(blocks, region_reallocate(nullptr, start), start);
        for (std::size_t step = 1; step <= 17; step += 4) {
            Block &block = blocks[grown];
            auto *moved = static_cast<char *>(region_reallocate(block.start, block.size + step));
            ASSERT_NE(moved, nullptr) << start << '+' << step;
            ASSERT_TRUE(all_are(moved, block.size, filling(grown))) << start << '+' << step;
            std::memset(moved + block.size, filling(grown), step);
            block = {moved, block.size + step};
            fill_and_add(blocks, region_allocate(step), step);
            ASSERT_EQ(first_overwritten(blocks), blocks.size()) << start << '+' << step;
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
    EXPECT_TRUE(all_are(grown + 5, 100000 - 5, 0));
}

// aligned_alloc, memalign, posix_memalign and valloc: each boundary up to
// past a page, between blocks that must stay untouched.
TEST(Region, AlignedBlocksLieOnTheirBoundaryApartFromOthers) {
    std::vector<Block> blocks;
    for (std::size_t boundary = 1; boundary <= 65536; boundary *= 2) {
        for (std::size_t size : {0, 1, 100, 5000}) {
            auto *block = static_cast<char *>(region_allocate_aligned(boundary, size));
            ASSERT_NE(block, nullptr) << boundary << ' ' << size;
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % boundary, 0u) << boundary;
            EXPECT_TRUE(all_are(block, size, 0)) << boundary << ' ' << size;
            EXPECT_EQ(region_block_size(block), size) << boundary << ' ' << size;
            fill_and_add(blocks, block, size);
            fill_and_add(blocks, region_allocate(3), 3);
        }
    }
    EXPECT_EQ(first_overwritten(blocks), blocks.size());
}

// calloc's block holds count * size bytes, whichever of the two is 0.
TEST(Region, AllocateArrayHoldsTheProduct) {
    for (auto [count, size] :
         {std::pair<std::size_t, std::size_t>{3, 5}, {0, SIZE_MAX}, {SIZE_MAX, 0}}) {
        void *block = region_allocate_array(count, size);
        ASSERT_NE(block, nullptr) << count << " x " << size;
        EXPECT_EQ(region_block_size(block), count * size) << count << " x " << size;
    }
}

// Requests no block can meet. calloc's product matters most where it wraps
// round to a small size: that must not get a small block.
TEST(Region, ImpossibleRequestsFail) {
    struct Row {
        void *(*allocate)(std::size_t, std::size_t);
        std::size_t first, second;
        int error;
    };
    auto plain = [](std::size_t, std::size_t size) { return region_allocate(size); };
    const Row rows[] = {
        {plain, 0, SIZE_MAX, ENOMEM},
        {plain, 0, SIZE_MAX - 8, ENOMEM},
        {plain, 0, SIZE_MAX / 2, ENOMEM},
        {region_allocate_array, SIZE_MAX / 16 + 2, 16, ENOMEM},
        {region_allocate_array, 16, SIZE_MAX / 16 + 2, ENOMEM},
        {region_allocate_array, SIZE_MAX, SIZE_MAX, ENOMEM},
        {region_allocate_array, SIZE_MAX / 2 + 1, 2, ENOMEM},
        {region_allocate_aligned, 0, 1, EINVAL},
        {region_allocate_aligned, 24, 1, EINVAL},
        {region_allocate_aligned, SIZE_MAX, 1, EINVAL},
        {region_allocate_aligned, 16, SIZE_MAX - 8, ENOMEM},
        {region_allocate_aligned, 64, SIZE_MAX - 32, ENOMEM},
        {region_allocate_aligned, 4096, SIZE_MAX / 2, ENOMEM},
    };
    for (const Row &row : rows) {
        errno = 0;
        EXPECT_EQ(row.allocate(row.first, row.second), nullptr) << row.first << ' ' << row.second;
        EXPECT_EQ(errno, row.error) << row.first << ' ' << row.second;
    }
}

} // namespace
