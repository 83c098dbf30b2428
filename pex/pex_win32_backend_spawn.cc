// SPDX-License-Identifier: Apache-2.0
// Starting one child of the Win32 back end. The child inherits exactly its
// three standard handles: inheritable copies made for the call alone and
// named in a PROC_THREAD_ATTRIBUTE_HANDLE_LIST, while everything the
// pipeline holds is opened without inheritance, so a pipe's reader sees end
// of file as soon as its writers are gone, whatever else has started since.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <io.h>
#include <windows.h>

#include "pex/pex_win32_backend.h"
#include "support/checked_alloc.h"
#include "support/join_strings.h"
#include "support/support_platform.h"
#include "support/support_platform_windows.h"

static_assert(sizeof(pid_t) >= sizeof(HANDLE), "a process id carries the child's process handle");

namespace {

// What a searched name is tried with in each directory: first as a program,
// as CreateProcess completes a name, so that a file of the bare name beside
// it (a script, say) does not hide it; then as given.
constexpr const char *search_suffixes[] = {".exe", ""};

// The start of the environment entry that holds the search path.
constexpr char path_entry[] = "PATH=";
constexpr std::size_t path_entry_length = sizeof path_entry - 1;

// The failed step and its errno, as spawn_child reports them.
struct SpawnFailure {
    const char *message; // null while nothing failed
    int error_number;
};

// Records the step that failed with the errno of Windows error `code`.
void fail_with(SpawnFailure *failure, const char *message, unsigned long code) {
    failure->message = message;
    failure->error_number = platform_errno_from_win32(code);
}

// Whether `name` names a file by itself, so that it is not searched for: it
// holds a separator or a drive.
bool is_path(const char *name) {
    return std::strpbrk(name, "/\\:") != nullptr;
}

// Whether `name` (UTF-8) is an existing file that is not a directory.
bool is_file(const char *name) {
    unsigned long attributes = platform_file_attributes(name);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The PATH the child is searched on: the one of `env` when given (as execvp
// reads the environment the child gets), else the caller's.
const char *search_path(const char *const *env) {
    if (env == nullptr) {
        return platform_getenv("PATH");
    }
    for (const char *const *entry = env; *entry != nullptr; ++entry) {
        // Names are compared without regard to case, as Windows does.
        if (_strnicmp(*entry, path_entry, path_entry_length) == 0) {
            return *entry + path_entry_length;
        }
    }
    return nullptr;
}

// The first file `name`.exe or `name` in a directory of `path` (';'
// separated; an empty entry is skipped), as a new string; null when none.
char *find_on_path(const char *name, const char *path) {
    if (path == nullptr) {
        return nullptr;
    }
    for (const char *start = path; *start != '\0';) {
        const char *end = std::strchr(start, ';');
        std::size_t length =
            end != nullptr ? static_cast<std::size_t>(end - start) : std::strlen(start);
        if (length != 0) {
            char *directory = static_cast<char *>(checked_malloc(length + 1));
            std::memcpy(directory, start, length);
            directory[length] = '\0';
            bool separated = directory[length - 1] == '\\' || directory[length - 1] == '/';
            for (const char *suffix : search_suffixes) {
                char *candidate =
                    join_strings(directory, separated ? "" : "\\", name, suffix, nullptr);
                if (is_file(candidate)) {
                    std::free(directory);
                    return candidate;
                }
                std::free(candidate);
            }
            std::free(directory);
        }
        if (end == nullptr) {
            break;
        }
        start = end + 1;
    }
    return nullptr;
}

// The length of the name of environment entry `entry`: up to its first '='
// after the first character, since the names Windows gives the current
// directory of each drive ("=C:") begin with one.
int name_length(const wchar_t *entry) {
    const wchar_t *equals = entry[0] != L'\0' ? std::wcschr(entry + 1, L'=') : nullptr;
    return static_cast<int>(equals != nullptr ? equals - entry : std::wcslen(entry));
}

// Whether entry `a` belongs after entry `b`: by name, ordinal and without
// regard to case, the order Windows keeps its own blocks in.
bool sorts_after(const wchar_t *a, const wchar_t *b) {
    return CompareStringOrdinal(a, name_length(a), b, name_length(b), TRUE) == CSTR_GREATER_THAN;
}

// The three handles the child gets, as inheritable copies that this call owns.
struct ChildHandles {
    HANDLE standard[3]; // input, output, error; null where the caller has none
    HANDLE listed[3];   // the distinct copies, for the handle list
    int listed_count;
};

// Makes an inheritable copy of descriptor `fd`'s handle into *copy. A
// standard descriptor whose handle the caller does not have (closed, or none
// in a program without a console) leaves the child without one (null); any
// other descriptor must be open.
bool copy_handle(int fd, int standard_fd, HANDLE *copy, SpawnFailure *failure) {
    *copy = nullptr;
    intptr_t raw = _get_osfhandle(fd);
    auto handle = reinterpret_cast<HANDLE>(raw);
    HANDLE process = GetCurrentProcess();
    // Not only -1 (not open): the C runtime gives -2 for a standard descriptor
    // of a program started without that handle, and -2 is the pseudo-handle
    // of the current thread, which would go to the child as its stream.
    bool valid = raw > 0;
    if (valid && DuplicateHandle(process, handle, process, copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        return true;
    }
    DWORD error = valid ? GetLastError() : ERROR_INVALID_HANDLE;
    *copy = nullptr;
    if (fd == standard_fd) {
        return true;
    }
    fail_with(failure, "DuplicateHandle", error);
    return false;
}

// Closes the copies made for the child.
void close_child_handles(ChildHandles *handles) {
    for (int i = 0; i < handles->listed_count; ++i) {
        CloseHandle(handles->listed[i]);
    }
    handles->listed_count = 0;
}

// Fills `handles` for the three descriptors; with PEX_MERGE_STDERR the
// child's standard error is its standard output.
bool make_child_handles(int flags, const int fds[3], ChildHandles *handles, SpawnFailure *failure) {
    *handles = ChildHandles{{nullptr, nullptr, nullptr}, {nullptr, nullptr, nullptr}, 0};
    int count = (flags & PEX_MERGE_STDERR) != 0 ? 2 : 3;
    for (int i = 0; i < count; ++i) {
        if (!copy_handle(fds[i], i, &handles->standard[i], failure)) {
            close_child_handles(handles);
            return false;
        }
        if (handles->standard[i] != nullptr) {
            handles->listed[handles->listed_count++] = handles->standard[i];
        }
    }
    if (count == 2) {
        handles->standard[2] = handles->standard[1];
    }
    return true;
}

// What one start needs besides the handles, in the wide form of the calls.
struct StartPlan {
    wchar_t *application;  // the file to run
    wchar_t *command_line; // modifiable, as CreateProcessW wants
    wchar_t *environment;  // null to inherit the caller's
};

// Fills `plan` from the stage, refusing before anything is started what
// CreateProcessW cannot take.
bool make_start_plan(int flags, const char *executable, const char *const *argv,
                     const char *const *env, StartPlan *plan, SpawnFailure *failure) {
    *plan = StartPlan{nullptr, nullptr, nullptr};
    if (executable == nullptr) {
        // No name to search for or convert; EFAULT, as the Unix back end says.
        failure->message = "CreateProcess";
        failure->error_number = EFAULT;
        return false;
    }
    char *line = pex_win32_command_line(argv);
    if (line == nullptr) {
        failure->message = "command line cannot hold the arguments";
        failure->error_number = EINVAL;
        return false;
    }
    plan->command_line = platform_utf8_to_wide(line);
    std::free(line);
    if (plan->command_line == nullptr) {
        failure->message = "CreateProcess";
        failure->error_number = EILSEQ;
        return false;
    }
    if (std::wcslen(plan->command_line) + 1 > pex_win32_command_line_max) {
        failure->message = "command line too long";
        failure->error_number = E2BIG;
        return false;
    }
    char *found = nullptr;
    if ((flags & PEX_PATH_SEARCH) != 0 && !is_path(executable)) {
        found = find_on_path(executable, search_path(env));
        if (found == nullptr) {
            failure->message = "CreateProcess";
            failure->error_number = ENOENT;
            return false;
        }
    }
    plan->application = platform_utf8_to_wide(found != nullptr ? found : executable);
    std::free(found);
    if (plan->application == nullptr) {
        failure->message = "CreateProcess";
        failure->error_number = EILSEQ;
        return false;
    }
    if (env != nullptr) {
        plan->environment = pex_win32_environment_block(env);
        if (plan->environment == nullptr) {
            failure->message = "CreateProcess";
            failure->error_number = EILSEQ;
            return false;
        }
    }
    return true;
}

// Frees what make_start_plan made.
void free_start_plan(StartPlan *plan) {
    std::free(plan->application);
    std::free(plan->command_line);
    std::free(plan->environment);
}

// Starts the child; its process handle, or null with the failure recorded.
HANDLE start_process(const StartPlan *plan, ChildHandles *handles, SpawnFailure *failure) {
    STARTUPINFOEXW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = handles->standard[0];
    startup.StartupInfo.hStdOutput = handles->standard[1];
    startup.StartupInfo.hStdError = handles->standard[2];
    DWORD creation = CREATE_UNICODE_ENVIRONMENT;
    void *attributes = nullptr;
    if (handles->listed_count != 0) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        attributes = checked_malloc(size);
        auto *list = static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes);
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            fail_with(failure, "InitializeProcThreadAttributeList", GetLastError());
            std::free(attributes);
            return nullptr;
        }
        if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles->listed,
                                       static_cast<SIZE_T>(handles->listed_count) * sizeof(HANDLE),
                                       nullptr, nullptr)) {
            fail_with(failure, "UpdateProcThreadAttribute", GetLastError());
            DeleteProcThreadAttributeList(list);
            std::free(attributes);
            return nullptr;
        }
        startup.lpAttributeList = list;
        creation |= EXTENDED_STARTUPINFO_PRESENT;
    }
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessW(plan->application, plan->command_line, nullptr, nullptr,
                                  handles->listed_count != 0 ? TRUE : FALSE, creation,
                                  plan->environment, nullptr, &startup.StartupInfo, &process);
    DWORD error = GetLastError();
    if (attributes != nullptr) {
        DeleteProcThreadAttributeList(static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes));
        std::free(attributes);
    }
    if (!started) {
        fail_with(failure, "CreateProcess", error);
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Closes the caller's copy of a stage descriptor unless it is the standard
// one; the first failing close is the one reported.
void close_parent_copy(int fd, int standard_fd, SpawnFailure *failure) {
    if (fd == standard_fd || fd < 0) {
        return;
    }
    if (_close(fd) < 0 && failure->message == nullptr) {
        failure->message = "close";
        failure->error_number = errno;
    }
}

} // namespace

