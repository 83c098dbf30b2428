// SPDX-License-Identifier: Apache-2.0
// What the lookup's host interface says the same way on every host, built on
// the host's own calls.
#include "lookup/lookup_platform.h"

bool file_identity(const char *path, FileIdentity *identity) {
    FileFacts facts;
    if (path == nullptr || !platform_file_facts(path, &facts)) {
        return false;
    }
    *identity = facts.identity;
    return true;
}
