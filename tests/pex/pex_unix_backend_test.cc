// SPDX-License-Identifier: Apache-2.0
// The Unix back end with real processes, files and pipes.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "pex/hygiene.h"
#include "support/error_text.h"
#include "testkit/files.h"
#include "testkit/launch.h"
#include "testkit/process.h"

extern char **environ;

namespace {

class UnixBackendTest : public UnixBackendFixture {
  protected:
    // Exit status of a shell command run with the caller's descriptors.
    int shell_exit_code(const std::string &command) {
        pid_t pid = spawn(0, "/bin/sh", {"sh", "-c", command.c_str()});
        EXPECT_GT(pid, 0);
        return kit::exit_code(wait_for(pid));
    }
};

bool is_closed(int fd) {
    return fcntl(fd, F_GETFD) < 0 && errno == EBADF;
}

// A failed exec comes back as an ordinary error; the child printed nothing
// and is already reaped; the passed descriptors are closed.
TEST_F(UnixBackendTest, ExecFailureComesBackThroughThePipe) {
    char **environment_before = environ;
    int errors[2];
    ASSERT_EQ(pipe(errors), 0);
    const char *const env[] = {"ZIN_ONLY=1", nullptr};
    EXPECT_EQ(spawn(PEX_PATH_SEARCH, "zin-no-such-program", {"zin-no-such-program"}, 0, 1,
                    errors[1], -1, env),
              -1);
    EXPECT_STREQ(message_, "execvp");
    EXPECT_EQ(error_number_, ENOENT);
    EXPECT_TRUE(is_closed(errors[1])) << "the back end closed the descriptor it was given";
    EXPECT_EQ(kit::read_fd(errors[0]), "") << "nothing printed";
    close(errors[0]);
    EXPECT_EQ(environ, environment_before);

    EXPECT_EQ(spawn(0, "/nonexistent-zin-dir/prog", {"prog"}), -1);
    EXPECT_STREQ(message_, "execv");
    EXPECT_EQ(error_number_, ENOENT);

    // Even root needs an execute bit.
    std::string script = at("not-executable");
    kit::write_file(script, "#!/bin/sh\n", 0644);
    EXPECT_EQ(spawn(0, script.c_str(), {"x"}), -1);
    EXPECT_STREQ(message_, "execv");
    EXPECT_EQ(error_number_, EACCES);

    // A path is executed, not searched: a file the kernel cannot execute is
    // an exec failure, never a script for /bin/sh (glibc's execvp fallback).
    kit::write_file(script, "", 0755);
    EXPECT_EQ(spawn(PEX_PATH_SEARCH, script.c_str(), {"x"}), -1);
    EXPECT_STREQ(message_, "execvp");
    EXPECT_EQ(error_number_, ENOEXEC);

    // No executable at all is an exec failure too, never a crash.
    for (unsigned flags : {PEX_PATH_SEARCH, 0u}) {
        EXPECT_EQ(spawn(flags, nullptr, {"x"}), -1);
        EXPECT_STREQ(message_, flags != 0 ? "execvp" : "execv");
        EXPECT_EQ(error_number_, EFAULT);
    }
    EXPECT_EQ(take_scratch_entries(), (std::set<std::string>{"not-executable"}));
}

// With no room for the error-report pipe the child prints the failure itself
// and ends with 255, or 254 when it cannot even print.
TEST_F(UnixBackendTest, ExecFailureWithoutThePipe) {
    struct Row {
        const char *executable;
        bool writable; // standard error can be written
        int code;
        std::string report;
    };
    const Row rows[] = {
        {"zin-no-such-program", true, 255,
         std::string("zin-test: error trying to exec 'zin-no-such-program': execvp: ") +
             error_text(ENOENT) + "\n"},
        {"zin-no-such-program", false, 254, ""},
        {nullptr, true, 255,
         std::string("zin-test: error trying to exec '': execvp: ") + error_text(EFAULT) + "\n"},
    };
    std::string report = at("report");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.executable != nullptr ? row.executable : "null");
        kit::ChildOutcome child = kit::run_in_child([&] {
            int fd = row.writable ? open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)
                                  : open("/dev/null", O_RDONLY);
            if (fd < 0 || dup2(fd, 2) < 0) {
                return 101;
            }
            close(fd);
            struct rlimit limit = {32, 32};
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
                return 102;
            }
            while (open("/dev/null", O_RDONLY) >= 0) {
            }
            pid_t pid = spawn(PEX_PATH_SEARCH, row.executable, {"zin-no-such-program"});
            if (pid <= 0) {
                return 103;
            }
            int status = wait_for(pid);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 104;
        });
        EXPECT_EQ(kit::exit_code(child.wait_status), row.code);
        if (row.writable) {
            EXPECT_EQ(kit::read_file(report), row.report);
        }
    }
    EXPECT_EQ(take_scratch_entries(), (std::set<std::string>{"report"}));
}

