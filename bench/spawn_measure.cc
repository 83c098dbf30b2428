// SPDX-License-Identifier: Apache-2.0
// Measuring one run of a case: its time, its peak memory and its system calls,
// and the check that it does its job at all.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "bench/spawn_bench.h"
#include "testkit/files.h"

extern char **environ;

namespace spawn_bench {
namespace {

// The monotonic clock in milliseconds.
double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// A rusage time in milliseconds.
double ms(const timeval &t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

// Runs `c` with standard output (and error, unless `err_path` is empty) in
// files below the tree; the case's status and its standard output.
std::pair<RunResult, std::string>
run_to_files(const Case &c, bool echo, const std::string &out_path, const std::string &err_path) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int flags = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), flags, 0644);
    if (!err_path.empty()) {
        posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), flags, 0644);
    }
    Prepared p = prepare(c, echo);
    RunResult r = run(c, p, &actions);
    posix_spawn_file_actions_destroy(&actions);
    return {r, kit::read_file(out_path)};
}

// The "VmHWM:" figure of /proc/<pid>/status in KiB, or -1.
long vm_hwm(pid_t pid) {
    std::string status = kit::read_file("/proc/" + std::to_string(pid) + "/status");
    std::size_t at = status.find("\nVmHWM:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + std::strlen("\nVmHWM:"));
}

// Whether the wait status `status` is the ptrace stop of `event`.
bool is_event(int status, int event) {
    return WIFSTOPPED(status) && status >> 8 == (SIGTRAP | event << 8);
}

} // namespace

Prepared prepare(const Case &c, bool echo) {
    Prepared p;
    p.argv_strings = c.argv;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "ZIN_", 4) != 0 && std::strncmp(*entry, "PATH=", 5) != 0) {
            p.env_strings.emplace_back(*entry);
        }
    }
    p.env_strings.push_back("PATH=" + c.search_path);
    if (echo) {
        p.env_strings.emplace_back("ZIN_BENCH_ECHO=1");
    }
    for (std::string &s : p.argv_strings) {
        p.argv.push_back(s.data());
    }
    p.argv.push_back(nullptr);
    for (std::string &s : p.env_strings) {
        p.env.push_back(s.data());
    }
    p.env.push_back(nullptr);
    return p;
}

RunResult run(const Case &c, const Prepared &p, posix_spawn_file_actions_t *actions) {
    RunResult result;
    pid_t pid;
    double start = now_ms();
    int error =
        posix_spawn(&pid, c.executable.c_str(), actions, nullptr, p.argv.data(), p.env.data());
    if (error != 0) {
        errno = error;
        die_errno("posix_spawn " + c.executable);
    }
    rusage usage;
    while (wait4(pid, &result.status, 0, &usage) < 0) {
        if (errno != EINTR) {
            die_errno("wait4");
        }
    }
    result.milliseconds = now_ms() - start;
    result.cpu_milliseconds = ms(usage.ru_utime) + ms(usage.ru_stime);
    result.minor_faults = usage.ru_minflt;
    return result;
}

void verify(const Case &c) {
    std::string err_path = std::string(ZIN_BENCH_TREE_DIR) + "/verify.err";
    auto [r, out] =
        run_to_files(c, true, std::string(ZIN_BENCH_TREE_DIR) + "/verify.out", err_path);
    std::string err = kit::read_file(err_path);
    if (!WIFEXITED(r.status) || WEXITSTATUS(r.status) != ZIN_BENCH_ECHO_STATUS ||
        out != c.expected_output || !err.empty()) {
        wrong_result("case '" + c.label + "' does not do its job:\n  wait status " +
                     std::to_string(r.status) + " (expected: exit " +
                     std::to_string(ZIN_BENCH_ECHO_STATUS) + ")\n  expected stdout:\n" +
                     c.expected_output + "  actual stdout:\n" + out + "  stderr:\n" + err);
    }
}

// wait4's ru_maxrss is no use for programs this small: an exec charges the old
// address space's peak to the new program, and the kernel's per-CPU RSS
// counters read in steps of a batch of pages (128 KiB here). So the
// case runs traced and its VmHWM is read when it stops on its way out, exact to
// the page and free of its tool, which runs in a process of its own.
long measure_rss(const Case &c) {
    Prepared p = prepare(c, false);
    pid_t pid = fork();
    if (pid == 0) {
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        raise(SIGSTOP);
        execve(c.executable.c_str(), p.argv.data(), p.env.data());
        _exit(127);
    }
    if (pid < 0) {
        die_errno("fork");
    }
    // The first stop is the child's own SIGSTOP, before its exec.
    int status;
    if (waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) {
        die("the traced child of '" + c.label + "' did not stop");
    }
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXEC | PTRACE_O_TRACEEXIT);
    ptrace(PTRACE_CONT, pid, nullptr, 0);
    long kib = -1;
    pid_t got;
    while ((got = waitpid(pid, &status, 0)) == pid && WIFSTOPPED(status)) {
        int deliver = 0; // the case's own signals (its SIGCHLD), not the tracing's stops
        if (is_event(status, PTRACE_EVENT_EXIT)) {
            kib = vm_hwm(pid);
        } else if (!is_event(status, PTRACE_EVENT_EXEC)) {
            deliver = WSTOPSIG(status);
        }
        ptrace(PTRACE_CONT, pid, nullptr, deliver);
    }
    if (got != pid) {
        die_errno("waitpid");
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        wrong_result("case '" + c.label + "' failed when traced, wait status " +
                     std::to_string(status));
    }
    if (kib < 0) {
        die("peak memory of '" + c.label + "' not measured");
    }
    return kib;
}

std::string find_program(const char *name) {
    const char *path = std::getenv("PATH");
    std::string list = path != nullptr ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t end = std::min(list.find(':', start), list.size());
        std::string candidate = list.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return "";
}

long count_syscalls(const std::string &strace, const Case &c) {
    std::string report = std::string(ZIN_BENCH_TREE_DIR) + "/strace.out";
    Case traced = c;
    traced.executable = strace;
    // strace starts the program by the argv[0] it is given, as a shell would:
    // a bare name is found on the case's own PATH.
    std::string program = c.argv[0].find('/') == std::string::npos ? c.argv[0] : c.executable;
    traced.argv = {strace, "-f", "-c", "-o", report, "--", program};
    traced.argv.insert(traced.argv.end(), c.argv.begin() + 1, c.argv.end());
    Prepared p = prepare(traced, false);
    RunResult r = run(traced, p, nullptr);
    if (!WIFEXITED(r.status) || WEXITSTATUS(r.status) != 0) {
        die("strace of '" + c.label + "' failed, wait status " + std::to_string(r.status));
    }
    // The last line: "100.00  <seconds>  <usecs/call>  <calls>  <errors>  total".
    std::string text = kit::read_file(report);
    std::size_t last = text.rfind('\n', text.size() >= 2 ? text.size() - 2 : 0);
    double percent, seconds;
    long usecs, calls;
    if (std::sscanf(text.c_str() + (last == std::string::npos ? 0 : last + 1), "%lf %lf %ld %ld",
                    &percent, &seconds, &usecs, &calls) != 4 ||
        text.find("total", last == std::string::npos ? 0 : last) == std::string::npos) {
        die("cannot read the strace summary of '" + c.label + "':\n" + text);
    }
    return calls;
}

} // namespace spawn_bench
