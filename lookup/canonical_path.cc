// SPDX-License-Identifier: Apache-2.0
// The symbolic-link-free absolute form of a path.
#include "lookup/canonical_path.h"

#include <climits>
#include <cstdlib>
#include <cstring>

char *canonical_path(const char *path) {
    char resolved[PATH_MAX];
    // A path that cannot be resolved (missing, not a directory, ...) is used as given.
    if (realpath(path, resolved) != nullptr) {
        return strdup(resolved);
    }
    return strdup(path);
}
