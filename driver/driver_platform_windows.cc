// SPDX-License-Identifier: Apache-2.0
// The driver's host-dependent steps on Windows hosts.
#include <cstdio>
#include <windows.h> // with shellapi.h: CommandLineToArgvW

#include "driver/driver_platform.h"
#include "support/checked_alloc.h"
#include "support/support_platform_windows.h"

bool driver_utf8_arguments(const char *program_name, int *argc, char ***argv) {
    // The C runtime's argv is in the ANSI code page, which cannot hold every
    // name: the wide command line can.
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return true;
    }
    auto **arguments =
        static_cast<char **>(checked_calloc(static_cast<std::size_t>(count) + 1, sizeof(char *)));
    for (int i = 0; i < count; ++i) {
        arguments[i] = platform_wide_to_utf8(wide[i]);
        if (arguments[i] == nullptr) {
            std::fprintf(stderr, "%s: argument %d is not valid Unicode\n", program_name, i);
            LocalFree(wide);
            return false;
        }
    }
    LocalFree(wide);
    *argc = count;
    *argv = arguments;
    return true;
}

void driver_reset_child_signal() {}
