// SPDX-License-Identifier: Apache-2.0
// The pipeline fixtures on POSIX hosts, and the fixture of the Unix back end.
#include <cerrno>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "pex/hygiene.h"
#include "pex/hygiene_internal.h"

const char *const null_device = "/dev/null";

std::FILE *open_failing_stream(int *close_errno) {
    *close_errno = ENOSPC;
    return std::fopen("/dev/full", "w");
}

bool name_temp_directory(const std::string &directory) {
    return setenv("TMPDIR", directory.c_str(), 1) == 0;
}

void set_watchdog(unsigned seconds) {
    alarm(seconds);
}

void UnixBackendFixture::SetUp() {
    HygieneTest::SetUp();
    pipeline_ = Pipeline{};
    pipeline_.program_name = "zin-test";
    pipeline_.backend = &pex_unix_backend;
}

pid_t UnixBackendFixture::spawn(int flags, const char *executable, std::vector<const char *> argv,
                                int in_fd, int out_fd, int err_fd, int child_close_fd,
                                const char *const *env) {
    argv.push_back(nullptr);
    message_ = nullptr;
    error_number_ = -7;
    return pex_unix_spawn_child(&pipeline_, flags, executable, argv.data(), env, in_fd, out_fd,
                                err_fd, child_close_fd, &message_, &error_number_);
}

int UnixBackendFixture::wait_for(pid_t pid, int terminate_first, PexStageTimes *times) {
    int status = -1;
    const char *message = nullptr;
    int error_number = 0;
    EXPECT_EQ(pex_unix_wait_child(&pipeline_, pid, &status, times, terminate_first, &message,
                                  &error_number),
              0);
    return status;
}
