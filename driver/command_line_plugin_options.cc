// SPDX-License-Identifier: Apache-2.0
// Counting the "--plugin" pairs that a chain of wrappers puts in front.
#include <cstring>

#include "driver/command_line.h"

int leading_plugin_options(int argc, char *const *argv) {
    int count = 0;
    for (int index = 1; index + 1 < argc && std::strcmp(argv[index], "--plugin") == 0; index += 2) {
        ++count;
    }
    return count;
}
