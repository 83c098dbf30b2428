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

// A block of `size` bytes that starts with the contents of `block` (a block of
// region_allocate, or null for a new one): `block` itself when it is large
// enough, else a new one; null with errno ENOMEM, `block` then unchanged.
void *region_reallocate(void *block, std::size_t size);