wchar_t *pex_win32_environment_block(const char *const *env) {
    std::size_t count = 0;
    while (env[count] != nullptr) {
        ++count;
    }
    auto **entries = static_cast<wchar_t **>(checked_calloc(count, sizeof(wchar_t *)));
    std::size_t kept = 0;
    std::size_t units = 2; // the last NUL, and the one of an empty block
    for (std::size_t i = 0; i < count; ++i) {
        if (env[i][0] == '\0') {
            continue; // an empty entry would end the block early
        }
        wchar_t *wide = platform_utf8_to_wide(env[i]);
        if (wide == nullptr) {
            for (std::size_t j = 0; j < kept; ++j) {
                std::free(entries[j]);
            }
            std::free(entries);
            return nullptr;
        }
        units += std::wcslen(wide) + 1;
        // Inserted after every entry it does not sort before, so that the
        // entries of one name keep the caller's order.
        std::size_t at = kept++;
        for (; at > 0 && sorts_after(entries[at - 1], wide); --at) {
            entries[at] = entries[at - 1];
        }
        entries[at] = wide;
    }
    auto *block = static_cast<wchar_t *>(checked_malloc(units * sizeof(wchar_t)));
    wchar_t *out = block;
    for (std::size_t i = 0; i < kept; ++i) {
        std::size_t length = std::wcslen(entries[i]) + 1;
        std::memcpy(out, entries[i], length * sizeof(wchar_t));
        out += length;
        std::free(entries[i]);
    }
    std::free(entries);
    if (kept == 0) {
        *out++ = L'\0'; // an empty block is two NULs, as if it held one empty string
    }
    *out = L'\0';
    return block;
}

