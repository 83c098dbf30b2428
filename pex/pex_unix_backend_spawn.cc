// SPDX-License-Identifier: Apache-2.0
// Starting one child of the Unix back end. The child is made with vfork and
// runs on the parent's memory until it execs or ends, so it touches nothing
// but its descriptors, environ and its failure record; a failure inside it
// reaches the parent through a close-on-exec pipe.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "pex/pex_unix_backend.h"
#include "support/error_text.h"

// POSIX leaves this declaration to the program.
extern char **environ; // NOLINT(readability-redundant-declaration)

namespace {

// How many times vfork is tried before giving up, sleeping after each failure.
constexpr int vfork_attempts = 4;

// What the child needs, filled in before vfork. Volatile: the parent reads it
// again after vfork, from memory the child ran on.
struct ChildPlan {
    const char *program_name;
    unsigned flags;
    const char *executable;
    bool search_path; // look the executable up on PATH: a name without '/'
    const char *const *argv;
    const char *const *env;
    int in_fd;
    int out_fd;
    int err_fd;
    int child_close_fd;
    int report_read_fd;  // error-report pipe, -1 when it could not be made
    int report_write_fd; // its close-on-exec write end, -1 likewise
};

// Records the call that failed in the child, with its errno.
void record_failure(PexChildFailure *failure, const char *call) {
    failure->error_message = call;
    failure->error_number = errno;
}

// Child: makes `fd` the descriptor `target` and drops the original.
void move_descriptor(int fd, int target, PexChildFailure *failure) {
    if (dup2(fd, target) < 0) {
        record_failure(failure, "dup2");
    } else if (close(fd) < 0) {
        record_failure(failure, "close");
    }
}

// Child: one piece of the fallback report on standard error; false on failure.
bool write_piece(const char *text) {
    return write(2, text, std::strlen(text)) >= 0;
}

// Child: puts the descriptors in place and runs the program; on failure sends
// the record to the parent, or prints it when the pipe cannot carry it. Kept
// out of line so that none of its locals can share a stack slot with what the
// parent still needs after vfork.
[[noreturn, gnu::noinline]] void run_child(const volatile ChildPlan *plan) {
    PexChildFailure failure = {nullptr, 0};
    if (plan->report_read_fd >= 0) {
        close(plan->report_read_fd);
    }
    if (plan->in_fd != 0) {
        move_descriptor(plan->in_fd, 0, &failure);
    }
    if (failure.error_message == nullptr && plan->out_fd != 1) {
        move_descriptor(plan->out_fd, 1, &failure);
    }
    if (failure.error_message == nullptr && plan->err_fd != 2) {
        move_descriptor(plan->err_fd, 2, &failure);
    }
    if (failure.error_message == nullptr && plan->child_close_fd >= 0 &&
        close(plan->child_close_fd) < 0) {
        record_failure(&failure, "close");
    }
    if (failure.error_message == nullptr) {
        if ((plan->flags & PEX_MERGE_STDERR) != 0 && dup2(1, 2) < 0) {
            record_failure(&failure, "dup2");
        } else {
            if (plan->env != nullptr) {
                environ = const_cast<char **>(plan->env);
            }
            char *const *args = const_cast<char *const *>(plan->argv);
            bool path_search = (plan->flags & PEX_PATH_SEARCH) != 0;
            if (plan->executable == nullptr) {
                // The C library must not be handed a null path; EFAULT is
                // what the kernel answers to one.
                errno = EFAULT;
            } else if (path_search && plan->search_path) {
                execvp(plan->executable, args);
            } else {
                // A path with '/' is not searched for, so execvp would only add
                // its fallback of handing a file the kernel cannot execute to
                // /bin/sh as a script (glibc does, musl does not). execv makes
                // such a file an exec failure on every C library.
                execv(plan->executable, args);
            }
            record_failure(&failure, path_search ? "execvp" : "execv");
        }
    }
    if (plan->report_write_fd >= 0 && write(plan->report_write_fd, &failure, sizeof failure) ==
                                          static_cast<ssize_t>(sizeof failure)) {
        _exit(-1);
    }
    // Every piece is written even after one has failed.
    bool written = write_piece(plan->program_name);
    written = write_piece(": error trying to exec '") && written;
    written = write_piece(plan->executable != nullptr ? plan->executable : "") && written;
    written = write_piece("': ") && written;
    written = write_piece(failure.error_message) && written;
    written = write_piece(": ") && written;
    written = write_piece(error_text(failure.error_number)) && written;
    written = write_piece("\n") && written;
    _exit(written ? -1 : -2);
}

// Parent: closes its copy of a stage descriptor unless it is the standard one;
// the first failing close is the one reported.
void close_parent_copy(int fd, int standard_fd, PexChildFailure *failure) {
    if (fd == standard_fd || fd < 0) {
        return;
    }
    if (close(fd) < 0 && failure->error_message == nullptr) {
        failure->error_message = "close";
        failure->error_number = errno;
    }
}

// Parent: reaps `pid`, riding out signals, so a failed start leaves no child.
void reap(pid_t pid) {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Parent: the record the child sent, empty when the exec succeeded (end of file).
PexChildFailure read_child_report(int report_fd) {
    PexChildFailure failure = {nullptr, 0};
    PexChildFailure reported;
    ssize_t got;
    do {
        got = read(report_fd, &reported, sizeof reported);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof reported)) {
        failure = reported;
    }
    return failure;
}

// Parent: moves pipe ends that took a standard descriptor (the caller runs
// with some of 0..2 closed) above 2, keeping them close-on-exec. There they
// cannot be overwritten when the child's descriptors are put in place, and
// the child's 0..2 stay what the caller's were. False, with both ends
// closed, when an end cannot be moved.
bool above_standard_descriptors(int ends[2]) {
    if (ends[0] > 2 && ends[1] > 2) {
        return true;
    }
    int moved[2];
    for (int i = 0; i < 2; ++i) {
        moved[i] = ends[i] > 2 ? ends[i] : fcntl(ends[i], F_DUPFD_CLOEXEC, 3);
    }
    for (int i = 0; i < 2; ++i) {
        if (moved[i] != ends[i]) {
            close(ends[i]);
        }
    }
    if (moved[0] < 0 || moved[1] < 0) {
        for (int fd : moved) {
            if (fd >= 0) {
                close(fd);
            }
        }
        return false;
    }
    ends[0] = moved[0];
    ends[1] = moved[1];
    return true;
}

} // namespace

