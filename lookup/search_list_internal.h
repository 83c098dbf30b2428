// SPDX-License-Identifier: Apache-2.0
// What the search-list sources share beyond the public interface.
#pragma once

#include "lookup/search_list.h"

// Whether searches and string splits describe their work on stderr; off at start.
extern bool search_list_trace;

// The link behind the last entry of `list`, where an appended entry goes.
SearchListEntry **search_list_end(SearchList *list);

// Links a new entry holding a copy of `prefix` in at `link`, updates
// max_prefix_length, and returns the link behind the new entry.
SearchListEntry **search_list_insert(SearchList *list, SearchListEntry **link, const char *prefix);
