// SPDX-License-Identifier: Apache-2.0
#include "testkit/leftovers.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <iterator>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "testkit/fail.h"
#include "testkit/files.h"

namespace kit {

namespace {

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

std::vector<int> missing_from(const std::set<int> &a, const std::set<int> &b) {
    std::vector<int> result;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(result));
    return result;
}

} // namespace

Snapshot take_snapshot(const std::vector<std::string> &directories) {
    Snapshot snapshot;
    snapshot.reaper = !ZIN_CROSS_EMULATED && prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0;
    snapshot.directories = directories;
    for (const std::string &directory : directories) {
        snapshot.entries.push_back(entries(directory));
    }
    snapshot.descriptors = open_descriptors();
    return snapshot;
}

Leftovers take_leftovers(const Snapshot &before, int wait_ms) {
    Leftovers left;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    bool killed = false;
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid > 0) {
            left.statuses.push_back(status);
        } else if (pid < 0 && errno != EINTR) {
            break; // ECHILD: nothing is left
        } else if (pid == 0 && !killed && std::chrono::steady_clock::now() >= deadline) {
            left.killed = kill_children();
            killed = true;
        } else if (pid == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    for (std::size_t i = 0; i < before.directories.size(); ++i) {
        for (const std::string &name : entries(before.directories[i])) {
            if (before.entries[i].count(name) == 0) {
                left.files.push_back(before.directories[i] + "/" + name);
                remove_tree(left.files.back());
            }
        }
    }
    std::set<int> now = open_descriptors();
    left.opened = missing_from(now, before.descriptors);
    left.closed = missing_from(before.descriptors, now);
    return left;
}

std::string describe(const Leftovers &left) {
    std::string text;
    auto line = [&](const char *what, const std::vector<int> &numbers) {
        if (!numbers.empty()) {
            text += what;
            for (int number : numbers) {
                text += " " + std::to_string(number);
            }
            text += "\n";
        }
    };
    line("descriptors left open:", left.opened);
    line("descriptors closed that were open before:", left.closed);
    line("processes left, raw wait statuses:", left.statuses);
    if (left.killed != 0) {
        text += std::to_string(left.killed) + " of them still running, killed\n";
    }
    for (const std::string &file : left.files) {
        text += "file left: " + file + "\n";
    }
    return text;
}

std::string left_behind(const Snapshot &before) {
    return describe(take_leftovers(before));
}

} // namespace kit
