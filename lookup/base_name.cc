// SPDX-License-Identifier: Apache-2.0
// Base names by POSIX rules and by drive-letter rules.
#include "lookup/base_name.h"

#include "lookup/lookup_platform.h"
#include "support/char_tables.h"

const char *path_base_name(const char *path) {
    const char *base = path;
    for (const char *p = path; *p != '\0'; ++p) {
        if (*p == '/') {
            base = p + 1;
        }
    }
    return base;
}

const char *path_base_name_dos(const char *path) {
    const char *base = path;
    if (char_is(path[0], CHAR_UPPER | CHAR_LOWER) && path[1] == ':') {
        base += 2;
    }
    for (const char *p = base; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            base = p + 1;
        }
    }
    return base;
}

const char *platform_base_name(const char *path) {
    return platform_windows_names ? path_base_name_dos(path) : path_base_name(path);
}