// Started with standard input and output closed, the back end's error-report
// pipe takes descriptors 0 and 1: putting a stage's output on 1 must not
// swallow the failure record, and a stage that runs gets 1 and 2 only.
TEST_F(UnixBackendTest, ClosedStandardDescriptorsUnderAStage) {
    std::string out = at("out");
    std::string listing = at("listing");
    kit::ChildOutcome child = kit::run_in_child([&] {
        // Nothing of the test's own may reach the stages; the files are
        // opened while 0 and 1 are still taken, so they sit above 2.
        close_range(3, ~0U, 0);
        int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int listing_fd = open(listing.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out_fd < 3 || listing_fd < 3) {
            return 90;
        }
        close(0);
        close(1);
        pid_t failed = spawn(0, "/nonexistent/zin-missing", {"zin-missing"}, 0, out_fd);
        std::string text = std::to_string(failed) + " " + (message_ != nullptr ? message_ : "-") +
                           " " + std::to_string(error_number_);
        // The shell lists the descriptors it got.
        pid_t ran = spawn(0, "/bin/sh", {"sh", "-c", "ls /proc/$$/fd"}, 0, listing_fd);
        text += ran > 0 && wait_for(ran) == 0 ? " ran" : " not run";
        (void)!write(2, text.data(), text.size());
        return 0;
    });
    EXPECT_EQ(child.wait_status, 0);
    EXPECT_EQ(child.err, "-1 execv " + std::to_string(ENOENT) + " ran");
    EXPECT_EQ(kit::read_file(out), "") << "the failure record went into the stage's output";
    EXPECT_EQ(kit::read_file(listing), "1\n2\n");
    EXPECT_EQ(take_scratch_entries(), (std::set<std::string>{"out", "listing"}));
}

TEST_F(UnixBackendTest, DescriptorsAreMovedIntoPlace) {
    std::string in_name = at("in"), out_name = at("out"), err_name = at("err");
    kit::write_file(in_name, "hello\n");
    int in_fd = pex_unix_backend.open_for_read(&pipeline_, in_name.c_str(), 0);
    int out_fd = pex_unix_backend.open_for_write(&pipeline_, out_name.c_str(), 0, 0);
    int err_fd = pex_unix_backend.open_for_write(&pipeline_, err_name.c_str(), 0, 0);
    ASSERT_GE(in_fd, 0);
    pid_t pid = spawn(0, "/bin/sh", {"sh", "-c", "cat; echo oops >&2"}, in_fd, out_fd, err_fd);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(is_closed(in_fd));
    EXPECT_TRUE(is_closed(out_fd));
    EXPECT_TRUE(is_closed(err_fd));
    EXPECT_EQ(wait_for(pid), 0);
    EXPECT_EQ(kit::read_file(out_name), "hello\n");
    EXPECT_EQ(kit::read_file(err_name), "oops\n");

    // Merged, standard error follows standard output over its own file.
    out_fd = pex_unix_backend.open_for_write(&pipeline_, out_name.c_str(), 0, 0);
    err_fd = pex_unix_backend.open_for_write(&pipeline_, err_name.c_str(), 0, 0);
    pid = spawn(PEX_MERGE_STDERR, "/bin/sh", {"sh", "-c", "echo out; echo err >&2"}, 0, out_fd,
                err_fd);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(wait_for(pid), 0);
    EXPECT_EQ(kit::read_file(out_name), "out\nerr\n");
    EXPECT_EQ(kit::read_file(err_name), "");
    EXPECT_EQ(take_scratch_entries(), (std::set<std::string>{"in", "out", "err"}));
}

TEST_F(UnixBackendTest, ChildClosesTheExtraDescriptor) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string probe = "{ : <&" + std::to_string(fds[0]) + "; } 2>/dev/null";
    EXPECT_EQ(shell_exit_code(probe), 0) << "inherited without child_close_fd";
    pid_t pid = spawn(0, "/bin/sh", {"sh", "-c", probe.c_str()}, 0, 1, 2, fds[0]);
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(is_closed(fds[0])) << "the parent keeps its copy";
    int status = wait_for(pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
    close(fds[0]);
    close(fds[1]);
}

TEST_F(UnixBackendTest, EnvironmentIsPassedExactly) {
    char **environment_before = environ;
    const char *path_before = getenv("PATH");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const char *const env[] = {"ZIN_A=1", "ZIN_B=two words", nullptr};
    pid_t pid = spawn(0, "/usr/bin/env", {"env"}, 0, fds[1], 2, -1, env);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kit::read_fd(fds[0]), "ZIN_A=1\nZIN_B=two words\n");
    close(fds[0]);
    EXPECT_EQ(wait_for(pid), 0);
    EXPECT_EQ(environ, environment_before);
    EXPECT_EQ(getenv("PATH"), path_before);
}

