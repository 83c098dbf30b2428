// SPDX-License-Identifier: Apache-2.0
// Failures of the system calls under spawn_child and wait_child, injected by
// the fault library (which also serves vfork by fork and records sleeps).
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "fault/zin_fault.h"
#include "pex/hygiene.h"
#include "support/error_text.h"
#include "testkit/files.h"
#include "testkit/launch.h"

namespace {

class SpawnChildFaultTest : public UnixBackendFixture {
  protected:
    void SetUp() override {
        UnixBackendFixture::SetUp();
        zin_fault_disarm();
        zin_fault_reset();
    }

    void TearDown() override {
        zin_fault_disarm();
        UnixBackendFixture::TearDown();
    }

    std::vector<unsigned> sleeps() {
        unsigned seconds[16];
        unsigned count = zin_fault_sleeps(seconds, 16);
        return std::vector<unsigned>(seconds, seconds + (count < 16 ? count : 16));
    }
};

TEST_F(SpawnChildFaultTest, VforkGivesUpAfterFourAttempts) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    zin_fault_arm("vfork", 1, 4, 0);
    EXPECT_EQ(spawn(0, "/bin/true", {"true"}, 0, fds[1]), -1);
    EXPECT_STREQ(message_, "vfork");
    EXPECT_EQ(error_number_, EAGAIN);
    EXPECT_EQ(zin_fault_calls("vfork"), 4u);
    EXPECT_EQ(sleeps(), (std::vector<unsigned>{1, 2, 4, 8}));
    EXPECT_TRUE(fcntl(fds[1], F_GETFD) < 0 && errno == EBADF) << "taken over and closed";
    close(fds[0]);
}

TEST_F(SpawnChildFaultTest, VforkRetrySucceeds) {
    zin_fault_arm("vfork", 1, 2, 0);
    pid_t pid = spawn(0, "/bin/sh", {"sh", "-c", "exit 5"});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(zin_fault_calls("vfork"), 3u);
    EXPECT_EQ(sleeps(), (std::vector<unsigned>{1, 2}));
    EXPECT_EQ(kit::exit_code(wait_for(pid)), 5);
}

// The standard descriptors are left alone: the parent only closes the two
// ends of its error-report pipe.
TEST_F(SpawnChildFaultTest, StandardDescriptorsAreNotTouched) {
    zin_fault_reset();
    pid_t pid = spawn(0, "/bin/true", {"true"});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(zin_fault_calls("close"), 2u);
    EXPECT_EQ(zin_fault_calls("dup2"), 0u);
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0);
}

// Without the pipe the parent learns nothing; the child prints the failure.
TEST_F(SpawnChildFaultTest, NoErrorPipe) {
    std::string report = at("report");
    int err_fd = open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(err_fd, 0);
    zin_fault_arm("pipe2", 1, 1, EMFILE);
    pid_t pid = spawn(0, "/nonexistent-zin-dir/prog", {"prog"}, 0, 1, err_fd);
    ASSERT_GT(pid, 0);
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(kit::exit_code(status), 255);
    EXPECT_EQ(kit::read_file(report), std::string("zin-test: error trying to exec "
                                                  "'/nonexistent-zin-dir/prog': execv: ") +
                                          error_text(ENOENT) + "\n");
    EXPECT_EQ(take_scratch_entries(), (std::set<std::string>{"report"}));
}

// A signal while reading the report must not turn a failed exec into a success.
TEST_F(SpawnChildFaultTest, InterruptedReportReadIsRetried) {
    zin_fault_arm("read", 1, 1, EINTR);
    EXPECT_EQ(spawn(PEX_PATH_SEARCH, "zin-no-such-program", {"zin-no-such-program"}), -1);
    EXPECT_STREQ(message_, "execvp");
    EXPECT_EQ(error_number_, ENOENT);
    EXPECT_EQ(zin_fault_calls("read"), 2u);
}

