// SPDX-License-Identifier: Apache-2.0
// The hygiene checks on Windows hosts: descriptors found by probing the C
// runtime's table, children by the system's process list.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "pex/hygiene.h"
#include "pex/hygiene_internal.h"
#include "support/support_platform_windows.h"

namespace {

// Descriptors probed: well above what the C runtime opens by default.
constexpr int probed_descriptors = 2048;

HANDLE watchdog_timer = nullptr;

// Ends the process: a test has hung.
void CALLBACK watchdog_fired(void *, BOOLEAN) {
    std::fputs("hygiene watchdog: the test hung, ending the process\n", stderr);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
}

// Ignores a bad descriptor given to the C runtime, which then fails the call.
void ignore_invalid_parameter(const wchar_t *, const wchar_t *, const wchar_t *, unsigned,
                              uintptr_t) {}

} // namespace

const char *const null_device = "NUL";

std::FILE *open_failing_stream(int *close_errno) {
    // Wine's fclose reports no failed flush, so the descriptor goes from
    // under the stream and its close fails too.
    int fds[2];
    if (_pipe(fds, 4096, _O_BINARY | _O_NOINHERIT) != 0) {
        return nullptr;
    }
    std::FILE *stream = _fdopen(fds[1], "wb");
    _close(fds[0]);
    _close(fds[1]);
    *close_errno = EBADF;
    return stream;
}

bool name_temp_directory(const std::string &directory) {
    wchar_t *wide = platform_utf8_to_wide(directory.c_str());
    bool named = wide != nullptr && SetEnvironmentVariableW(L"TMPDIR", wide);
    std::free(wide);
    return named;
}

std::set<int> open_descriptor_snapshot() {
    _set_invalid_parameter_handler(ignore_invalid_parameter);
    std::set<int> result;
    for (int fd = 0; fd < probed_descriptors; ++fd) {
        if (_get_osfhandle(fd) != -1) {
            result.insert(fd);
        }
    }
    return result;
}

void set_watchdog(unsigned seconds) {
    if (watchdog_timer != nullptr) {
        DeleteTimerQueueTimer(nullptr, watchdog_timer, INVALID_HANDLE_VALUE);
        watchdog_timer = nullptr;
    }
    if (seconds != 0) {
        CreateTimerQueueTimer(&watchdog_timer, nullptr, watchdog_fired, nullptr, seconds * 1000, 0,
                              WT_EXECUTEONLYONCE);
    }
}

std::string children_left() {
    // A child that has ended is gone from the list, even while a handle to
    // it is still open.
    std::string found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return "no process list: error " + std::to_string(GetLastError());
    }
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId()) {
            char *name = platform_wide_to_utf8(entry.szExeFile);
            found += "process " + std::to_string(entry.th32ProcessID) + " " +
                     (name != nullptr ? name : "?") + "\n";
            std::free(name);
        }
    }
    CloseHandle(snapshot);
    return found;
}
