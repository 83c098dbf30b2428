// SPDX-License-Identifier: Apache-2.0
// Cutting a list of directories into pieces and making each a prefix.
#include "lookup/path_list.h"

#include <cstring>

#include "lookup/lookup_platform.h"

const char *path_list_piece_end(const char *piece, char separator) {
    const char *end = std::strchr(piece, separator);
    return end != nullptr ? end : piece + std::strlen(piece);
}

std::size_t path_list_prefix(char *prefix, const char *piece, std::size_t length) {
    if (length == 0) {
        prefix[0] = '.';
        prefix[1] = '/';
        return 2;
    }
    // The caller ends the prefix, with a NUL or with a file name.
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(prefix, piece, length);
    if (!platform_is_separator(piece[length - 1])) {
        prefix[length++] = '/';
    }
    return length;
}
