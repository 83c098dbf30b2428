// SPDX-License-Identifier: Apache-2.0
// Ordered lists of directory prefixes and the search for a file in them.
// A prefix is used by plain concatenation with the file name.
#pragma once

#include <cstdint>

#include "lookup/lookup_platform.h"

// One prefix of a SearchList and the link to the next.
struct SearchListEntry {
    char *prefix;          // owned copy, stored exactly as added
    SearchListEntry *next; // following entry, null at the end
};

// A zero-initialised SearchList is an empty list; entries are never removed.
struct SearchList {
    SearchListEntry *head;
    std::int32_t max_prefix_length; // longest prefix ever added, never decreases
};

// Switches the module-wide trace of searches and string splits on stderr.
void search_list_set_trace(bool on);

// Inserts a copy of `prefix` at the front (`at_front`) or at the end of `list`.
void search_list_add(SearchList *list, const char *prefix, bool at_front);

// search_list_add at the end.
void search_list_append(SearchList *list, const char *prefix);

// search_list_add at the front.
void search_list_prepend(SearchList *list, const char *prefix);

// Appends `directory` whole, list separators included, as one prefix ending in
// a separator ("./" for an empty one), traced like a piece of
// search_list_from_string.
void search_list_append_directory(SearchList *list, const char *directory);

// Appends one prefix ending in a separator for every piece of the list, cut at
// platform_list_separator (':'; ';' on Windows); "./" for an empty piece.
void search_list_from_string(const char *string, SearchList *list);

// search_list_from_string on the variable's value when it is set (even empty).
void search_list_from_env(const char *variable, SearchList *list);

// A new heap path (the caller's) to the first prefix+name that exists, is not
// a directory and passes access(mode) (platform_access); an absolute name is
// only tested itself. Null when nothing is found.
char *search_list_find(const SearchList *list, const char *name, int mode);

// search_list_find that also passes over every candidate that is the file
// `skip` (a wrapper must not find itself as its tool); null skips nothing.
char *search_list_find_except(const SearchList *list, const char *name, int mode,
                              const FileIdentity *skip);
