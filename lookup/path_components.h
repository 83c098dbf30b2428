// SPDX-License-Identifier: Apache-2.0
// Splitting a path into components that concatenate back to it byte for byte.
#pragma once

// A null-terminated heap array of heap strings, each a stretch of the path
// ending with (and including) a run of separators ('/'; on Windows '\\' too),
// the last possibly without one.
// Writes the number of strings to *count. Null, *count untouched, for an empty
// path or a failed allocation (plain malloc; nothing leaks).
char **split_path_components(const char *path, int *count);

// Frees every string of a component list, then the array; null is ignored.
void free_path_components(char **components);
