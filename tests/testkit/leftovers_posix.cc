// SPDX-License-Identifier: Apache-2.0
// The leftovers check on POSIX hosts: /proc lists the descriptors and the
// children, a child subreaper gets the orphans back, waitpid reaps them.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "testkit/fail.h"
#include "testkit/leftovers_internal.h"

namespace kit {

namespace {

// Kills the children of this thread, which waitpid(-1) waits for; how many.
int kill_children() {
    int killed = 0;
    std::string list = "/proc/self/task/" + std::to_string(gettid()) + "/children";
    if (std::FILE *children = std::fopen(list.c_str(), "r")) {
        int child = 0;
        while (std::fscanf(children, "%d", &child) == 1) {
            killed += kill(child, SIGKILL) == 0 ? 1 : 0;
        }
        std::fclose(children);
    }
    return killed;
}

} // namespace

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

bool become_reaper() {
    return !ZIN_CROSS_EMULATED && prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0;
}

void take_descendants(int wait_ms, Leftovers *left) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    bool killed = false;
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid > 0) {
            left->statuses.push_back(status);
        } else if (pid < 0 && errno != EINTR) {
            break; // ECHILD: nothing is left
        } else if (pid == 0 && !killed && std::chrono::steady_clock::now() >= deadline) {
            left->killed = kill_children();
            killed = true;
        } else if (pid == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
}

} // namespace kit
