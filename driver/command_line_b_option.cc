// SPDX-License-Identifier: Apache-2.0
// The wrapper's one option of its own: -B, which puts a directory in front
// of both search lists.
#include <cstring>

#include "driver/command_line.h"
#include "support/join_strings.h"

namespace {

// Drops argv[index], moving the elements behind it (the terminating null
// included) one place towards the front; `count` is argc before the removal.
void remove_argument(char **argv, int index, int count) {
    std::memmove(argv + index, argv + index + 1,
                 static_cast<std::size_t>(count - index) * sizeof argv[0]);
}

} // namespace

BOption take_b_option(int *argc, char **argv, const char **directory) {
    int count = *argc;
    for (int index = 1; index < count; ++index) {
        const char *element = argv[index];
        if (element[0] != '-' || element[1] != 'B') {
            continue;
        }
        remove_argument(argv, index, count);
        --count;
        const char *value = element + 2;
        if (*value == '\0') {
            // Separate form: the value is the element that moved into its place.
            value = argv[index];
            if (value == nullptr) {
                *argc = count;
                return BOption::missing_value;
            }
            remove_argument(argv, index, count);
            --count;
        }
        *argc = count;
        // One-character and empty values are prefixes as they stand ("-Bx" looks
        // for "xar"); longer ones name a directory.
        std::size_t length = std::strlen(value);
        if (length >= 2 && value[length - 1] != '/') {
            value = join_strings(value, "/", nullptr);
        }
        *directory = value;
        return BOption::taken;
    }
    return BOption::absent;
}