pid_t pex_unix_spawn_child(Pipeline *pipeline, int flags, const char *executable,
                           const char *const *argv, const char *const *env, int in_fd, int out_fd,
                           int err_fd, int child_close_fd, const char **error_message,
                           int *error_number) {
    int report[2] = {-1, -1};
    if (pipe2(report, O_CLOEXEC) < 0 || !above_standard_descriptors(report)) {
        // Without the pipe the child can still print its own failure.
        report[0] = -1;
        report[1] = -1;
    }
    volatile ChildPlan plan = {pipeline->program_name,
                               static_cast<unsigned>(flags),
                               executable,
                               executable != nullptr && std::strchr(executable, '/') == nullptr,
                               argv,
                               env,
                               in_fd,
                               out_fd,
                               err_fd,
                               child_close_fd,
                               report[0],
                               report[1]};
    char **volatile saved_environ = environ;
    const char **volatile message_out = error_message;
    int *volatile number_out = error_number;

    volatile pid_t child = -1;
    volatile int vfork_errno = 0;
    volatile unsigned delay = 1;
    volatile int attempt = 0;
    while (attempt < vfork_attempts) {
        pid_t pid = vfork();
        if (pid == 0) {
            // run_child only moves descriptors, execs and _exits.
            // NOLINTNEXTLINE(clang-analyzer-unix.Vfork)
            run_child(&plan);
        }
        if (pid > 0) {
            child = pid;
            break;
        }
        vfork_errno = errno;
        sleep(delay);
        delay = delay * 2;
        attempt = attempt + 1;
    }
    environ = saved_environ;

    PexChildFailure failure = {nullptr, 0};
    if (child < 0) {
        failure.error_message = "vfork";
        failure.error_number = vfork_errno;
    }
    if (plan.report_write_fd >= 0) {
        close(plan.report_write_fd);
        if (child > 0) {
            failure = read_child_report(plan.report_read_fd);
        }
        close(plan.report_read_fd);
    }
    bool child_failed = child > 0 && failure.error_message != nullptr;
    // The parent's copies are closed on every path, so the caller never closes
    // a descriptor it passed here.
    close_parent_copy(plan.in_fd, 0, &failure);
    close_parent_copy(plan.out_fd, 1, &failure);
    close_parent_copy(plan.err_fd, 2, &failure);
    if (child_failed) {
        reap(child);
    } else if (child > 0 && failure.error_message != nullptr) {
        // The program runs, but the start is reported as failed: end it
        // rather than leave a child nobody will wait for.
        kill(child, SIGKILL);
        reap(child);
    }
    if (failure.error_message != nullptr) {
        *message_out = failure.error_message;
        *number_out = failure.error_number;
        return -1;
    }
    return child;
}
