// SPDX-License-Identifier: Apache-2.0
// Allocation that ends the program when memory runs out, so callers never
// test for null. Blocks are ordinary heap memory, released with free().
#pragma once

#include <cstddef>
#include <cstdint>

// Stores (without copying) the name that the out-of-memory report starts with.
void set_alloc_program_name(const char *name);

// Writes "\n<name>[: ]out of memory allocating <size> bytes\n" to stderr, then fatal_exit(1).
[[noreturn]] void report_alloc_failure(std::uint64_t size);

// malloc(size), size 0 taken as 1; never returns null.
void *checked_malloc(std::size_t size);

// calloc(count, size), either 0 making both 1; never returns null.
void *checked_calloc(std::size_t count, std::size_t size);

// realloc(pointer, size) (malloc when pointer is null), size 0 taken as 1; never null.
void *checked_realloc(void *pointer, std::size_t size);

// A new copy of text; never returns null.
char *checked_strdup(const char *text);
