// SPDX-License-Identifier: Apache-2.0
// Checked allocation.
#include "support/checked_alloc.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/fatal_exit.h"

namespace {
// The name the out-of-memory report starts with; the caller keeps it alive.
const char *alloc_program_name = "";
} // namespace

void set_alloc_program_name(const char *name) {
    alloc_program_name = name;
}

void report_alloc_failure(std::uint64_t size) {
    // PRIu64, not %lu: unsigned long is 32 bits wide on Windows.
    std::fprintf(stderr, "\n%s%sout of memory allocating %" PRIu64 " bytes\n", alloc_program_name,
                 *alloc_program_name != '\0' ? ": " : "", size);
    fatal_exit(1);
}

void *checked_malloc(std::size_t size) {
    if (size == 0) {
        size = 1;
    }
    void *block = std::malloc(size);
    if (block == nullptr) {
        report_alloc_failure(size);
    }
    return block;
}

void *checked_calloc(std::size_t count, std::size_t size) {
    if (count == 0 || size == 0) {
        count = size = 1;
    }
    void *block = std::calloc(count, size);
    if (block == nullptr) {
        report_alloc_failure(static_cast<std::uint64_t>(count) * size);
    }
    return block;
}

void *checked_realloc(void *pointer, std::size_t size) {
    if (size == 0) {
        size = 1;
    }
    void *block = pointer == nullptr ? std::malloc(size) : std::realloc(pointer, size);
    if (block == nullptr) {
        report_alloc_failure(size);
    }
    return block;
}

char *checked_strdup(const char *text) {
    std::size_t size = std::strlen(text) + 1;
    return static_cast<char *>(std::memcpy(checked_malloc(size), text, size));
}
