// SPDX-License-Identifier: Apache-2.0
// Turning the tool's status into the wrapper's exit status: one mapping per
// host (exit_status_posix.cc, exit_status_windows.cc), and the names of the
// Windows exception codes, which every host can look up.
#pragma once

#include <cstdint>

// POSIX: the tool's exit code when it exited; otherwise 1, after printing
// "<tool_path> terminated with signal N [text][, core dumped]\n" when a signal
// killed it. Windows: the tool's 32-bit exit code whole, after printing
// "<tool_path> terminated with exception 0xXXXXXXXX [name]\n" when it is an
// exception code.
int wrapper_exit_status(int wait_status, const char *tool_path);

// The name of a Windows exception code (an NTSTATUS error, 0xC0000000 to
// 0xCFFFFFFF), "unknown exception" for one without a name here; null for any
// other exit code, which a program may well exit with (exit(-1) gives 0xFFFFFFFF).
const char *exception_name(std::uint32_t exit_code);
