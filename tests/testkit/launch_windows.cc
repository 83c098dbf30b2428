// SPDX-License-Identifier: Apache-2.0
// The one launcher on Windows hosts: CreateProcessW with the command line
// quoted as the wrappers quote theirs (pex_win32_command_line), a wide
// environment block and pipes for what the program writes. The raw status of
// an Outcome is the program's 32-bit exit code.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cwchar>
#include <io.h>
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

// The exit code of a program ended for running past its time.
constexpr UINT killed_exit_code = 1;

// An inheritable copy of the handle of descriptor `fd` for the child, or null
// when `fd` is no open descriptor or cannot be copied.
HANDLE inheritable(int fd) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    HANDLE copy = nullptr;
    if (handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        fail(with_last_error("DuplicateHandle of descriptor " + std::to_string(fd)));
        return nullptr;
    }
    return copy;
}

// A pipe whose write end the child inherits; false, with neither end open,
// when it cannot be made.
bool make_pipe(HANDLE *read_end, HANDLE *write_end) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(read_end, write_end, &inherit, 0)) {
        fail(with_last_error("CreatePipe"));
        *read_end = *write_end = nullptr;
        return false;
    }
    if (!SetHandleInformation(*read_end, HANDLE_FLAG_INHERIT, 0)) {
        fail(with_last_error("SetHandleInformation"));
        CloseHandle(*read_end);
        CloseHandle(*write_end);
        *read_end = *write_end = nullptr;
        return false;
    }
    return true;
}

// A pipe to read to its end, and where its bytes go.
struct Drain {
    HANDLE pipe;
    std::string *sink;
};

// Reads the pipe of a Drain to its end, then closes it (a thread's body).
DWORD WINAPI drain(void *argument) {
    auto *work = static_cast<Drain *>(argument);
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(work->pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        work->sink->append(buffer, got);
    }
    CloseHandle(work->pipe);
    return 0;
}

