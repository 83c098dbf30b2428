// SPDX-License-Identifier: Apache-2.0
// The allocation family by its C names, in a program linked as the musl
// wrappers are: the check after its link proves that none of the members
// called here brought musl's allocator in, and this run that each one reaches
// the region's function it should. Exits 1 after naming each broken promise.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <spawn.h>
#include <unistd.h>

// musl's own code allocates by this name too (driver/region_malloc.cc).
extern "C" void *__libc_calloc(std::size_t count, std::size_t size);

namespace {

bool on_boundary(const void *block, std::size_t boundary) {
    return block != nullptr && reinterpret_cast<std::uintptr_t>(block) % boundary == 0;
}

// A count that, times 16, wraps round to 16; volatile, as a compiler that
// saw the product overflow would warn, and might decide the call itself.
volatile std::size_t wrapping_count = SIZE_MAX / 16 + 2;

} // namespace

int main() {
    auto *text = static_cast<char *>(malloc(5));
    std::memcpy(text, "zin-", 5);
    text = static_cast<char *>(realloc(text, 4096));
    static const char nothing[15] = {};
    auto *zeros = calloc(3, 5);
    void *page = nullptr;
    posix_spawn_file_actions_t actions;
    const struct {
        bool kept;
        const char *promise;
    } checks[] = {
        {std::strcmp(text, "zin-") == 0, "realloc keeps the contents"},
        {malloc_usable_size(text) == 4096, "malloc_usable_size is the block's size"},
        {std::memcmp(zeros, nothing, sizeof nothing) == 0, "calloc fills with zeros"},
        {calloc(wrapping_count, 16) == nullptr, "calloc refuses a wrapping product"},
        {__libc_calloc(wrapping_count, 16) == nullptr, "__libc_calloc refuses it too"},
        {reallocarray(text, wrapping_count, 16) == nullptr, "reallocarray refuses it too"},
        {on_boundary(aligned_alloc(64, 64), 64), "aligned_alloc keeps its boundary"},
        {on_boundary(memalign(256, 1), 256), "memalign keeps its boundary"},
        {on_boundary(valloc(1), static_cast<std::size_t>(sysconf(_SC_PAGESIZE))),
         "valloc gives a page"},
        {posix_memalign(&page, 4096, 1) == 0 && on_boundary(page, 4096),
         "posix_memalign keeps its boundary"},
        // posix_spawn's file actions take and give back memory by musl's own
        // __libc_malloc and __libc_free.
        {posix_spawn_file_actions_init(&actions) == 0 &&
             posix_spawn_file_actions_addclose(&actions, STDIN_FILENO) == 0 &&
             posix_spawn_file_actions_destroy(&actions) == 0,
         "posix_spawn's file actions get memory"},
    };
    int broken = 0;
    for (const auto &check : checks) {
        if (!check.kept) {
            std::fprintf(stderr, "region_malloc_test: %s\n", check.promise);
            ++broken;
        }
    }
    return broken == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
