// SPDX-License-Identifier: Apache-2.0
// Looking a file up in a search list.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lookup/lookup_platform.h"
#include "lookup/search_list.h"
#include "lookup/search_list_internal.h"
#include "support/checked_alloc.h"

namespace {

// Room for the longest prefix of the list. A saturated max_prefix_length
// means some prefix is longer than 32 bits can say, so the entries are measured.
std::size_t longest_prefix(const SearchList *list) {
    if (list->max_prefix_length < INT32_MAX) {
        return static_cast<std::size_t>(list->max_prefix_length);
    }
    std::size_t longest = 0;
    for (const SearchListEntry *entry = list->head; entry != nullptr; entry = entry->next) {
        std::size_t length = std::strlen(entry->prefix);
        if (length > longest) {
            longest = length;
        }
    }
    return longest;
}

// Whether `facts` describe the file `skip` (never, when `skip` is null).
bool is_skipped(const FileFacts &facts, const FileIdentity *skip) {
    return skip != nullptr && facts.identity.volume == skip->volume &&
           facts.identity.index == skip->index;
}

// Whether `path` exists, is not a directory nor the file `skip`, and passes access(mode).
bool acceptable_candidate(const char *path, int mode, const FileIdentity *skip) {
    FileFacts facts;
    if (!platform_file_facts(path, &facts)) {
        return false;
    }
    if (facts.is_directory || is_skipped(facts, skip)) {
        return false;
    }
    return platform_access(path, mode);
}

// Whether an absolute name is not the file `skip` and passes access(mode);
// without `skip` no stat is made, as no file-type test is made either.
bool acceptable_absolute(const char *path, int mode, const FileIdentity *skip) {
    FileFacts facts;
    if (skip != nullptr && platform_file_facts(path, &facts) && is_skipped(facts, skip)) {
        return false;
    }
    return platform_access(path, mode);
}

} // namespace

char *search_list_find(const SearchList *list, const char *name, int mode) {
    return search_list_find_except(list, name, mode, nullptr);
}

char *search_list_find_except(const SearchList *list, const char *name, int mode,
                              const FileIdentity *skip) {
    if (search_list_trace) {
        std::fprintf(stderr, "Looking for '%s'\n", name);
    }

    std::size_t name_length = std::strlen(name);
    // One buffer serves every candidate of this call.
    char *candidate = static_cast<char *>(checked_malloc(longest_prefix(list) + 1 + name_length));

    if (platform_is_absolute(name)) {
        // An absolute name is tested itself, without a file-type test.
        if (acceptable_absolute(name, mode, skip)) {
            std::memcpy(candidate, name, name_length + 1);
            if (search_list_trace) {
                std::fprintf(stderr, "  - found: absolute path\n");
            }
            return candidate;
        }
        if (search_list_trace) {
            std::fprintf(stderr, "  - failed to locate using absolute path\n");
            if (list->head == nullptr) {
                std::fprintf(stderr, "  - failed: no entries in prefix list\n");
            }
        }
        std::free(candidate);
        return nullptr;
    }

    if (list->head == nullptr) {
        if (search_list_trace) {
            std::fprintf(stderr, "  - failed: no entries in prefix list\n");
        }
        std::free(candidate);
        return nullptr;
    }

    for (const SearchListEntry *entry = list->head; entry != nullptr; entry = entry->next) {
        std::size_t prefix_length = std::strlen(entry->prefix);
        std::memcpy(candidate, entry->prefix, prefix_length);
        std::memcpy(candidate + prefix_length, name, name_length + 1);
        if (acceptable_candidate(candidate, mode, skip)) {
            return candidate;
        }
    }

    std::free(candidate);
    return nullptr;
}
