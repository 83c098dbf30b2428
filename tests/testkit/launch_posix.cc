// SPDX-License-Identifier: Apache-2.0
// The one launcher on POSIX hosts: fork, then execve with the descriptors,
// environment, user and limits of the launch; poll collects the output.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <initializer_list>
#include <iterator>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testkit/fail.h"
#include "testkit/launch.h"
#include "testkit/process.h"

extern char **environ;

// The emulator of a cross build as the words of a command; none natively.
#ifndef ZIN_TESTKIT_EMULATOR
#define ZIN_TESTKIT_EMULATOR
#endif

namespace kit {

namespace {

constexpr const char *emulator[] = {ZIN_TESTKIT_EMULATOR nullptr};
constexpr std::size_t emulator_words = std::size(emulator) - 1;

// What an ELF header says of the machine that runs the program: the magic,
// word size and byte order (the first identification bytes), and e_machine.
constexpr std::size_t ident_bytes = EI_DATA + 1;
constexpr std::size_t machine_at = offsetof(Elf64_Ehdr, e_machine);
static_assert(offsetof(Elf32_Ehdr, e_machine) == machine_at);
constexpr std::size_t header_bytes = machine_at + sizeof(Elf64_Half);

// Reads the first header_bytes of `path`; false when it cannot. Safe in a forked child.
bool read_header(const char *path, unsigned char *header) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ssize_t got = read(fd, header, header_bytes);
    close(fd);
    return got == static_cast<ssize_t>(header_bytes);
}

// The header bytes of this program, which under the emulator is the test
// program, not the emulator; null when they cannot be read.
const unsigned char *own_header() {
    static unsigned char header[header_bytes];
    static const bool known = read_header("/proc/self/exe", header);
    return known ? header : nullptr;
}

// Whether `path` is a program this process may execute that was built for
// the same machine as this program. Safe in a forked child.
bool for_own_machine(const char *path, const unsigned char *own) {
    unsigned char header[header_bytes];
    return access(path, X_OK) == 0 && read_header(path, header) &&
           std::memcmp(header, own, ident_bytes) == 0 &&
           std::memcmp(header + machine_at, own + machine_at, header_bytes - machine_at) == 0;
}

// The emulator's command for the launch: argv[0] as the test chose it (-0),
// and the program by the path the kernel would have been given, which the
// program sees as AT_EXECFN. Only a path into /proc/self is resolved here:
// in the emulator's process it would name the emulator. An empty argv
// becomes {""}, as Linux makes it.
std::vector<std::string> emulated_argv(const Launch &launch) {
    std::vector<std::string> words(emulator, emulator + emulator_words);
    words.push_back("-0");
    words.push_back(launch.argv.empty() ? "" : launch.argv[0]);
    char resolved[PATH_MAX];
    bool own_path = launch.executable.starts_with("/proc/self/") &&
                    realpath(launch.executable.c_str(), resolved) != nullptr;
    words.push_back(own_path ? resolved : launch.executable);
    if (!launch.argv.empty()) {
        words.insert(words.end(), launch.argv.begin() + 1, launch.argv.end());
    }
    return words;
}

// The base environment with the launch's changes applied in order.
std::vector<std::string> environment_for(const Launch &launch) {
    std::vector<std::string> entries;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        if (!text.starts_with("ZIN_") && !text.starts_with("STAND_IN_") &&
            !text.starts_with("LD_PRELOAD=")) {
            entries.push_back(text);
        }
    }
    for (const EnvChange &change : launch.env) {
        std::erase_if(entries,
                      [&](const std::string &text) { return text.starts_with(change.name + "="); });
        if (change.value) {
            entries.push_back(change.name + "=" + *change.value);
        }
    }
    return entries;
}

