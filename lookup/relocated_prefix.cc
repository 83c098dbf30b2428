// SPDX-License-Identifier: Apache-2.0
// Relocating a configured directory like the running program.
#include "lookup/relocated_prefix.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "lookup/lookup_platform.h"
#include "lookup/path_components.h"
#include "lookup/program_path.h"

namespace {

// Whether the first `count` components of `a` and `b` name the same directories.
bool same_leading_components(char *const *a, char *const *b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!platform_same_component(a[i], b[i])) {
            return false;
        }
    }
    return true;
}

// Adds `amount` to *total; false when the sum does not fit.
bool add_size(std::size_t *total, std::size_t amount) {
    if (amount > SIZE_MAX - *total) {
        return false;
    }
    *total += amount;
    return true;
}

// Adds the lengths of components [from, to) to *total; false on overflow.
bool add_component_lengths(std::size_t *total, char *const *components, std::size_t from,
                           std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        if (!add_size(total, std::strlen(components[i]))) {
            return false;
        }
    }
    return true;
}

// The program's first `dir_count` components, one "../" for every component of
// `bin` past the part it shares with `target`, then the rest of `target`; null
// when they share nothing or on allocation failure.
char *build_relocated(char *const *program, std::size_t dir_count, char *const *bin,
                      std::size_t bin_count, char *const *target, std::size_t target_count) {
    std::size_t limit = bin_count < target_count ? bin_count : target_count;
    std::size_t common = 0;
    while (common < limit && platform_same_component(bin[common], target[common])) {
        ++common;
    }
    if (common == 0) {
        return nullptr;
    }

    std::size_t ups = bin_count - common;
    std::size_t size = 1;
    if (!add_component_lengths(&size, program, 0, dir_count) || ups > SIZE_MAX / 3 ||
        !add_size(&size, 3 * ups) || !add_component_lengths(&size, target, common, target_count)) {
        return nullptr;
    }

    char *result = static_cast<char *>(std::malloc(size));
    if (result == nullptr) {
        return nullptr;
    }
    char *p = result;
    for (std::size_t i = 0; i < dir_count; ++i) {
        std::size_t length = std::strlen(program[i]);
        std::memcpy(p, program[i], length);
        p += length;
    }
    for (std::size_t i = 0; i < ups; ++i) {
        std::memcpy(p, "../", 3);
        p += 3;
    }
    for (std::size_t i = common; i < target_count; ++i) {
        std::size_t length = std::strlen(target[i]);
        std::memcpy(p, target[i], length);
        p += length;
    }
    *p = '\0';
    return result;
}

} // namespace

char *relocate_directory(const char *resolved_program_path, const char *bin_dir,
                         const char *target_dir) {
    if (resolved_program_path == nullptr || bin_dir == nullptr || target_dir == nullptr) {
        return nullptr;
    }

    int program_count = 0;
    char **program = split_path_components(resolved_program_path, &program_count);
    if (program == nullptr) {
        return nullptr;
    }

    int bin_count = 0;
    char **bin = split_path_components(bin_dir, &bin_count);
    char **target = nullptr;
    char *result = nullptr;
    if (bin != nullptr) {
        // Every component but the last, the program's own name.
        auto dir_count = static_cast<std::size_t>(program_count - 1);
        auto bin_size = static_cast<std::size_t>(bin_count);
        bool unmoved = dir_count == bin_size && same_leading_components(program, bin, dir_count);
        if (!unmoved) {
            int target_count = 0;
            target = split_path_components(target_dir, &target_count);
            if (target != nullptr) {
                result = build_relocated(program, dir_count, bin, bin_size, target,
                                         static_cast<std::size_t>(target_count));
            }
        }
    }

    free_path_components(program);
    free_path_components(bin);
    free_path_components(target);
    return result;
}

char *compute_relocated_prefix(const char *program_path, const char *bin_dir,
                               const char *target_dir, int resolve_links) {
    if (program_path == nullptr || bin_dir == nullptr || target_dir == nullptr) {
        return nullptr;
    }
    char *found =
        resolve_links != 0 ? resolve_program_path(program_path) : find_program_path(program_path);
    char *result = relocate_directory(found, bin_dir, target_dir);
    std::free(found);
    return result;
}

char *relocated_prefix(const char *program_path, const char *bin_dir, const char *target_dir) {
    return compute_relocated_prefix(program_path, bin_dir, target_dir, 1);
}

char *relocated_prefix_keep_links(const char *program_path, const char *bin_dir,
                                  const char *target_dir) {
    return compute_relocated_prefix(program_path, bin_dir, target_dir, 0);
}
