// SPDX-License-Identifier: Apache-2.0
// Building search lists one prefix at a time, and the trace switch.
#include "lookup/search_list.h"

#include <cstring>

#include "lookup/search_list_internal.h"
#include "support/checked_alloc.h"

bool search_list_trace = false;

void search_list_set_trace(bool on) {
    search_list_trace = on;
}

SearchListEntry **search_list_end(SearchList *list) {
    SearchListEntry **link = &list->head;
    while (*link != nullptr) {
        link = &(*link)->next;
    }
    return link;
}

SearchListEntry **search_list_insert(SearchList *list, SearchListEntry **link, const char *prefix) {
    // The length is kept as a 32-bit value; a longer prefix saturates it, and
    // search_list_find then measures the entries itself (see there).
    std::size_t length = std::strlen(prefix);
    std::int32_t stored = length > static_cast<std::size_t>(INT32_MAX)
                              ? INT32_MAX
                              : static_cast<std::int32_t>(length);
    if (stored > list->max_prefix_length) {
        list->max_prefix_length = stored;
    }

    auto *entry = static_cast<SearchListEntry *>(checked_malloc(sizeof(SearchListEntry)));
    entry->prefix = checked_strdup(prefix);
    entry->next = *link;
    *link = entry;
    return &entry->next;
}

void search_list_add(SearchList *list, const char *prefix, bool at_front) {
    search_list_insert(list, at_front ? &list->head : search_list_end(list), prefix);
}

void search_list_append(SearchList *list, const char *prefix) {
    search_list_add(list, prefix, false);
}

void search_list_prepend(SearchList *list, const char *prefix) {
    search_list_add(list, prefix, true);
}
