// SPDX-License-Identifier: Apache-2.0
// Symbolic-link-free absolute form of a path.
#pragma once

// A new heap string (malloc family): the canonical form of `path` as the host
// makes it (realpath on POSIX), or an unchanged copy when it cannot be made;
// null only when a string cannot be allocated.
char *canonical_path(const char *path);
