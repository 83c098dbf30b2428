/* SPDX-License-Identifier: Apache-2.0 */
/* Stands in for ar, nm and ranlib in the tests: shows what it was given and
 * ends the way the environment asks. Plain C with no other dependency, so
 * that the build machine's compiler alone can build it; linked statically
 * where it can be, so that a library preloaded into a wrapper never follows
 * it into the tool.
 *   STAND_IN_STDERR=text      writes text to standard error first
 *   STAND_IN_CLOSE_STDOUT=1   closes standard output before anything is shown
 *   STAND_IN_SHOW=what        what goes to standard output: "argv" (the
 *                             default: every element, argv[0] included, on a
 *                             line of its own, byte for byte), "fds" ("fd N"
 *                             for every descriptor open at the start),
 *                             "size" ("argc N bytes M", M counting the NULs)
 *                             or "stdin" (standard input, copied)
 *   STAND_IN_FDS_TO=path      also writes the descriptor lines to the file path
 *   STAND_IN_FLOOD=1          then writes to standard output until a write
 *                             fails, and exits 42 (a default SIGPIPE ends it first)
 *   STAND_IN_SIGNAL=n         then raises signal n with its default disposition
 *   STAND_IN_CORE=1           allows a core dump for that signal (none otherwise)
 *   STAND_IN_EXIT=n           exits with n (default 0) */
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

/* Most descriptors listed; also the highest probed where /proc/self/fd is missing. */
enum { MAX_FDS = 4096 };

/* Whether the environment variable `name` is `value`. */
static int setting_is(const char *name, const char *value) {
    const char *setting = getenv(name);
    return setting != NULL && strcmp(setting, value) == 0;
}

static int compare_ints(const void *left, const void *right) {
    int a = *(const int *)left;
    int b = *(const int *)right;
    return (a > b) - (a < b);
}

/* Collects the open descriptors in ascending order, leaving out the one used to list them. */
static size_t open_descriptors(int *fds) {
    size_t count = 0;
    DIR *directory = opendir("/proc/self/fd");
    if (directory == NULL) {
        for (int fd = 0; fd < MAX_FDS; ++fd) {
            if (fcntl(fd, F_GETFD) != -1) {
                fds[count++] = fd;
            }
        }
        return count;
    }
    struct dirent *entry;
    while ((entry = readdir(directory)) != NULL && count < MAX_FDS) {
        if (entry->d_name[0] != '.' && atoi(entry->d_name) != dirfd(directory)) {
            fds[count++] = atoi(entry->d_name);
        }
    }
    closedir(directory);
    qsort(fds, count, sizeof fds[0], compare_ints);
    return count;
}

/* Writes the whole text to `fd`; 0 on success. */
static int write_all(int fd, const char *text, size_t length) {
    while (length > 0) {
        ssize_t wrote = write(fd, text, length);
        if (wrote <= 0) {
            return -1;
        }
        text += wrote;
        length -= (size_t)wrote;
    }
    return 0;
}

/* Writes "fd N" lines for the listed descriptors to `fd`. */
static void list_descriptors(const int *fds, size_t count, int fd) {
    char line[32];
    for (size_t i = 0; i < count; ++i) {
        int length = snprintf(line, sizeof line, "fd %d\n", fds[i]);
        write_all(fd, line, (size_t)length);
    }
}

/* Raises `signal_number` with its default disposition, a core allowed only when asked. */
static void raise_signal(int signal_number) {
    struct rlimit core_limit;
    if (getrlimit(RLIMIT_CORE, &core_limit) == 0) {
        core_limit.rlim_cur = setting_is("STAND_IN_CORE", "1") ? core_limit.rlim_max : 0;
        setrlimit(RLIMIT_CORE, &core_limit);
    }
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

int main(int argc, char **argv) {
    static int fds[MAX_FDS];
    size_t fd_count = open_descriptors(fds);
    const char *text = getenv("STAND_IN_STDERR");
    if (text != NULL) {
        write_all(2, text, strlen(text));
    }
    if (setting_is("STAND_IN_CLOSE_STDOUT", "1")) {
        close(1);
    }
    if (setting_is("STAND_IN_SHOW", "fds")) {
        list_descriptors(fds, fd_count, 1);
    } else if (setting_is("STAND_IN_SHOW", "stdin")) {
        char block[4096];
        ssize_t got;
        while ((got = read(0, block, sizeof block)) > 0 && write_all(1, block, (size_t)got) == 0) {
        }
    } else if (setting_is("STAND_IN_SHOW", "size")) {
        size_t bytes = 0;
        for (int i = 0; i < argc; ++i) {
            bytes += strlen(argv[i]) + 1;
        }
        printf("argc %d bytes %zu\n", argc, bytes);
    } else {
        for (int i = 0; i < argc; ++i) {
            fwrite(argv[i], 1, strlen(argv[i]), stdout);
            putchar('\n');
        }
    }
    fflush(stdout);
    const char *listing = getenv("STAND_IN_FDS_TO");
    if (listing != NULL) {
        int fd = open(listing, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd >= 0) {
            list_descriptors(fds, fd_count, fd);
            close(fd);
        }
    }
    if (setting_is("STAND_IN_FLOOD", "1")) {
        static char block[65536];
        memset(block, 'y', sizeof block);
        while (write_all(1, block, sizeof block) == 0) {
        }
        return 42;
    }
    const char *signal_text = getenv("STAND_IN_SIGNAL");
    if (signal_text != NULL) {
        raise_signal(atoi(signal_text));
    }
    const char *exit_text = getenv("STAND_IN_EXIT");
    return exit_text != NULL ? atoi(exit_text) : 0;
}