// A null-terminated vector of pointers into `strings`, for execve.
std::vector<char *> pointers_to(std::vector<std::string> &strings) {
    std::vector<char *> pointers;
    for (std::string &text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Child side: puts `source` on `target`, or closes `target` when the source is -1.
void place(int source, int target) {
    if (source < 0) {
        close(target);
    } else if (source != target && dup2(source, target) < 0) {
        _exit(126);
    }
}

// Closes each descriptor of `fds` that is open (>= 0).
void close_all(std::initializer_list<int> fds) {
    for (int fd : fds) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

// Forks and execs the launch. Its descriptor 0, 1 or 2 is closed when the
// launch says so, else comes from the launch's own descriptor for it, else
// from `fallback`. The sources were opened after 0..2 of this process, so
// they sit above 2 and placing one never clobbers another.
pid_t spawn(const Launch &launch, const int (&fallback)[3]) {
    const int given[3] = {launch.stdin_fd, launch.stdout_fd, launch.stderr_fd};
    int sources[3];
    for (int fd = 0; fd < 3; ++fd) {
        sources[fd] = launch.closed[fd] ? -1 : given[fd] >= 0 ? given[fd] : fallback[fd];
    }
    std::vector<std::string> argv_strings = launch.argv;
    std::vector<std::string> env_strings = environment_for(launch);
    std::vector<char *> argv = pointers_to(argv_strings);
    std::vector<char *> envp = pointers_to(env_strings);
    // In a cross build the kernel cannot start a program built for the target:
    // such a program goes through the emulator, everything else to the kernel.
    const unsigned char *own = emulator_words > 0 ? own_header() : nullptr;
    std::vector<std::string> emulated_strings;
    if (own != nullptr) {
        emulated_strings = emulated_argv(launch);
    }
    std::vector<char *> emulated = pointers_to(emulated_strings);
    const char *cwd = launch.cwd.empty() ? nullptr : launch.cwd.c_str();
    pid_t pid = fork();
    if (pid != 0) {
        if (pid < 0) {
            fail(with_errno("fork"));
        }
        return pid;
    }
    // Only async-signal-safe calls from here on.
    if (cwd != nullptr && chdir(cwd) != 0) {
        _exit(126);
    }
    for (int fd = 0; fd < 3; ++fd) {
        place(sources[fd], fd);
    }
    close_range(3, ~0U, 0);
    signal(SIGPIPE, launch.ignore_sigpipe ? SIG_IGN : SIG_DFL);
    signal(SIGCHLD, launch.ignore_sigchld ? SIG_IGN : SIG_DFL);
    if (launch.as_nobody) {
        // Lowered only after the switch: a limit already exceeded at setuid
        // would make the exec fail instead of the program's own fork.
        struct rlimit none = {0, 0};
        if (!become_nobody() || (launch.no_processes && setrlimit(RLIMIT_NPROC, &none) != 0)) {
            _exit(cannot_switch_user);
        }
    }
    if (own != nullptr && for_own_machine(launch.executable.c_str(), own)) {
        execve(emulated[0], emulated.data(), envp.data());
    } else {
        execve(launch.executable.c_str(), argv.data(), envp.data());
    }
    static const char failed[] = "launcher: execve failed\n";
    (void)!write(2, failed, sizeof failed - 1);
    _exit(127);
}

// Reads the pipes (-1: none) to their ends, closing them, and reaps `pid`. A
// program still writing after `timeout_ms` is killed and the reading stops:
// a descendant may hold the pipes open too.
void collect(pid_t pid, int out_fd, int err_fd, int timeout_ms, Outcome *outcome) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string *sinks[2] = {&outcome->out, &outcome->err};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        int ready = poll(fds, 2, left > 0 ? static_cast<int>(left) : 0);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            outcome->timed_out = ready == 0;
            kill(pid, SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[65536];
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    close_all({fds[0].fd, fds[1].fd});
    while (waitpid(pid, &outcome->wait_status, 0) < 0) {
        if (errno != EINTR) {
            fail(with_errno("waitpid"));
            return;
        }
    }
}

} // namespace

Outcome run_program(const Launch &launch) {
    Outcome outcome;
    int out_pipe[2] = {-1, -1};
    int err_pipe[2] = {-1, -1};
    if ((!launch.closed[1] && launch.stdout_fd < 0 && pipe2(out_pipe, O_CLOEXEC) != 0) ||
        (!launch.closed[2] && launch.stderr_fd < 0 && pipe2(err_pipe, O_CLOEXEC) != 0)) {
        fail(with_errno("pipe2"));
        close_all({out_pipe[0], out_pipe[1]});
        return outcome;
    }
    int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_t pid = spawn(launch, {null_fd, out_pipe[1], err_pipe[1]});
    close_all({null_fd, out_pipe[1], err_pipe[1]});
    if (pid < 0) {
        close_all({out_pipe[0], err_pipe[0]});
        return outcome;
    }
    collect(pid, out_pipe[0], err_pipe[0], launch.timeout_ms, &outcome);
    drop_emulator_reports(outcome.err);
    return outcome;
}

pid_t start_program(const Launch &launch) {
    int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    pid_t pid = spawn(launch, {null_fd, null_fd, null_fd});
    close(null_fd);
    return pid;
}

int exit_code(int wait_status) {
    return wait_status >= 0 && WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}

std::string find_on_path(const std::string &name) {
    const char *path = std::getenv("PATH");
    std::string list = path != nullptr ? path : "";
    for (std::size_t start = 0; path != nullptr && start <= list.size();) {
        std::size_t end = std::min(list.find(':', start), list.size());
        std::string candidate = list.substr(start, end - start) + "/" + name;
        // Only absolute entries: a relative one would depend on the test's directory.
        if (list[start] == '/' && access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return "";
}

} // namespace kit
