// SPDX-License-Identifier: Apache-2.0
// Many wrapper runs at once: every tool status comes back exactly, and no
// process, descriptor or temporary file is left behind.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

#include "hardening/hardening_test.h"
#include "testkit/files.h"

namespace {

using namespace kit;

#ifdef ZIN_HARDENING_SANITIZED
// A sanitized run costs some 0.3 s of the two cores: fewer runs.
constexpr int total_runs = 128;
#else
constexpr int total_runs = 1000;
#endif
constexpr int at_once = 32;

using LoadTest = HardeningTest;

// One run in flight: its slot's output files and the status it must end with.
struct InFlight {
    int slot;
    int expected;
};

TEST_F(LoadTest, ManyRunsThirtyTwoAtATime) {
    const char *const wrappers[] = {"zin-ar", "zin-nm", "zin-ranlib"};
    make_dirs(at("out"));
    std::map<pid_t, InFlight> running;
    std::vector<int> free_slots;
    for (int slot = 0; slot < at_once; ++slot) {
        free_slots.push_back(slot);
    }
    auto slot_file = [&](int slot, const char *kind) {
        return at("out/") + kind + std::to_string(slot);
    };
    int started = 0;
    int finished = 0;
    int wrong = 0;
    while (finished < total_runs) {
        while (started < total_runs && !free_slots.empty()) {
            int slot = free_slots.back();
            free_slots.pop_back();
            // 0..255 each at least once, 255 and 0 among them.
            int expected = started % 256;
            Launch launch =
                wrapper(wrappers[started % 3], {"x.o"},
                        {{"STAND_IN_SHOW", "fds"}, {"STAND_IN_EXIT", std::to_string(expected)}});
            int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
            launch.stdout_fd = open(slot_file(slot, "out").c_str(), flags, 0644);
            launch.stderr_fd = open(slot_file(slot, "err").c_str(), flags, 0644);
            ASSERT_GE(launch.stdout_fd, 0);
            ASSERT_GE(launch.stderr_fd, 0);
            pid_t pid = start_program(launch);
            close(launch.stdout_fd);
            close(launch.stderr_fd);
            ASSERT_GT(pid, 0);
            running[pid] = {slot, expected};
            ++started;
        }
        int status = 0;
        pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0 && errno == EINTR) {
            continue;
        }
        ASSERT_GT(pid, 0) << std::strerror(errno);
        auto run = running.find(pid);
        // A process that is not one of the wrappers is an orphaned tool.
        ASSERT_NE(run, running.end()) << "an orphan reached the reaper, status " << status;
        InFlight done = run->second;
        running.erase(run);
        ++finished;
        bool right = WIFEXITED(status) && WEXITSTATUS(status) == done.expected &&
                     read_file(slot_file(done.slot, "out")) == fd_listing({0, 1, 2}) &&
                     read_file(slot_file(done.slot, "err")).empty();
        if (!right && ++wrong <= 5) {
            ADD_FAILURE() << "run expecting " << done.expected << ": status " << status << ", out '"
                          << read_file(slot_file(done.slot, "out")) << "', err '"
                          << read_file(slot_file(done.slot, "err")) << "'";
        }
        free_slots.push_back(done.slot);
    }
    EXPECT_EQ(wrong, 0) << "of " << total_runs << " runs";
    std::printf("%d runs, %d at a time, %d wrong\n", total_runs, at_once, wrong);
}

} // namespace