void close_handles(std::initializer_list<HANDLE> handles) {
    for (HANDLE handle : handles) {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
}

// Milliseconds left until `deadline`, none when it has passed.
DWORD left_until(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

// Starts the program suspended with exactly the standard handles `child`
// (null: none) inheritable, in `job`, then lets it run; its process handle,
// or null after fail().
HANDLE start_in_job(const Launch &launch, HANDLE job, const HANDLE child[3]) {
    std::wstring line;
    if (!command_line(launch, &line)) {
        fail("run_program: no command line carries this vector: " + describe(launch));
        return nullptr;
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = child[0];
    startup.StartupInfo.hStdOutput = child[1];
    startup.StartupInfo.hStdError = child[2];
    // Named in a handle list, the child inherits these and no other
    // inheritable handle of the test, such as a pipe of another launch.
    std::vector<HANDLE> listed;
    for (int fd = 0; fd < 3; ++fd) {
        if (child[fd] != nullptr) {
            listed.push_back(child[fd]);
        }
    }
    DWORD creation = CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED;
    std::vector<char> attributes;
    if (!listed.empty()) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        attributes.resize(size);
        startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
        if (!InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size)) {
            fail(with_last_error("InitializeProcThreadAttributeList"));
            return nullptr;
        }
        if (!UpdateProcThreadAttribute(startup.lpAttributeList, 0,
                                       PROC_THREAD_ATTRIBUTE_HANDLE_LIST, listed.data(),
                                       listed.size() * sizeof(HANDLE), nullptr, nullptr)) {
            fail(with_last_error("UpdateProcThreadAttribute"));
            DeleteProcThreadAttributeList(startup.lpAttributeList);
            return nullptr;
        }
        creation |= EXTENDED_STARTUPINFO_PRESENT;
    }
    std::wstring application = wide(launch.executable);
    std::wstring environment = environment_block(launch);
    std::wstring cwd = wide(launch.cwd);
    PROCESS_INFORMATION process{};
    bool started = CreateProcessW(
        application.c_str(), line.data(), nullptr, nullptr, !listed.empty(), creation,
        environment.data(), cwd.empty() ? nullptr : cwd.c_str(), &startup.StartupInfo, &process);
    if (!started) {
        fail(with_last_error("CreateProcessW " + launch.executable));
    }
    if (startup.lpAttributeList != nullptr) {
        DeleteProcThreadAttributeList(startup.lpAttributeList);
    }
    if (!started) {
        return nullptr;
    }
    if (!AssignProcessToJobObject(job, process.hProcess)) {
        fail(with_last_error("AssignProcessToJobObject"));
        TerminateProcess(process.hProcess, killed_exit_code);
        WaitForSingleObject(process.hProcess, INFINITE);
        close_handles({process.hThread, process.hProcess});
        return nullptr;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return process.hProcess;
}

} // namespace

Outcome run_program(const Launch &launch) {
    Outcome outcome;
    if (launch.ignore_sigpipe || launch.ignore_sigchld || launch.as_nobody || launch.no_processes) {
        fail("run_program: signals and users are POSIX settings: " + describe(launch));
        return outcome;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(launch.timeout_ms);
    // The child's standard handles: the launch's descriptor, else /dev/null's
    // counterpart for input and a pipe for output, or none when closed.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE child[3] = {nullptr, nullptr, nullptr};
    HANDLE readers[3] = {nullptr, nullptr, nullptr};
    const int given[3] = {launch.stdin_fd, launch.stdout_fd, launch.stderr_fd};
    bool ready = true;
    for (int fd = 0; fd < 3 && ready; ++fd) {
        if (launch.closed[fd]) {
            continue;
        }
        if (given[fd] >= 0) {
            child[fd] = inheritable(given[fd]);
            ready = child[fd] != nullptr;
        } else if (fd == 0) {
            child[fd] = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherit, OPEN_EXISTING, 0, nullptr);
            if (child[fd] == INVALID_HANDLE_VALUE) {
                fail(with_last_error("CreateFileW NUL"));
                child[fd] = nullptr;
                ready = false;
            }
        } else {
            ready = make_pipe(&readers[fd], &child[fd]);
        }
    }
    // The program and whatever it starts belong to a job of their own, so
    // that a program past its time ends together with the descendants that
    // still hold its pipes.
    HANDLE job = ready ? CreateJobObjectW(nullptr, nullptr) : nullptr;
    if (ready && job == nullptr) {
        fail(with_last_error("CreateJobObjectW"));
    }
    HANDLE process = job != nullptr ? start_in_job(launch, job, child) : nullptr;
    // The child has its copies: the pipes end when the last writer closes.
    close_handles({child[0], child[1], child[2]});
    Drain drains[2] = {{readers[1], &outcome.out}, {readers[2], &outcome.err}};
    std::vector<HANDLE> threads;
    for (Drain &work : drains) {
        if (work.pipe == nullptr) {
            continue;
        }
        if (HANDLE thread = CreateThread(nullptr, 0, drain, &work, 0, nullptr)) {
            threads.push_back(thread);
        } else {
            fail(with_last_error("CreateThread"));
            CloseHandle(work.pipe);
        }
    }
    if (process != nullptr) {
        bool ended = WaitForSingleObject(process, left_until(deadline)) == WAIT_OBJECT_0;
        // A descendant may hold the pipes after the program ended.
        ended = ended && (threads.empty() ||
                          WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(),
                                                 TRUE, left_until(deadline)) == WAIT_OBJECT_0);
        if (!ended) {
            outcome.timed_out = true;
            TerminateJobObject(job, killed_exit_code);
            WaitForSingleObject(process, INFINITE);
        }
        DWORD code = 0;
        if (GetExitCodeProcess(process, &code)) {
            outcome.wait_status = static_cast<int>(code);
        } else {
            fail(with_last_error("GetExitCodeProcess"));
        }
        CloseHandle(process);
    }
    if (!threads.empty()) {
        WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    }
    for (HANDLE thread : threads) {
        CloseHandle(thread);
    }
    close_handles({job});
    drop_emulator_reports(outcome.err);
    return outcome;
}

int exit_code(int wait_status) {
    return wait_status;
}

} // namespace kit
