// SPDX-License-Identifier: Apache-2.0
// The leftovers check on Windows hosts: descriptors found by probing the C
// runtime's table, children by the system's process list. Windows hands no
// orphan to another process, so only this process's own children are seen,
// and only while they run: an ended child leaves the list.
#include <chrono>
#include <io.h>
#include <vector>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "testkit/leftovers_internal.h"

namespace kit {

namespace {

// Descriptors probed: the C runtime's limit (msvcrt's _NHANDLE_).
constexpr int probed_descriptors = 2048;

// The exit code given to a child killed for running past the wait.
constexpr UINT killed_exit_code = 1;

// Lets a bad descriptor given to the C runtime fail the call.
void ignore_invalid_parameter(const wchar_t *, const wchar_t *, const wchar_t *, unsigned,
                              uintptr_t) {}

// The processes whose parent is this one, opened to be waited for and ended.
std::vector<HANDLE> open_children() {
    std::vector<HANDLE> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return children;
    }
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID != GetCurrentProcessId()) {
            continue;
        }
        if (HANDLE child =
                OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION,
                            FALSE, entry.th32ProcessID)) {
            children.push_back(child);
        }
    }
    CloseHandle(snapshot);
    return children;
}

} // namespace

std::set<int> open_descriptors() {
    _invalid_parameter_handler previous = _set_invalid_parameter_handler(ignore_invalid_parameter);
    std::set<int> result;
    for (int fd = 0; fd < probed_descriptors; ++fd) {
        if (_get_osfhandle(fd) != -1) {
            result.insert(fd);
        }
    }
    _set_invalid_parameter_handler(previous);
    return result;
}

bool become_reaper() {
    return false;
}

void take_descendants(int wait_ms, Leftovers *left) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (HANDLE child : open_children()) {
        auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        DWORD wait = remaining.count() > 0 ? static_cast<DWORD>(remaining.count()) : 0;
        if (WaitForSingleObject(child, wait) != WAIT_OBJECT_0 &&
            TerminateProcess(child, killed_exit_code) != 0) {
            ++left->killed;
            WaitForSingleObject(child, INFINITE);
        }
        DWORD code = 0;
        GetExitCodeProcess(child, &code);
        left->statuses.push_back(static_cast<int>(code));
        CloseHandle(child);
    }
}

} // namespace kit
