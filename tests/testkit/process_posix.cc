// SPDX-License-Identifier: Apache-2.0
// The processes of the tests on POSIX hosts: forked children and the
// unprivileged user.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testkit/fail.h"
#include "testkit/files.h"
#include "testkit/process.h"

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

} // namespace kit
