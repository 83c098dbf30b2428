/* Stands in for ar, nm and ranlib in the tests: shows what it was given and
 * ends the way the environment asks.
 *   STAND_IN_STDERR=text  writes text to stderr first
 *   STAND_IN_LIST_FDS=1   prints "fd N" for every open descriptor instead of argv
 *   STAND_IN_SIGNAL=n     raises signal n (default disposition) after the output
 *   STAND_IN_CORE=1       allows a core dump for that signal (none otherwise)
 *   STAND_IN_EXIT=n       exits with n (default 0)
 * Without STAND_IN_LIST_FDS every argv element, argv[0] included, is printed
 * on its own line, byte for byte. */
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

/* Highest descriptor probed where /proc/self/fd is not available. */
#define PROBE_LIMIT 4096

static int compare_ints(const void *left, const void *right) {
    int a = *(const int *)left;
    int b = *(const int *)right;
    return (a > b) - (a < b);
}

/* Prints the open descriptors in ascending order, leaving out the one used to list them. */
static void list_descriptors(void) {
    DIR *directory = opendir("/proc/self/fd");
    if (directory == NULL) {
        for (int fd = 0; fd < PROBE_LIMIT; ++fd) {
            if (fcntl(fd, F_GETFD) != -1) {
                printf("fd %d\n", fd);
            }
        }
        return;
    }
    int fds[PROBE_LIMIT];
    size_t count = 0;
    struct dirent *entry;
    while ((entry = readdir(directory)) != NULL && count < PROBE_LIMIT) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        int fd = atoi(entry->d_name);
        if (fd != dirfd(directory)) {
            fds[count++] = fd;
        }
    }
    closedir(directory);
    qsort(fds, count, sizeof fds[0], compare_ints);
    for (size_t i = 0; i < count; ++i) {
        printf("fd %d\n", fds[i]);
    }
}

int main(int argc, char **argv) {
    const char *text = getenv("STAND_IN_STDERR");
    if (text != NULL) {
        fputs(text, stderr);
    }
    const char *list_fds = getenv("STAND_IN_LIST_FDS");
    if (list_fds != NULL && strcmp(list_fds, "1") == 0) {
        list_descriptors();
    } else {
        for (int i = 0; i < argc; ++i) {
            fwrite(argv[i], 1, strlen(argv[i]), stdout);
            putchar('\n');
        }
    }
    fflush(stdout);

    const char *signal_text = getenv("STAND_IN_SIGNAL");
    if (signal_text != NULL) {
        struct rlimit core_limit;
        if (getrlimit(RLIMIT_CORE, &core_limit) == 0) {
            const char *core = getenv("STAND_IN_CORE");
            core_limit.rlim_cur = core != NULL && strcmp(core, "1") == 0 ? core_limit.rlim_max : 0;
            setrlimit(RLIMIT_CORE, &core_limit);
        }
        int signal_number = atoi(signal_text);
        signal(signal_number, SIG_DFL);
        raise(signal_number);
    }
    const char *exit_text = getenv("STAND_IN_EXIT");
    return exit_text != NULL ? atoi(exit_text) : 0;
}