// The failed child is reaped before spawn_child returns, riding out EINTR.
TEST_F(SpawnChildFaultTest, FailedChildIsReaped) {
    zin_fault_arm("waitpid", 1, 1, EINTR);
    EXPECT_EQ(spawn(PEX_PATH_SEARCH, "zin-no-such-program", {"zin-no-such-program"}), -1);
    EXPECT_EQ(zin_fault_calls("waitpid"), 2u);
    // The hygiene check at tear-down finds no child.
}

// When the reap itself cannot be made, the child's own status shows 255.
TEST_F(SpawnChildFaultTest, FailedChildEndsWith255) {
    zin_fault_arm("waitpid", 1, 1, ECHILD);
    EXPECT_EQ(spawn(PEX_PATH_SEARCH, "zin-no-such-program", {"zin-no-such-program"}), -1);
    zin_fault_disarm();
    int status = -1;
    pid_t pid = waitpid(-1, &status, 0);
    EXPECT_GT(pid, 0);
    EXPECT_EQ(kit::exit_code(status), 255);
}

// A parent-side close that fails after a successful exec: the start is
// reported as failed, the running child is killed and reaped, and the
// other descriptors are still closed.
TEST_F(SpawnChildFaultTest, ParentCloseFailureLeavesNoChild) {
    int errors[2];
    ASSERT_EQ(pipe(errors), 0);
    int out = open("/dev/null", O_WRONLY);
    ASSERT_GE(out, 0);
    // Parent closes: report write end, report read end, then out, then err.
    zin_fault_arm("close", 3, 1, EIO);
    EXPECT_EQ(spawn(0, "/bin/sleep", {"sleep", "10"}, 0, out, errors[1]), -1);
    zin_fault_disarm();
    EXPECT_STREQ(message_, "close");
    EXPECT_EQ(error_number_, EIO);
    EXPECT_TRUE(fcntl(errors[1], F_GETFD) < 0 && errno == EBADF) << "later closes still made";
    close(out); // the injected failure left it really open
    EXPECT_EQ(kit::read_fd(errors[0]), "") << "the child is gone";
    close(errors[0]);
}

TEST_F(SpawnChildFaultTest, InterruptedWaitsAreRetried) {
    for (bool with_times : {false, true}) {
        pid_t pid = spawn(0, "/bin/sh", {"sh", "-c", "exit 4"});
        ASSERT_GT(pid, 0);
        zin_fault_arm(with_times ? "wait4" : "waitpid", 1, 1, EINTR);
        PexStageTimes times;
        int status = wait_for(pid, 0, with_times ? &times : nullptr);
        zin_fault_disarm();
        EXPECT_EQ(kit::exit_code(status), 4);
    }
}

TEST_F(SpawnChildFaultTest, WriteStreamFailures) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    auto wrap = [&] { return pex_unix_backend.write_stream_from_fd(&pipeline_, fds[1], 0); };
    zin_fault_arm("fcntl", 1, 1, EBADF);
    EXPECT_EQ(failure_errno(wrap), EBADF);
    EXPECT_EQ(zin_fault_calls("fdopen"), 0u);
    zin_fault_arm("fdopen", 1, 1, ENOMEM);
    EXPECT_EQ(failure_errno(wrap), ENOMEM);
    zin_fault_disarm();
    EXPECT_EQ(fcntl(fds[1], F_GETFD), FD_CLOEXEC) << "left open, marked";
    close(fds[0]);
    close(fds[1]);
}

TEST_F(SpawnChildFaultTest, RunOnceStatusFailure) {
    // The only waitpid of the run is the status collection.
    zin_fault_arm("waitpid", 1, 1, ECHILD);
    const char *const argv[] = {"true", nullptr};
    int status = -1;
    int error_number = -7;
    EXPECT_STREQ(pex_run_once(PEX_FINAL_STAGE | PEX_PATH_SEARCH, "true", argv, "zin-test", nullptr,
                              nullptr, &status, &error_number),
                 "pex_get_status failed");
    zin_fault_disarm();
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(status, -1);
    pid_t pid = waitpid(-1, &status, 0);
    EXPECT_GT(pid, 0) << "the child the failed collection could not reap";
}

} // namespace
