// SPDX-License-Identifier: Apache-2.0
// The back end over the Win32 process services: CreateProcessW with a
// command line quoted argument by argument and an explicit list of the three
// handles the child inherits. Descriptors are the C runtime's; a process id
// carries the child's process handle.
#pragma once

#include <cstddef>

#include "pex/pex_types.h"

// Most UTF-16 units of a command line CreateProcessW accepts, its NUL included.
inline constexpr std::size_t pex_win32_command_line_max = 32767;

// Exit code given to a child ended by wait_child's terminate_first.
inline constexpr unsigned pex_win32_terminated_exit_code = 1;

// The one Win32 operation table, shared by every pipeline (Windows builds only).
extern const PexBackend pex_win32_backend;

// A new UTF-8 command line that the Microsoft C runtime and CommandLineToArgvW
// both split back into exactly `argv`; null when no command line can: an
// empty vector, or a program name (argv[0]) holding '"', which that field
// cannot carry. Pure string work, built on every host.
char *pex_win32_command_line(const char *const *argv);

// A new environment block (malloc family) for CreateProcessW with
// CREATE_UNICODE_ENVIRONMENT: the entries of `env` in UTF-16, each ended by a
// NUL, sorted by name without regard to case as Windows keeps its own blocks
// (entries of one name in the caller's order), one NUL more at the end; empty
// entries left out; null with errno EILSEQ when an entry is not UTF-8
// (Windows builds only).
wchar_t *pex_win32_environment_block(const char *const *env);

// Slot 3 of the Win32 back end; see PexBackend::spawn_child.
pid_t pex_win32_spawn_child(Pipeline *pipeline, int flags, const char *executable,
                            const char *const *argv, const char *const *env, int in_fd, int out_fd,
                            int err_fd, int child_close_fd, const char **error_message,
                            int *error_number);

// Slot 5 of the Win32 back end; see PexBackend::wait_child.
int pex_win32_wait_child(Pipeline *pipeline, pid_t pid, int *status, PexStageTimes *stage_times,
                         int terminate_first, const char **error_message, int *error_number);
