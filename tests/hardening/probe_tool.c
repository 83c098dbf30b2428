/* Stands in for ar, nm and ranlib in the hardening tests. Linked statically,
 * so a preloaded fault library in the wrapper's environment never reaches it.
 *   PROBE_FDS=1           prints "fd N" for every open descriptor on stdout
 *   PROBE_FDS_TO=path     writes that list to the file `path` instead
 *   PROBE_CLOSE_STDOUT=1  closes standard output first
 *   PROBE_FLOOD=1         writes to standard output until a write fails, then
 *                         exits 42 (a default SIGPIPE ends it before that)
 *   PROBE_ARGS=1          prints the argument count and the total bytes of argv
 *   PROBE_EXIT=n          exits with n (default 0) */
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { MAX_FDS = 1024 };

/* Whether the environment variable `name` is "1". */
static int enabled(const char *name) {
    const char *value = getenv(name);
    return value != NULL && strcmp(value, "1") == 0;
}

static int compare_ints(const void *left, const void *right) {
    int a = *(const int *)left;
    int b = *(const int *)right;
    return (a > b) - (a < b);
}

/* Collects the open descriptors, ascending, leaving out the directory stream's own. */
static size_t open_descriptors(int *fds) {
    size_t count = 0;
    DIR *directory = opendir("/proc/self/fd");
    if (directory == NULL) {
        return 0;
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

/* Lists the descriptors that were open when the program started on `fd`. */
static void report_descriptors(const int *fds, size_t count, int fd) {
    char line[32];
    for (size_t i = 0; i < count; ++i) {
        int length = snprintf(line, sizeof line, "fd %d\n", fds[i]);
        write_all(fd, line, (size_t)length);
    }
}

int main(int argc, char **argv) {
    int fds[MAX_FDS];
    size_t count = open_descriptors(fds);
    if (enabled("PROBE_CLOSE_STDOUT")) {
        close(1);
    }
    if (enabled("PROBE_FDS")) {
        report_descriptors(fds, count, 1);
    }
    const char *report_path = getenv("PROBE_FDS_TO");
    if (report_path != NULL) {
        int fd = open(report_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd >= 0) {
            report_descriptors(fds, count, fd);
            close(fd);
        }
    }
    if (enabled("PROBE_ARGS")) {
        size_t bytes = 0;
        for (int i = 0; i < argc; ++i) {
            bytes += strlen(argv[i]) + 1;
        }
        printf("argc %d bytes %zu\n", argc, bytes);
        fflush(stdout);
    }
    if (enabled("PROBE_FLOOD")) {
        static char block[65536];
        memset(block, 'y', sizeof block);
        while (write_all(1, block, sizeof block) == 0) {
        }
        return 42;
    }
    const char *exit_text = getenv("PROBE_EXIT");
    return exit_text != NULL ? atoi(exit_text) : 0;
}
