// SPDX-License-Identifier: Apache-2.0
// Memory for a short-lived program: blocks are handed out one after the
// other and never reused, first from a static block, then from regions
// mapped with mmap. The program's pages then all lie near its image; a
// static PIE's brk heap lies away from every other mapping, and its first
// page costs a run more than everything the wrapper allocates
// (docs/performance.md). Not thread-safe: the wrappers are single-threaded.
#pragma once

#include <cstddef>

// A new block of `size` bytes, zero-filled and aligned to 16 bytes; null with
// errno ENOMEM when no memory can be had.
void *region_allocate(std::size_t size);

// A new block for `count` elements of `size` bytes, as region_allocate makes
// it; null with errno ENOMEM when count * size does not fit in a size_t.
void *region_allocate_array(std::size_t count, std::size_t size);

// A new zero-filled block of `size` bytes at a multiple of `boundary`; null
// with errno EINVAL when `boundary` is no power of two, ENOMEM when no memory
// can be had.
void *region_allocate_aligned(std::size_t boundary, std::size_t size);

// A block of `size` bytes that starts with the contents of `block` (a block of
// this region, or null for a new one): `block` itself when it is large
// enough, else a new one; null with errno ENOMEM, `block` then unchanged.
void *region_reallocate(void *block, std::size_t size);

// The size that `block` (a block of this region, or null) was made with, all
// of it usable; 0 for null.
std::size_t region_block_size(const void *block);
