// SPDX-License-Identifier: Apache-2.0
// The wrappers' memory: one block after the other, never given back.
#include "driver/region.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>

namespace {

constexpr std::size_t alignment = 16;
// Each block is preceded by its size, for region_reallocate; the header keeps
// the block aligned.
constexpr std::size_t header_size = alignment;
// Regions mapped once the static block is used up; a block of more than a
// quarter of this has a mapping of its own, so that little is left unused.
constexpr std::size_t mapped_region_size = std::size_t{256} * 1024;

// A wrapper run needs a few KiB; only the pages it touches cost anything.
alignas(alignment) char static_region[std::size_t{64} * 1024];
char *next_free = static_region;
char *region_end = static_region + sizeof static_region;

// Fresh zero-filled pages, or null with errno ENOMEM, as malloc reports it
// whatever mmap said (EINVAL for a length it cannot map, for instance).
char *map_pages(std::size_t size) {
    // An anonymous mapping takes -1 for its descriptor, as POSIX asks.
    // cppcheck-suppress invalidFunctionArg
    void *pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) {
        errno = ENOMEM;
        return nullptr;
    }
    return static_cast<char *>(pages);
}

// Writes the size into the header at `start` and returns the block behind it.
void *block_at(char *start, std::size_t size) {
    std::memcpy(start, &size, sizeof size);
    return start + header_size;
}

} // namespace

void *region_allocate(std::size_t size) {
    if (size > SIZE_MAX - header_size - (alignment - 1)) {
        errno = ENOMEM;
        return nullptr;
    }
    std::size_t needed = header_size + ((size + alignment - 1) & ~(alignment - 1));
    if (needed > static_cast<std::size_t>(region_end - next_free)) {
        if (needed > mapped_region_size / 4) {
            char *own = map_pages(needed);
            return own == nullptr ? nullptr : block_at(own, size);
        }
        char *region = map_pages(mapped_region_size);
        if (region == nullptr) {
            return nullptr;
        }
        next_free = region;
        region_end = region + mapped_region_size;
    }
    char *start = next_free;
    next_free += needed;
    return block_at(start, size);
}

void *region_allocate_array(std::size_t count, std::size_t size) {
    if (size != 0 && count > SIZE_MAX / size) {
        errno = ENOMEM;
        return nullptr;
    }
    return region_allocate(count * size);
}

void *region_allocate_aligned(std::size_t boundary, std::size_t size) {
    if (boundary == 0 || (boundary & (boundary - 1)) != 0) {
        errno = EINVAL;
        return nullptr;
    }
    if (boundary <= alignment) {
        return region_allocate(size);
    }
    if (size > SIZE_MAX - boundary) {
        errno = ENOMEM;
        return nullptr;
    }
    // Room enough for the block at the first multiple of `boundary` in it;
    // the header then goes into the room's padding in front of it, or over the
    // room's own header when the room itself is aligned.
    auto *room = static_cast<char *>(region_allocate(size + boundary - header_size));
    if (room == nullptr) {
        return nullptr;
    }
    std::size_t padding = -reinterpret_cast<std::uintptr_t>(room) & (boundary - 1);
    return block_at(room + padding - header_size, size);
}

void *region_reallocate(void *block, std::size_t size) {
    if (block == nullptr) {
        return region_allocate(size);
    }
    std::size_t old_size = region_block_size(block);
    if (size <= old_size) {
        return block;
    }
    void *moved = region_allocate(size);
    if (moved != nullptr) {
        std::memcpy(moved, block, old_size);
    }
    return moved;
}

std::size_t region_block_size(const void *block) {
    if (block == nullptr) {
        return 0;
    }
    std::size_t size;
    std::memcpy(&size, static_cast<const char *>(block) - header_size, sizeof size);
    return size;
}
