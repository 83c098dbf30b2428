// SPDX-License-Identifier: Apache-2.0
// A recording, fault-injecting back end for testing the pipeline logic without
// processes. Descriptors are numbers from 100 up; every one handed out must be
// closed (or consumed by spawn_child or a stream) exactly once.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "pex/pex_types.h"

struct FakeOpen {
    std::string name;
    int binary_mode;
    int append; // -1 for open_for_read
    int fd;     // -1 when the open failed
};

struct FakeSpawn {
    int flags;
    std::string executable;
    bool has_env;
    int in_fd;
    int out_fd;
    int err_fd;
    int child_close_fd;
};

struct FakeWait {
    pid_t pid;
    bool with_times;
    int terminate_first;
};

// Faults to inject: an errno of 0 means the call succeeds.
struct FakeFaults {
    int open_read_errno = 0;
    std::string open_write_fail_name{}; // open_for_write of this name fails
    int open_write_errno = 0;
    int make_pipe_fail_call = 0; // 1-based make_pipe call that fails
    int make_pipe_errno = 0;
    const char *spawn_message = nullptr; // spawn fails with this message
    int spawn_errno = 0;
    std::set<pid_t> wait_fail_pids{}; // wait_child fails for these
    int wait_errno = 0;
    int read_stream_errno = 0;
    int write_stream_errno = 0;
};

struct FakeState {
    int next_fd = 100;
    pid_t next_pid = 1000;
    std::set<int> open_fds;       // handed out, not yet closed or consumed
    std::vector<int> closes;      // close_fd calls, in order
    std::vector<int> bad_closes;  // closes or consumptions of a descriptor not open
    std::vector<FakeOpen> reads;  // open_for_read calls
    std::vector<FakeOpen> writes; // open_for_write calls
    std::vector<int> pipe_modes;  // binary_mode of each make_pipe call
    std::vector<FakeSpawn> spawns;
    std::vector<FakeWait> waits;
    int release_calls = 0;
    FakeFaults faults;
};

// The state of the fake; reset by fake_reset().
FakeState &fake();

// Forgets all records and faults.
void fake_reset();

// Raw wait status the fake reports for `pid`: exit code pid - 999.
int fake_status_of(pid_t pid);

// Times the fake reports for `pid`.
PexStageTimes fake_times_of(pid_t pid);

// The fake table; fake_backend_without_release has a null slot 9.
extern const PexBackend fake_backend;
extern const PexBackend fake_backend_without_release;
