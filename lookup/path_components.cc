// SPDX-License-Identifier: Apache-2.0
// Splitting a path into separator-terminated components.
#include "lookup/path_components.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "lookup/lookup_platform.h"

namespace {

// Number of runs of one or more separators in `path`.
std::size_t count_separator_runs(const char *path) {
    std::size_t runs = 0;
    for (const char *p = path; *p != '\0'; ++p) {
        if (platform_is_separator(*p) && (p == path || !platform_is_separator(p[-1]))) {
            ++runs;
        }
    }
    return runs;
}

// A new NUL-terminated copy of `length` bytes at `start`, or null.
char *copy_span(const char *start, std::size_t length) {
    char *copy = static_cast<char *>(std::malloc(length + 1));
    if (copy == nullptr) {
        return nullptr;
    }
    std::memcpy(copy, start, length);
    copy[length] = '\0';
    return copy;
}

// Stores a copy of [start, end) as the next component; false when it cannot be allocated.
bool store_component(char **components, std::size_t *stored, const char *start, const char *end) {
    char *copy = copy_span(start, static_cast<std::size_t>(end - start));
    if (copy == nullptr) {
        return false;
    }
    components[(*stored)++] = copy;
    return true;
}

} // namespace

char **split_path_components(const char *path, int *count) {
    if (path[0] == '\0') {
        return nullptr;
    }

    // Runs + 2 entries cover every component (at most runs + 1) and the closing null.
    std::size_t capacity = count_separator_runs(path) + 2;
    // The count is an int; a path with more components than that is refused.
    if (capacity - 1 > static_cast<std::size_t>(INT_MAX)) {
        return nullptr;
    }
    auto **components = static_cast<char **>(std::malloc(capacity * sizeof(char *)));
    if (components == nullptr) {
        return nullptr;
    }

    std::size_t stored = 0;
    const char *start = path;
    const char *p = path;
    bool failed = false;
    while (*p != '\0' && !failed) {
        if (!platform_is_separator(*p)) {
            ++p;
            continue;
        }
        while (platform_is_separator(*p)) {
            ++p;
        }
        failed = !store_component(components, &stored, start, p);
        start = p;
    }
    if (!failed && p != start) {
        failed = !store_component(components, &stored, start, p);
    }

    components[stored] = nullptr;
    if (failed) {
        free_path_components(components);
        return nullptr;
    }
    *count = static_cast<int>(stored);
    return components;
}

void free_path_components(char **components) {
    if (components == nullptr) {
        return;
    }
    for (char **component = components; *component != nullptr; ++component) {
        std::free(*component);
    }
    std::free(components);
}
