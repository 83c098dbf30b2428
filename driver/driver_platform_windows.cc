// SPDX-License-Identifier: Apache-2.0
// The driver's host-dependent steps on Windows hosts.
#include <windows.h> // with shellapi.h: CommandLineToArgvW

#include "driver/driver_platform.h"
#include "support/checked_alloc.h"

namespace {

// A new checked UTF-8 copy of `wide`; a text that does not convert (an
// unpaired surrogate) is taken with the replacement character.
char *utf8_from_wide(const wchar_t *wide) {
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return static_cast<char *>(checked_calloc(1, 1));
    }
    auto *text = static_cast<char *>(checked_malloc(static_cast<std::size_t>(size)));
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, size, nullptr, nullptr);
    return text;
}

} // namespace

void driver_utf8_arguments(int *argc, char ***argv) {
    // The C runtime's argv is in the ANSI code page, which cannot hold every
    // name: the wide command line can.
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return;
    }
    auto **arguments =
        static_cast<char **>(checked_calloc(static_cast<std::size_t>(count) + 1, sizeof(char *)));
    for (int i = 0; i < count; ++i) {
        arguments[i] = utf8_from_wide(wide[i]);
    }
    LocalFree(wide);
    *argc = count;
    *argv = arguments;
}

void driver_reset_child_signal() {}