pid_t pex_win32_spawn_child(Pipeline *, int flags, const char *executable, const char *const *argv,
                            const char *const *env, int in_fd, int out_fd, int err_fd, int,
                            const char **error_message, int *error_number) {
    // child_close_fd needs nothing: the child inherits the three handles alone.
    SpawnFailure failure = {nullptr, 0};
    HANDLE process = nullptr;
    StartPlan plan;
    if (make_start_plan(flags, executable, argv, env, &plan, &failure)) {
        const int fds[3] = {in_fd, out_fd, err_fd};
        ChildHandles handles;
        if (make_child_handles(flags, fds, &handles, &failure)) {
            process = start_process(&plan, &handles, &failure);
            close_child_handles(&handles);
        }
    }
    free_start_plan(&plan);
    // The caller's copies are closed on every path, so it never closes a
    // descriptor it passed here.
    close_parent_copy(in_fd, 0, &failure);
    close_parent_copy(out_fd, 1, &failure);
    close_parent_copy(err_fd, 2, &failure);
    if (failure.message != nullptr) {
        if (process != nullptr) {
            // The program runs, but the start is reported as failed: end it
            // rather than leave a child nobody will wait for.
            TerminateProcess(process, pex_win32_terminated_exit_code);
            WaitForSingleObject(process, INFINITE);
            CloseHandle(process);
        }
        *error_message = failure.message;
        *error_number = failure.error_number;
        return -1;
    }
    return static_cast<pid_t>(reinterpret_cast<intptr_t>(process));
}
