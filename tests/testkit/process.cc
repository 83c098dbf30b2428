// SPDX-License-Identifier: Apache-2.0
#include "testkit/process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "testkit/fail.h"
#include "testkit/files.h"

namespace kit {

bool become_nobody() {
    if (geteuid() != 0) {
        return true;
    }
    return setgroups(0, nullptr) == 0 && setgid(nobody_id) == 0 && setuid(nobody_id) == 0;
}

ChildOutcome run_in_child(const std::function<int()> &body, bool as_nobody) {
    ChildOutcome outcome;
    int err_pipe[2];
    if (pipe2(err_pipe, O_CLOEXEC) != 0) {
        fail(with_errno("pipe2"));
        return outcome;
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (dup2(err_pipe[1], 2) < 0) {
            _exit(126);
        }
        close(err_pipe[0]);
        close(err_pipe[1]);
        if (as_nobody && !become_nobody()) {
            _exit(cannot_switch_user);
        }
        _exit(body());
    }
    close(err_pipe[1]);
    if (pid < 0) {
        fail(with_errno("fork"));
    } else {
        outcome.err = read_fd(err_pipe[0]);
        drop_emulator_reports(outcome.err);
        while (waitpid(pid, &outcome.wait_status, 0) < 0 && errno == EINTR) {
        }
    }
    close(err_pipe[0]);
    return outcome;
}

void drop_emulator_reports(std::string &err) {
    if (!ZIN_CROSS_EMULATED) {
        return;
    }
    for (std::size_t at; (at = err.find("qemu: uncaught target signal ")) != std::string::npos;) {
        std::size_t end = err.find('\n', at);
        err.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
    }
}

std::set<int> open_descriptors() {
    std::set<int> result;
    DIR *dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        fail(with_errno("opendir /proc/self/fd"));
        return result;
    }
    while (dirent *entry = readdir(dir)) {
        int fd = std::atoi(entry->d_name);
        if (entry->d_name[0] != '.' && fd != dirfd(dir)) {
            result.insert(fd);
        }
    }
    closedir(dir);
    return result;
}

bool become_subreaper() {
    if (ZIN_CROSS_EMULATED) {
        return false;
    }
    if (prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0) {
        fail(with_errno("prctl PR_SET_CHILD_SUBREAPER"));
        return false;
    }
    return true;
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
            // Ended here, so that the next case starts clean.
            fail("a descendant is still running after " + std::to_string(wait_ms) + " ms");
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

} // namespace kit
