// SPDX-License-Identifier: Apache-2.0
// Filling a search list from a colon-separated string or environment variable.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lookup/search_list.h"
#include "lookup/search_list_internal.h"
#include "support/checked_alloc.h"

namespace {

// Pieces of a search-path string are separated by this character.
constexpr char separator = ':';

} // namespace

void search_list_from_string(const char *string, SearchList *list) {
    std::size_t length = std::strlen(string);
    // One buffer for every piece: the longest piece plus an added '/' and its
    // NUL, or "./" and its NUL, fit in length + 3 bytes.
    char *piece = static_cast<char *>(checked_malloc(length + 3));

    if (search_list_trace) {
        std::fprintf(stderr, "Convert string '%s' into prefixes, separator = '%c'\n", string,
                     separator);
    }

    // Appending piece after piece behind a remembered end keeps a PATH of
    // tens of thousands of entries linear instead of walking the list each time.
    SearchListEntry **end_link = search_list_end(list);
    const char *start = string;
    for (;;) {
        const char *end = std::strchr(start, separator);
        std::size_t piece_length =
            end != nullptr ? static_cast<std::size_t>(end - start) : std::strlen(start);

        if (piece_length == 0) {
            std::memcpy(piece, "./", 3);
        } else {
            std::memcpy(piece, start, piece_length);
            if (start[piece_length - 1] != '/') {
                piece[piece_length++] = '/';
            }
            piece[piece_length] = '\0';
        }

        if (search_list_trace) {
            std::fprintf(stderr, "  - add prefix: %s\n", piece);
        }
        end_link = search_list_insert(list, end_link, piece);

        if (end == nullptr) {
            break;
        }
        start = end + 1;
    }

    std::free(piece);
}

void search_list_from_env(const char *variable, SearchList *list) {
    const char *value = std::getenv(variable);
    if (value != nullptr) {
        search_list_from_string(value, list);
    }
}
