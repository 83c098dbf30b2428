// SPDX-License-Identifier: Apache-2.0
// The symbolic-link-free absolute form of a path.
#include "lookup/canonical_path.h"

#include <cstring>

#include "lookup/lookup_platform.h"

char *canonical_path(const char *path) {
    char *canonical = nullptr;
    // A path that cannot be resolved (missing, not a directory, ...) is used as given.
    if (platform_canonical_path(path, &canonical)) {
        return canonical;
    }
    return strdup(path);
}
