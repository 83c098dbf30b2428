// SPDX-License-Identifier: Apache-2.0
// The C library's allocation functions in the wrappers linked with musl: the
// region (driver/region.h) serves them all, the C library's own uses
// included, so its allocator and its brk heap stay out of the program.
#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "driver/region.h"

extern "C" {

void *malloc(std::size_t size) {
    return region_allocate(size);
}

// Region blocks are never reused, so a new one is zero-filled already.
void *calloc(std::size_t count, std::size_t size) {
    if (size != 0 && count > SIZE_MAX / size) {
        errno = ENOMEM;
        return nullptr;
    }
    return region_allocate(count * size);
}

void *realloc(void *block, std::size_t size) {
    return region_reallocate(block, size);
}

// The process ends right after the tool; nothing is worth giving back.
void free(void *) {}

} // extern "C"
