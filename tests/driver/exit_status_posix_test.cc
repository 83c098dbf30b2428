// SPDX-License-Identifier: Apache-2.0
// wrapper_exit_status of POSIX hosts on statuses built with the platform's own macros, and
// on the real statuses of one child that is stopped, continued and killed.
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "driver/exit_status.h"
#include "testkit/capture.h"
#include "testkit/files.h"
#include "testkit/scratch.h"

namespace {

// What the wrapper makes of a raw wait status.
struct Mapped {
    int exit_status;
    std::string message;
};

Mapped map_status(int wait_status) {
    Mapped mapped{};
    mapped.message = kit::capture_stderr(
        [&] { mapped.exit_status = wrapper_exit_status(wait_status, "/bin/tool"); });
    return mapped;
}

std::string signal_message(int signal_number, bool core) {
    return std::string("/bin/tool terminated with signal ") + std::to_string(signal_number) + " [" +
           strsignal(signal_number) + "]" + (core ? ", core dumped" : "") + "\n";
}

TEST(WrapperExitStatus, ConstructedStatuses) {
    struct Row {
        const char *what;
        int wait_status;
        int exit_status;
        std::string message;
    };
    const Row rows[] = {
        {"exit 0", W_EXITCODE(0, 0), 0, ""},
        {"exit 1", W_EXITCODE(1, 0), 1, ""},
        {"exit 3", W_EXITCODE(3, 0), 3, ""},
        {"exit 127", W_EXITCODE(127, 0), 127, ""},
        {"exit 128", W_EXITCODE(128, 0), 128, ""},
        {"exit 255", W_EXITCODE(255, 0), 255, ""},
        {"killed", W_EXITCODE(0, SIGKILL), 1, signal_message(SIGKILL, false)},
        {"terminated", W_EXITCODE(0, SIGTERM), 1, signal_message(SIGTERM, false)},
#ifdef WCOREFLAG
        {"core dumped", W_EXITCODE(0, SIGSEGV) | WCOREFLAG, 1, signal_message(SIGSEGV, true)},
#endif
        {"stopped", W_STOPCODE(SIGSTOP), 1, ""},
    };
    for (const Row &row : rows) {
        Mapped mapped = map_status(row.wait_status);
        EXPECT_EQ(row.exit_status, mapped.exit_status) << row.what;
        EXPECT_EQ(row.message, mapped.message) << row.what;
    }
}

// The platform's own layout, which the constructed statuses assume: a child
// stopped, continued (for which no macro builds a status) and killed by
// SIGQUIT, with a core where the machine writes one.
TEST(WrapperExitStatus, RealChildStoppedContinuedAndKilled) {
    std::string where = kit::make_scratch_dir();
    ASSERT_FALSE(where.empty());
    int go[2]; // held until the continued status is seen: a dead child reports no other
    ASSERT_EQ(0, pipe(go));
    pid_t pid = fork();
    if (pid == 0) {
        rlimit limit{};
        getrlimit(RLIMIT_CORE, &limit);
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_CORE, &limit);
        if (chdir(where.c_str()) != 0) {
            _exit(126);
        }
        close(go[1]);
        raise(SIGSTOP);
        char byte;
        (void)!read(go[0], &byte, 1);
        signal(SIGQUIT, SIG_DFL);
        raise(SIGQUIT);
        _exit(0);
    }
    int stopped = -1;
    int continued = -1;
    int killed = -1;
    ASSERT_EQ(pid, waitpid(pid, &stopped, WUNTRACED));
    kill(pid, SIGCONT);
    ASSERT_EQ(pid, waitpid(pid, &continued, WCONTINUED));
    close(go[0]);
    close(go[1]);
    ASSERT_EQ(pid, waitpid(pid, &killed, 0));
    kit::remove_tree(where);
    ASSERT_TRUE(WIFSTOPPED(stopped));
    ASSERT_TRUE(WIFCONTINUED(continued));
    ASSERT_TRUE(WIFSIGNALED(killed));
    for (auto [status, message] : {std::pair{stopped, std::string()},
                                   {continued, std::string()},
                                   {killed, signal_message(SIGQUIT, WCOREDUMP(killed))}}) {
        Mapped mapped = map_status(status);
        EXPECT_EQ(1, mapped.exit_status) << status;
        EXPECT_EQ(message, mapped.message) << status;
    }
}

} // namespace
