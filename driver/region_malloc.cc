// SPDX-License-Identifier: Apache-2.0
// The C library's allocation functions in the wrappers linked with musl: the
// region (driver/region.h) serves them all, the C library's own uses
// included, so its allocator and its brk heap stay out of the program. Every
// member whose musl version belongs to that allocator is defined here; musl's
// memalign, posix_memalign and valloc call aligned_alloc, and its
// reallocarray realloc, so they reach the region too. A check after each link
// proves that musl's allocator stayed out (cmake/ZinMuslAllocatorCheck.cmake).
#include <cstddef>

#include "driver/region.h"

extern "C" {

void *malloc(std::size_t size) {
    return region_allocate(size);
}

// Region blocks are never reused, so a new one is zero-filled already.
void *calloc(std::size_t count, std::size_t size) {
    return region_allocate_array(count, size);
}

void *realloc(void *block, std::size_t size) {
    return region_reallocate(block, size);
}

// The process ends right after the tool; nothing is worth giving back.
void free(void *) {}

void *aligned_alloc(std::size_t alignment, std::size_t size) {
    return region_allocate_aligned(alignment, size);
}

std::size_t malloc_usable_size(void *block) {
    return region_block_size(block);
}

// musl's own code (locales, time zones, posix_spawn's file actions, atexit
// beyond its first handlers) allocates by these names, which a program's
// malloc does not replace; served here, they cannot bring musl's allocator in.
// A link that fails with a second __libc_malloc is that allocator coming in
// all the same, for a member not served here. The names are musl's, reserved
// identifiers by design.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
void *__libc_malloc(std::size_t size) {
    return region_allocate(size);
}

// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
void *__libc_calloc(std::size_t count, std::size_t size) {
    return region_allocate_array(count, size);
}

// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
void __libc_free(void *) {}

} // extern "C"
