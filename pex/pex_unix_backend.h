// SPDX-License-Identifier: Apache-2.0
// The back end over the POSIX process services: vfork and exec, with exec
// failures reported to the parent through a close-on-exec pipe.
#pragma once

#include "pex/pex_types.h"

// What a child that cannot run its program sends back through the error-report pipe.
struct PexChildFailure {
    const char *error_message; // static text naming the failed call, null when none failed
    int error_number;          // errno of that call
};
static_assert(sizeof(PexChildFailure) == 2 * sizeof(void *),
              "the failure record is one pointer and one padded int");

// The one Unix operation table, shared by every pipeline.
extern const PexBackend pex_unix_backend;

// Slot 3 of the Unix back end; see PexBackend::spawn_child.
pid_t pex_unix_spawn_child(Pipeline *pipeline, int flags, const char *executable,
                           const char *const *argv, const char *const *env, int in_fd, int out_fd,
                           int err_fd, int child_close_fd, const char **error_message,
                           int *error_number);

// Slot 5 of the Unix back end; see PexBackend::wait_child.
int pex_unix_wait_child(Pipeline *pipeline, pid_t pid, int *status, PexStageTimes *stage_times,
                        int terminate_first, const char **error_message, int *error_number);