TEST_F(UnixBackendTest, TerminateFirst) {
    pid_t pid = spawn(0, "/bin/sleep", {"sleep", "10"});
    ASSERT_GT(pid, 0);
    PexStageTimes times = {-1, -1, -1, -1};
    int status = wait_for(pid, 1, &times);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_GE(times.user_sec, 0);
    EXPECT_GE(times.user_usec, 0);

    // A child that has already ended keeps its own status.
    pid = spawn(0, "/bin/sh", {"sh", "-c", "exit 7"});
    ASSERT_GT(pid, 0);
    siginfo_t info;
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
    status = wait_for(pid, 1);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST_F(UnixBackendTest, WaitForForeignProcessFails) {
    for (bool with_times : {false, true}) {
        PexStageTimes times;
        int status = 0;
        const char *message = nullptr;
        int error_number = 0;
        EXPECT_EQ(pex_unix_wait_child(&pipeline_, getppid(), &status, with_times ? &times : nullptr,
                                      0, &message, &error_number),
                  -1);
        EXPECT_STREQ(message, "wait");
        EXPECT_EQ(error_number, ECHILD);
    }
}

TEST_F(UnixBackendTest, OpenForWrite) {
    std::string name = at("file");
    mode_t previous = umask(027);
    int fd = pex_unix_backend.open_for_write(&pipeline_, name.c_str(), 1, 0);
    umask(previous);
    ASSERT_GE(fd, 0);
    struct stat info;
    ASSERT_EQ(stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(write(fd, "abcdef", 6), 6);
    EXPECT_EQ(pex_unix_backend.close_fd(&pipeline_, fd), 0);

    fd = pex_unix_backend.open_for_write(&pipeline_, name.c_str(), 0, 0);
    EXPECT_EQ(kit::read_file(name), "") << "truncated";
    EXPECT_EQ(write(fd, "x", 1), 1);
    close(fd);
    fd = pex_unix_backend.open_for_write(&pipeline_, name.c_str(), 0, 1);
    EXPECT_EQ(lseek(fd, 0, SEEK_SET), 0);
    EXPECT_EQ(write(fd, "y", 1), 1);
    close(fd);
    EXPECT_EQ(kit::read_file(name), "xy") << "appended at the end";

    fd = pex_unix_backend.open_for_read(&pipeline_, name.c_str(), 1);
    EXPECT_EQ(kit::read_fd(fd), "xy");
    close(fd);
    std::remove(name.c_str());

    EXPECT_EQ(
        failure_errno([&] { return pex_unix_backend.open_for_read(&pipeline_, name.c_str(), 0); }),
        ENOENT);
    EXPECT_EQ(failure_errno([&] { return pex_unix_backend.close_fd(&pipeline_, 999); }), EBADF);
}

// Run as uid 65534: root passes every permission check.
TEST_F(UnixBackendTest, PermissionDenied) {
    std::string locked = at("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
    std::string secret = at("secret");
    kit::write_file(secret, "s", 0600);
    kit::ChildOutcome child = kit::run_in_child(
        [&] {
            errno = 0;
            if (pex_unix_backend.open_for_write(&pipeline_, (locked + "/new").c_str(), 0, 0) >= 0 ||
                errno != EACCES) {
                return 1;
            }
            errno = 0;
            if (pex_unix_backend.open_for_read(&pipeline_, secret.c_str(), 0) >= 0 ||
                errno != EACCES) {
                return 2;
            }
            return 0;
        },
        true);
    EXPECT_EQ(kit::exit_code(child.wait_status), 0) << child.err;
    EXPECT_EQ(take_scratch_entries(), (std::set<std::string>{"locked", "secret"}));
}

TEST_F(UnixBackendTest, PipesAndStreams) {
    int fds[2];
    ASSERT_EQ(pex_unix_backend.make_pipe(&pipeline_, fds, 1), 0);
    EXPECT_EQ(fcntl(fds[0], F_GETFD), 0) << "inheritable";
    EXPECT_EQ(fcntl(fds[1], F_GETFD), 0);

    std::FILE *writer = pex_unix_backend.write_stream_from_fd(&pipeline_, fds[1], 0);
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(fileno(writer), fds[1]);
    EXPECT_EQ(fcntl(fds[1], F_GETFD), FD_CLOEXEC);
    std::FILE *reader = pex_unix_backend.read_stream_from_fd(&pipeline_, fds[0], 0);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(fcntl(fds[0], F_GETFD), 0);

    // Later children see the read end but not the write end.
    EXPECT_NE(shell_exit_code("{ : >&" + std::to_string(fds[1]) + "; } 2>/dev/null"), 0);
    EXPECT_EQ(shell_exit_code("{ : <&" + std::to_string(fds[0]) + "; } 2>/dev/null"), 0);

    std::fputs("through", writer);
    std::fclose(writer);
    EXPECT_EQ(kit::read_stream(reader), "through");
    std::fclose(reader);
    pex_unix_backend.release_backend(&pipeline_);
}

} // namespace
