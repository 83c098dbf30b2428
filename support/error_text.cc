// SPDX-License-Identifier: Apache-2.0
// Text of an errno value.
#include "support/error_text.h"

#include <cstdio>
#include <cstring>

const char *error_text(int error_number) {
    // Holds "undocumented error #" and any int: 20 + 11 characters and the NUL.
    static char undocumented[32];
    const char *text = std::strerror(error_number);
    if (text != nullptr) {
        return text;
    }
    std::snprintf(undocumented, sizeof undocumented, "undocumented error #%d", error_number);
    return undocumented;
}
