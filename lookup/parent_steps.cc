// SPDX-License-Identifier: Apache-2.0
// Removing "name/.." steps where that keeps the name of the same file.
#include "lookup/parent_steps.h"

#include <cstdlib>
#include <cstring>

#include "lookup/lookup_platform.h"

namespace {

// Whether the `length` bytes at `step` are "..".
bool is_parent_step(const char *step, std::size_t length) {
    return length == 2 && step[0] == '.' && step[1] == '.';
}

// Where the last step of out[root..used) begins, that step ending at *end
// (its separators left out); -1 when there is none that ".." could take
// back: no step at all, or "." or "..", which a following ".." does not cancel.
long last_step(const char *out, std::size_t root, std::size_t used, std::size_t *end) {
    std::size_t stop = used;
    while (stop > root && platform_is_separator(out[stop - 1])) {
        --stop;
    }
    std::size_t start = stop;
    while (start > root && !platform_is_separator(out[start - 1])) {
        --start;
    }
    std::size_t length = stop - start;
    if (length == 0 || (length == 1 && out[start] == '.') || is_parent_step(out + start, length)) {
        return -1;
    }
    *end = stop;
    return static_cast<long>(start);
}

// Whether out[0..end) is a directory and not a symbolic link: then
// out[0..end) followed by "/.." names the directory its last step is in.
bool is_real_directory(char *out, std::size_t end) {
    char saved = out[end];
    out[end] = '\0';
    bool real = platform_is_real_directory(out);
    out[end] = saved;
    return real;
}

} // namespace

char *remove_parent_steps(const char *path) {
    std::size_t length = std::strlen(path);
    // Steps are only removed, so the result never outgrows the path ("." and
    // "./" stand for at least "x/.." and "x/../").
    char *out = static_cast<char *>(std::malloc(length + 1));
    if (out == nullptr) {
        return nullptr;
    }
    std::size_t root = platform_root_length(path);
    std::memcpy(out, path, root);
    std::size_t used = root;
    // Left to right, on the prefix shortened so far, so that no lstat is
    // handed a longer name than needed.
    for (std::size_t at = root; at < length;) {
        std::size_t step_end = at + platform_name_run(path + at);
        std::size_t next = step_end + platform_separator_run(path + step_end);
        std::size_t end = 0;
        long start =
            is_parent_step(path + at, step_end - at) ? last_step(out, root, used, &end) : -1;
        if (start >= 0 && is_real_directory(out, end)) {
            used = static_cast<std::size_t>(start);
        } else {
            std::memcpy(out + used, path + at, next - at);
            used += next - at;
        }
        at = next;
    }
    bool trailing_separator = length > 0 && platform_is_separator(path[length - 1]);
    if (used == 0 && length > 0) {
        out[used++] = '.';
        if (trailing_separator) {
            out[used++] = '/';
        }
    }
    // "a/b/.." names a: only a root keeps a separator the path did not end in.
    while (!trailing_separator && used > root && platform_is_separator(out[used - 1])) {
        --used;
    }
    out[used] = '\0';
    return out;
}
