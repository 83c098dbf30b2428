// SPDX-License-Identifier: Apache-2.0
// The recording back end of the pipeline tests.
#include "pex/fake_backend.h"

#include <cerrno>
#include <cstdio>
#include <utility>

#include "pex/hygiene.h"

namespace {

FakeState state;

// A new fake descriptor, recorded as open.
int hand_out_fd() {
    int fd = state.next_fd++;
    state.open_fds.insert(fd);
    return fd;
}

// A descriptor leaves the pipeline's hands: closed, or taken by a child or stream.
void give_up_fd(int fd) {
    if (state.open_fds.erase(fd) == 0) {
        state.bad_closes.push_back(fd);
    }
}

// Slot 1: a new descriptor, or the injected failure.
int fake_open_for_read(Pipeline *, const char *name, int binary_mode) {
    if (state.faults.open_read_errno != 0) {
        state.reads.push_back({name, binary_mode, -1, -1});
        errno = state.faults.open_read_errno;
        return -1;
    }
    int fd = hand_out_fd();
    state.reads.push_back({name, binary_mode, -1, fd});
    return fd;
}

// Slot 2: a new descriptor, or the injected failure for the chosen name.
int fake_open_for_write(Pipeline *, const char *name, int binary_mode, int append) {
    if (state.faults.open_write_errno != 0 && state.faults.open_write_fail_name == name) {
        state.writes.push_back({name, binary_mode, append, -1});
        errno = state.faults.open_write_errno;
        return -1;
    }
    int fd = hand_out_fd();
    state.writes.push_back({name, binary_mode, append, fd});
    return fd;
}

// Slot 3: records the start and takes over the three descriptors.
pid_t fake_spawn_child(Pipeline *, int flags, const char *executable, const char *const *,
                       const char *const *env, int in_fd, int out_fd, int err_fd,
                       int child_close_fd, const char **error_message, int *error_number) {
    state.spawns.push_back(
        {flags, executable, env != nullptr, in_fd, out_fd, err_fd, child_close_fd});
    // The contract: the parent's copies are gone whatever the result.
    for (auto [fd, standard] : {std::pair{in_fd, 0}, {out_fd, 1}, {err_fd, 2}}) {
        if (fd != standard) {
            give_up_fd(fd);
        }
    }
    if (state.faults.spawn_message != nullptr) {
        *error_message = state.faults.spawn_message;
        *error_number = state.faults.spawn_errno;
        return -1;
    }
    return state.next_pid++;
}

// Slot 4: records the close.
int fake_close_fd(Pipeline *, int fd) {
    state.closes.push_back(fd);
    give_up_fd(fd);
    return 0;
}

// Slot 5: records the wait; the status and times follow from the pid.
int fake_wait_child(Pipeline *, pid_t pid, int *status, PexStageTimes *stage_times,
                    int terminate_first, const char **error_message, int *error_number) {
    state.waits.push_back({pid, stage_times != nullptr, terminate_first});
    if (state.faults.wait_fail_pids.count(pid) != 0) {
        *error_message = "wait";
        *error_number = state.faults.wait_errno;
        return -1;
    }
    *status = fake_status_of(pid);
    if (stage_times != nullptr) {
        *stage_times = fake_times_of(pid);
    }
    return 0;
}

// Slot 6: two new descriptors, read end first, or the injected failure.
int fake_make_pipe(Pipeline *, int *fds, int binary_mode) {
    state.pipe_modes.push_back(binary_mode);
    if (state.faults.make_pipe_fail_call == static_cast<int>(state.pipe_modes.size())) {
        errno = state.faults.make_pipe_errno;
        return -1;
    }
    fds[0] = hand_out_fd();
    fds[1] = hand_out_fd();
    return 0;
}

// A real stream over the null device standing for one over `fd`, which it takes over.
std::FILE *fake_stream(int fd, int fail_errno, const char *mode) {
    if (fail_errno != 0) {
        errno = fail_errno;
        return nullptr;
    }
    give_up_fd(fd);
    return std::fopen(null_device, mode);
}

// Slot 7.
std::FILE *fake_read_stream_from_fd(Pipeline *, int fd, int) {
    return fake_stream(fd, state.faults.read_stream_errno, "r");
}

// Slot 8.
std::FILE *fake_write_stream_from_fd(Pipeline *, int fd, int) {
    return fake_stream(fd, state.faults.write_stream_errno, "w");
}

// Slot 9: counts the calls.
void fake_release_backend(Pipeline *) {
    ++state.release_calls;
}

} // namespace

FakeState &fake() {
    return state;
}

void fake_reset() {
    state = FakeState{};
}

int fake_status_of(pid_t pid) {
    return (pid - 999) << 8;
}

PexStageTimes fake_times_of(pid_t pid) {
    return PexStageTimes{pid, 1, 2, 3};
}

const PexBackend fake_backend = {
    fake_open_for_read,   fake_open_for_write, fake_spawn_child,         fake_close_fd,
    fake_wait_child,      fake_make_pipe,      fake_read_stream_from_fd, fake_write_stream_from_fd,
    fake_release_backend,
};

const PexBackend fake_backend_without_release = [] {
    PexBackend backend = fake_backend;
    backend.release_backend = nullptr;
    return backend;
}();
