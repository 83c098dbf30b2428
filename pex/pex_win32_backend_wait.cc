// SPDX-License-Identifier: Apache-2.0
// Waiting for one child of the Win32 back end, with its CPU times.
#include <cerrno>
#include <cstdint>
#include <windows.h>

#include "pex/pex_win32_backend.h"
#include "support/support_platform_windows.h"

namespace {

// FILETIME ticks (100 ns) in a second and in a microsecond.
constexpr std::uint64_t ticks_per_second = 10000000;
constexpr std::uint64_t ticks_per_microsecond = 10;

// The ticks of a FILETIME duration.
std::uint64_t ticks(FILETIME time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Stores a duration as whole seconds and the microseconds left over.
void store_duration(FILETIME time, std::int64_t *seconds, std::int64_t *microseconds) {
    std::uint64_t total = ticks(time);
    *seconds = static_cast<std::int64_t>(total / ticks_per_second);
    *microseconds = static_cast<std::int64_t>(total % ticks_per_second / ticks_per_microsecond);
}

} // namespace

int pex_win32_wait_child(Pipeline *, pid_t pid, int *status, PexStageTimes *stage_times,
                         int terminate_first, const char **error_message, int *error_number) {
    auto process = reinterpret_cast<HANDLE>(static_cast<intptr_t>(pid));
    // A value that is no process handle is nobody's child, and is left alone:
    // ending, waiting for or closing it would act on another object of this
    // process (a negative value is a pseudo-handle: -1 this very process).
    if (pid <= 0 || GetProcessId(process) == 0) {
        *error_message = "WaitForSingleObject";
        *error_number = ECHILD;
        return -1;
    }
    if (terminate_first != 0) {
        // Fails harmlessly for a child that has already ended, which keeps its code.
        TerminateProcess(process, pex_win32_terminated_exit_code);
    }
    const char *failed = nullptr;
    DWORD error = ERROR_SUCCESS;
    DWORD code = 0;
    if (WaitForSingleObject(process, INFINITE) == WAIT_FAILED) {
        failed = "WaitForSingleObject";
        error = GetLastError();
    } else if (!GetExitCodeProcess(process, &code)) {
        failed = "GetExitCodeProcess";
        error = GetLastError();
    } else {
        // The whole 32-bit exit code is the status.
        *status = static_cast<int>(code);
    }
    if (failed == nullptr && stage_times != nullptr) {
        FILETIME created, ended, kernel, user;
        if (GetProcessTimes(process, &created, &ended, &kernel, &user)) {
            store_duration(user, &stage_times->user_sec, &stage_times->user_usec);
            store_duration(kernel, &stage_times->system_sec, &stage_times->system_usec);
        } else {
            failed = "GetProcessTimes";
            error = GetLastError();
        }
    }
    // The handle is given up on every path: a child is waited for once.
    CloseHandle(process);
    if (failed != nullptr) {
        *error_message = failed;
        *error_number = platform_errno_from_win32(error);
        return -1;
    }
    return 0;
}
