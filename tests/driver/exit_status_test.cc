// wrapper_exit_status on statuses made by real children where the platform
// allows it, and on statuses built with the platform's own macros.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/exit_status.h"
#include "driver/stderr_capture.h"

namespace {

struct Mapped {
    int exit_status;
    std::string message;
};

Mapped map_status(int wait_status) {
    Mapped mapped{};
    mapped.message = capture_stderr([&] { return wrapper_exit_status(wait_status, "/bin/tool"); },
                                    &mapped.exit_status);
    return mapped;
}

std::string signal_message(int signal_number, bool core) {
    return std::string("/bin/tool terminated with signal ") + std::to_string(signal_number) + " [" +
           strsignal(signal_number) + "]" + (core ? ", core dumped" : "") + "\n";
}

// The status of a child that exited with `code`.
int exited_status(int code) {
    pid_t pid = fork();
    if (pid == 0) {
        _exit(code);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    return status;
}

// Removes a directory and the files directly in it.
void remove_flat_directory(const std::string &path) {
    if (DIR *directory = opendir(path.c_str())) {
        while (dirent *entry = readdir(directory)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                unlink((path + "/" + entry->d_name).c_str());
            }
        }
        closedir(directory);
    }
    rmdir(path.c_str());
}

// The status of a child killed by `signal_number`, with a core allowed or not.
// The child runs in a directory of its own so that a core is removed after it.
int signaled_status(int signal_number, bool allow_core) {
    const char *tmpdir = std::getenv("TMPDIR");
    std::string where = std::string(tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp") +
                        "/zin-exit-status-XXXXXX";
    if (mkdtemp(where.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp " << where;
        return -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        rlimit limit{};
        getrlimit(RLIMIT_CORE, &limit);
        limit.rlim_cur = allow_core ? limit.rlim_max : 0;
        setrlimit(RLIMIT_CORE, &limit);
        if (chdir(where.c_str()) != 0) {
            _exit(126);
        }
        signal(signal_number, SIG_DFL);
        raise(signal_number);
        _exit(0);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    remove_flat_directory(where);
    return status;
}

TEST(WrapperExitStatus, ExitCodesPassThroughSilently) {
    for (int code : {0, 1, 3, 127, 255}) {
        Mapped mapped = map_status(exited_status(code));
        EXPECT_EQ(code, mapped.exit_status);
        EXPECT_EQ("", mapped.message);
    }
}

TEST(WrapperExitStatus, ConstructedExitStatuses) {
    // W_EXITCODE builds a status the way the platform lays it out.
    EXPECT_EQ(0, map_status(W_EXITCODE(0, 0)).exit_status);
    Mapped three = map_status(W_EXITCODE(3, 0));
    EXPECT_EQ(3, three.exit_status);
    EXPECT_EQ("", three.message);
    EXPECT_EQ(255, map_status(W_EXITCODE(255, 0)).exit_status);
}

TEST(WrapperExitStatus, KilledChildIsReported) {
    Mapped killed = map_status(signaled_status(SIGKILL, false));
    EXPECT_EQ(1, killed.exit_status);
    EXPECT_EQ(signal_message(SIGKILL, false), killed.message);
    Mapped terminated = map_status(signaled_status(SIGTERM, false));
    EXPECT_EQ(1, terminated.exit_status);
    EXPECT_EQ(signal_message(SIGTERM, false), terminated.message);
}

TEST(WrapperExitStatus, CoreFlagAddsCoreDumped) {
#ifdef WCOREFLAG
    // The termination status of SIGSEGV with the platform's core flag.
    int status = SIGSEGV | WCOREFLAG;
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(WCOREDUMP(status));
    ASSERT_EQ(SIGSEGV, WTERMSIG(status));
    Mapped mapped = map_status(status);
    EXPECT_EQ(1, mapped.exit_status);
    EXPECT_EQ(signal_message(SIGSEGV, true), mapped.message);
#else
    GTEST_SKIP() << "the platform has no WCOREFLAG to build a core-dump status with";
#endif
}

TEST(WrapperExitStatus, RealCoreDumpIsReported) {
    int status = signaled_status(SIGQUIT, true);
    ASSERT_TRUE(WIFSIGNALED(status));
    if (!WCOREDUMP(status)) {
        GTEST_SKIP() << "no core was written for SIGQUIT on this machine";
    }
    Mapped mapped = map_status(status);
    EXPECT_EQ(1, mapped.exit_status);
    EXPECT_EQ(signal_message(SIGQUIT, true), mapped.message);
}

TEST(WrapperExitStatus, StoppedAndContinuedGiveOneSilently) {
    pid_t pid = fork();
    if (pid == 0) {
        raise(SIGSTOP);
        _exit(0);
    }
    int stopped = -1;
    ASSERT_EQ(pid, waitpid(pid, &stopped, WUNTRACED));
    ASSERT_TRUE(WIFSTOPPED(stopped));
    kill(pid, SIGCONT);
    int continued = -1;
    ASSERT_EQ(pid, waitpid(pid, &continued, WCONTINUED));
    ASSERT_TRUE(WIFCONTINUED(continued));
    int last = -1;
    waitpid(pid, &last, 0);
    ASSERT_TRUE(WIFEXITED(last));

    Mapped mapped = map_status(stopped);
    EXPECT_EQ(1, mapped.exit_status);
    EXPECT_EQ("", mapped.message);
    mapped = map_status(continued);
    EXPECT_EQ(1, mapped.exit_status);
    EXPECT_EQ("", mapped.message);
}

} // namespace
