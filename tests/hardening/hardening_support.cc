#include "hardening/hardening_support.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace hardening {

namespace {

// Child side of launch(): only async-signal-safe calls. Puts `fd` on `target`
// unless the descriptor is to stay closed.
void place(int fd, int target, bool closed) {
    if (closed) {
        close(target);
    } else if (fd != target && dup2(fd, target) < 0) {
        _exit(126);
    }
}

} // namespace

Finished launch(const Launch &launch) {
    Finished finished;
    std::vector<std::string> argv_strings = launch.command.argv;
    std::vector<std::string> env_strings = e2e::environment_for(launch.command);
    std::vector<char *> argv = e2e::pointers_to(argv_strings);
    std::vector<char *> envp = e2e::pointers_to(env_strings);

    int out_pipe[2];
    int err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2: " << std::strerror(errno);
        return finished;
    }
    int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int stdout_source = launch.stdout_fd >= 0 ? launch.stdout_fd : out_pipe[1];
    const char *cwd = launch.command.cwd.empty() ? nullptr : launch.command.cwd.c_str();
    pid_t pid = fork();
    if (pid == 0) {
        if (cwd != nullptr && chdir(cwd) != 0) {
            _exit(126);
        }
        // The sources sit above 2 (opened after 0..2 in the test process), so
        // placing one never clobbers another.
        place(null_fd, 0, launch.closed[0]);
        place(stdout_source, 1, launch.closed[1]);
        place(err_pipe[1], 2, launch.closed[2]);
        close_range(3, ~0U, 0);
        signal(SIGPIPE, launch.ignore_sigpipe ? SIG_IGN : SIG_DFL);
        if (launch.as_nobody) {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
                _exit(125);
            }
            // Lowered only now: a limit already exceeded at setuid would make
            // the exec below fail instead of the wrapper's fork.
            struct rlimit none = {0, 0};
            if (launch.no_processes && setrlimit(RLIMIT_NPROC, &none) != 0) {
                _exit(125);
            }
        }
        execve(launch.command.executable.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(null_fd);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (pid < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        close(out_pipe[0]);
        close(err_pipe[0]);
        return finished;
    }

    finished.timed_out =
        !e2e::collect_child(pid, out_pipe[0], err_pipe[0], launch.timeout_ms, &finished);
    return finished;
}

int start(const e2e::Command &command, int out_fd, int err_fd, bool ignore_sigpipe) {
    std::vector<std::string> argv_strings = command.argv;
    std::vector<std::string> env_strings = e2e::environment_for(command);
    std::vector<char *> argv = e2e::pointers_to(argv_strings);
    std::vector<char *> envp = e2e::pointers_to(env_strings);
    int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const char *cwd = command.cwd.empty() ? nullptr : command.cwd.c_str();
    pid_t pid = fork();
    if (pid == 0) {
        if ((cwd != nullptr && chdir(cwd) != 0) || dup2(null_fd, 0) < 0 || dup2(out_fd, 1) < 0 ||
            dup2(err_fd, 2) < 0) {
            _exit(126);
        }
        close_range(3, ~0U, 0);
        signal(SIGPIPE, ignore_sigpipe ? SIG_IGN : SIG_DFL);
        execve(command.executable.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(null_fd);
    return pid;
}

int exit_code(const Finished &finished) {
    if (finished.wait_status < 0 || !WIFEXITED(finished.wait_status)) {
        return -1;
    }
    return WEXITSTATUS(finished.wait_status);
}

bool become_subreaper() {
    if (ZIN_CROSS_EMULATED) {
        return false;
    }
    int result = prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    EXPECT_EQ(result, 0) << std::strerror(errno);
    return result == 0;
}

std::vector<int> reap_leftovers(int wait_ms) {
    std::vector<int> statuses;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    bool killed = false;
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid > 0) {
            statuses.push_back(status);
            continue;
        }
        if (pid < 0 && errno == EINTR) {
            continue;
        }
        if (pid < 0) {
            return statuses; // ECHILD: nothing is left
        }
        if (!killed && std::chrono::steady_clock::now() >= deadline) {
            // Still running: ended here so that the next case starts clean.
            ADD_FAILURE() << "a descendant is still running after " << wait_ms << " ms";
            killed = true;
            std::string list = "/proc/self/task/" + std::to_string(gettid()) + "/children";
            if (std::FILE *children = std::fopen(list.c_str(), "r")) {
                int child = 0;
                while (std::fscanf(children, "%d", &child) == 1) {
                    kill(child, SIGKILL);
                }
                std::fclose(children);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::set<std::string> entries(const std::string &directory) {
    std::set<std::string> names;
    if (DIR *dir = opendir(directory.c_str())) {
        while (dirent *entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.insert(name);
            }
        }
        closedir(dir);
    }
    return names;
}

std::string read_text(const std::string &path) {
    std::string text;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    return text;
}

std::string probe_tool() {
    return ZIN_HARDENING_PROBE_TOOL;
}

void install_probe(const e2e::InstallTree &tree) {
    for (const char *tool : {"ar", "nm", "ranlib"}) {
        e2e::copy_file(probe_tool(), tree.tool_dir + tool, 0755);
    }
}

std::string fd_listing(const std::vector<int> &fds) {
    std::string text;
    for (int fd : fds) {
        text += "fd " + std::to_string(fd) + "\n";
    }
    return text;
}

} // namespace hardening
