// SPDX-License-Identifier: Apache-2.0
// Waiting for one child of the Unix back end, with its CPU times.
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>

#include "pex/pex_unix_backend.h"

int pex_unix_wait_child(Pipeline *, pid_t pid, int *status, PexStageTimes *stage_times,
                        int terminate_first, const char **error_message, int *error_number) {
    if (terminate_first != 0) {
        kill(pid, SIGTERM);
    }
    pid_t waited;
    if (stage_times != nullptr) {
        struct rusage usage = {};
        // A signal handler in the caller must not turn into a lost child.
        do {
            waited = wait4(pid, status, 0, &usage);
        } while (waited < 0 && errno == EINTR);
        stage_times->user_sec = usage.ru_utime.tv_sec;
        stage_times->user_usec = usage.ru_utime.tv_usec;
        stage_times->system_sec = usage.ru_stime.tv_sec;
        stage_times->system_usec = usage.ru_stime.tv_usec;
    } else {
        do {
            waited = waitpid(pid, status, 0);
        } while (waited < 0 && errno == EINTR);
    }
    if (waited < 0) {
        *error_number = errno;
        *error_message = "wait";
        return -1;
    }
    return 0;
}
