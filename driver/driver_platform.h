// SPDX-License-Identifier: Apache-2.0
// What the driver does differently on POSIX and on Windows hosts; one
// implementation per host (driver_platform_posix.cc, driver_platform_windows.cc).
#pragma once

// Makes *argc and *argv the program's arguments in UTF-8; true on success.
// POSIX: left as they are. Windows: the wide command line split as
// CommandLineToArgvW splits it, each argument converted to UTF-8 into memory
// that is never freed; the C runtime's narrow arguments stay when the command
// line cannot be split. An argument that is not valid UTF-16 (an unpaired
// surrogate) has no UTF-8 form: false, after "<program_name>: argument N is
// not valid Unicode" on standard error.
bool driver_utf8_arguments(const char *program_name, int *argc, char ***argv);

// Gives SIGCHLD its default disposition before the tool starts (POSIX); an
// ignored one, inherited from the caller, would let the kernel reap the tool
// and the wait fail. Windows has no such signal: nothing.
void driver_reset_child_signal();
