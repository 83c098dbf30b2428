// SPDX-License-Identifier: Apache-2.0
// String joining; the variadic front ends live in the header.
#include "support/join_strings.h"

#include <cstdlib>
#include <cstring>

#include "support/checked_alloc.h"

char *join_strings_buffer = nullptr;

std::size_t join_strings_length_list(const char *const *pieces) {
    std::size_t total = 0;
    for (; *pieces != nullptr; ++pieces) {
        total += std::strlen(*pieces);
    }
    return total;
}

char *join_strings_into_list(char *destination, const char *const *pieces) {
    char *end = destination;
    for (; *pieces != nullptr; ++pieces) {
        std::size_t length = std::strlen(*pieces);
        std::memcpy(end, *pieces, length);
        end += length;
    }
    *end = '\0';
    return destination;
}

char *join_strings_list(const char *const *pieces) {
    char *joined = static_cast<char *>(checked_malloc(join_strings_length_list(pieces) + 1));
    return join_strings_into_list(joined, pieces);
}

char *rejoin_strings_list(char *old, const char *const *pieces) {
    char *joined = join_strings_list(pieces);
    // Only now: `old` may have been one of the pieces.
    if (old != nullptr) {
        std::free(old);
    }
    return joined;
}
