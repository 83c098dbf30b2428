// SPDX-License-Identifier: Apache-2.0
// The one launcher on Windows hosts: CreateProcessW with the command line
// quoted as the wrappers quote theirs (pex_win32_command_line), a wide
// environment block and pipes for what the program writes. The raw status of
// an Outcome is the program's 32-bit exit code.
#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <io.h>
#include <thread>
#include <windows.h>

#include "pex/pex_win32_backend.h"
#include "testkit/fail.h"
#include "testkit/launch.h"
#include "testkit/process.h"
#include "testkit/win32.h"

namespace kit {

namespace {

// The command line of the launch, quoted by the product's own rules; false
// when no command line can carry the vector (a program name holding '"').
bool command_line(const Launch &launch, std::wstring *line) {
    if (launch.argv.empty()) {
        line->clear();
        return true;
    }
    std::vector<const char *> argv;
    for (const std::string &argument : launch.argv) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    char *quoted = pex_win32_command_line(argv.data());
    if (quoted == nullptr) {
        return false;
    }
    *line = wide(quoted);
    std::free(quoted);
    return true;
}

// The name of an environment entry "NAME=value"; an entry of the per-drive
// directories ("=C:=C:\\dir") keeps its leading '='.
std::wstring entry_name(const std::wstring &entry) {
    return entry.substr(0, entry.find(L'=', 1));
}

// Whether two environment names are the same name: Windows ignores case.
bool same_name(const std::wstring &a, const std::wstring &b) {
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

// Whether `name` starts with `prefix`, case ignored.
bool has_prefix(const std::wstring &name, const wchar_t *prefix) {
    return _wcsnicmp(name.c_str(), prefix, std::wcslen(prefix)) == 0;
}

// The environment block of the launch: this process's environment without
// the variables that steer the wrappers and the stand-in tool, the launch's
// changes applied in order, sorted by name as Windows keeps it.
std::wstring environment_block(const Launch &launch) {
    std::vector<std::wstring> entries;
    if (wchar_t *block = GetEnvironmentStringsW()) {
        for (const wchar_t *entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
            std::wstring text = entry;
            if (!has_prefix(text, L"ZIN_") && !has_prefix(text, L"STAND_IN_")) {
                entries.push_back(text);
            }
        }
        FreeEnvironmentStringsW(block);
    }
    for (const EnvChange &change : launch.env) {
        std::wstring name = wide(change.name);
        std::erase_if(
            entries, [&](const std::wstring &entry) { return same_name(entry_name(entry), name); });
        if (change.value) {
            entries.push_back(name + L"=" + wide(*change.value));
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) {
        return _wcsicmp(entry_name(a).c_str(), entry_name(b).c_str()) < 0;
    });
    std::wstring block;
    for (const std::wstring &entry : entries) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

// An inheritable copy of `handle` for the child, or null for none.
HANDLE inheritable(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE &&
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        fail(with_last_error("DuplicateHandle"));
        return nullptr;
    }
    return copy;
}

// A pipe whose write end the child inherits; false when it cannot be made.
bool make_pipe(HANDLE *read_end, HANDLE *write_end) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(read_end, write_end, &inherit, 0) ||
        !SetHandleInformation(*read_end, HANDLE_FLAG_INHERIT, 0)) {
        fail(with_last_error("CreatePipe"));
        return false;
    }
    return true;
}

// Reads `pipe` to its end into *sink, then closes it.
void drain(HANDLE pipe, std::string *sink) {
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        sink->append(buffer, got);
    }
    CloseHandle(pipe);
}

void close_handles(std::initializer_list<HANDLE> handles) {
    for (HANDLE handle : handles) {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
}

} // namespace

Outcome run_program(const Launch &launch) {
    Outcome outcome;
    if (launch.ignore_sigpipe || launch.ignore_sigchld || launch.as_nobody || launch.no_processes) {
        fail("run_program: signals and users are POSIX settings: " + describe(launch));
        return outcome;
    }
    // The child's standard handles: the launch's descriptor, else /dev/null's
    // counterpart for input and a pipe for output, or none when closed.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE child[3] = {nullptr, nullptr, nullptr};
    HANDLE readers[3] = {nullptr, nullptr, nullptr};
    const int given[3] = {launch.stdin_fd, launch.stdout_fd, launch.stderr_fd};
    for (int fd = 0; fd < 3; ++fd) {
        if (launch.closed[fd]) {
            continue;
        }
        if (given[fd] >= 0) {
            child[fd] = inheritable(reinterpret_cast<HANDLE>(_get_osfhandle(given[fd])));
        } else if (fd == 0) {
            child[fd] = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherit, OPEN_EXISTING, 0, nullptr);
        } else if (!make_pipe(&readers[fd], &child[fd])) {
            close_handles({child[0], child[1], readers[1]});
            return outcome;
        }
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child[0];
    startup.hStdOutput = child[1];
    startup.hStdError = child[2];
    std::wstring application = wide(launch.executable);
    std::wstring line;
    if (!command_line(launch, &line)) {
        fail("run_program: no command line carries this vector: " + describe(launch));
        close_handles({child[0], child[1], child[2], readers[1], readers[2]});
        return outcome;
    }
    std::wstring environment = environment_block(launch);
    std::wstring cwd = wide(launch.cwd);
    PROCESS_INFORMATION process{};
    bool started = CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                                  CREATE_UNICODE_ENVIRONMENT, environment.data(),
                                  cwd.empty() ? nullptr : cwd.c_str(), &startup, &process);
    if (!started) {
        fail(with_last_error("CreateProcessW " + launch.executable));
    }
    close_handles({child[0], child[1], child[2]});
    std::thread out_reader;
    std::thread err_reader;
    if (readers[1] != nullptr) {
        out_reader = std::thread(drain, readers[1], &outcome.out);
    }
    if (readers[2] != nullptr) {
        err_reader = std::thread(drain, readers[2], &outcome.err);
    }
    if (started) {
        CloseHandle(process.hThread);
        if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(launch.timeout_ms)) ==
            WAIT_TIMEOUT) {
            outcome.timed_out = true;
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code)) {
            outcome.wait_status = static_cast<int>(code);
        } else {
            fail(with_last_error("GetExitCodeProcess"));
        }
        CloseHandle(process.hProcess);
    }
    if (out_reader.joinable()) {
        out_reader.join();
    }
    if (err_reader.joinable()) {
        err_reader.join();
    }
    drop_emulator_reports(outcome.err);
    return outcome;
}

int exit_code(int wait_status) {
    return wait_status;
}

} // namespace kit
