// SPDX-License-Identifier: Apache-2.0
// Temporary files.
#include "support/temp_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/checked_alloc.h"
#include "support/join_strings.h"
#include "support/support_platform.h"

namespace {

// The directory chosen by the first temp_directory() call, with its appended '/'.
char *chosen_directory = nullptr;

} // namespace

const char *temp_directory() {
    if (chosen_directory != nullptr) {
        return chosen_directory;
    }
    const char *candidates[platform_temp_candidate_max];
    int count = platform_temp_candidates(candidates);
    const char *base = ".";
    for (int i = 0; i < count; ++i) {
        if (candidates[i] != nullptr && platform_usable_directory(candidates[i])) {
            base = candidates[i];
            break;
        }
    }
    std::size_t length = std::strlen(base);
    chosen_directory = static_cast<char *>(checked_malloc(length + 2));
    std::memcpy(chosen_directory, base, length);
    chosen_directory[length] = '/';
    chosen_directory[length + 1] = '\0';
    return chosen_directory;
}

char *create_temp_file_prefixed(const char *prefix, const char *suffix) {
    const char *directory = temp_directory();
    if (prefix == nullptr) {
        prefix = "cc";
    }
    if (suffix == nullptr) {
        suffix = "";
    }
    std::size_t suffix_length = std::strlen(suffix);
    char *name = static_cast<char *>(
        checked_malloc(std::strlen(directory) + std::strlen(prefix) + suffix_length + 7));
    join_strings_into(name, directory, prefix, "XXXXXX", suffix, nullptr);

    int fd = platform_make_temp_file(name, static_cast<int>(suffix_length));
    if (fd == -1) {
        int error = errno;
        std::fprintf(stderr, "Cannot create temporary file in %s: %s\n", directory,
                     std::strerror(error));
        std::abort();
    }
    if (platform_close(fd) != 0) {
        std::abort();
    }
    return name;
}

char *create_temp_file(const char *suffix) {
    return create_temp_file_prefixed(nullptr, suffix);
}
