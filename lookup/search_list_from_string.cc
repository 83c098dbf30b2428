// SPDX-License-Identifier: Apache-2.0
// Filling a search list from a list of directories in a string or an
// environment variable, or with one directory taken whole.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lookup/lookup_platform.h"
#include "lookup/path_list.h"
#include "lookup/search_list.h"
#include "lookup/search_list_internal.h"
#include "support/checked_alloc.h"
#include "support/support_platform.h"

void search_list_from_string(const char *string, SearchList *list) {
    std::size_t length = std::strlen(string);
    // One buffer for every piece: the longest piece plus an added '/' and its
    // NUL, or "./" and its NUL, fit in length + 3 bytes.
    char *piece = static_cast<char *>(checked_malloc(length + 3));

    if (search_list_trace) {
        std::fprintf(stderr, "Convert string '%s' into prefixes, separator = '%c'\n", string,
                     platform_list_separator);
    }

    // Appending piece after piece behind a remembered end keeps a PATH of
    // tens of thousands of entries linear instead of walking the list each time.
    SearchListEntry **end_link = search_list_end(list);
    const char *start = string;
    for (;;) {
        const char *end = path_list_piece_end(start, platform_list_separator);
        piece[path_list_prefix(piece, start, static_cast<std::size_t>(end - start))] = '\0';
        if (search_list_trace) {
            std::fprintf(stderr, "  - add prefix: %s\n", piece);
        }
        end_link = search_list_insert(list, end_link, piece);

        if (*end == '\0') {
            break;
        }
        start = end + 1;
    }

    std::free(piece);
}

void search_list_from_env(const char *variable, SearchList *list) {
    const char *value = platform_getenv(variable);
    if (value != nullptr) {
        search_list_from_string(value, list);
    }
}

void search_list_append_directory(SearchList *list, const char *directory) {
    std::size_t length = std::strlen(directory);
    char *prefix = static_cast<char *>(checked_malloc(length + 3));
    prefix[path_list_prefix(prefix, directory, length)] = '\0';
    if (search_list_trace) {
        std::fprintf(stderr, "  - add prefix: %s\n", prefix);
    }
    search_list_insert(list, search_list_end(list), prefix);
    std::free(prefix);
}
