/* SPDX-License-Identifier: Apache-2.0 */
/* Runs one command and prints the peak resident memory of the process it
 * started, in KiB (ru_maxrss from wait4), and the raw wait status:
 *   rss_probe EXECUTABLE ARGV0 [ARGUMENT...]
 * An exec charges the old address space's peak to the new program, so a
 * child exec'd straight from vfork would inherit the starting process's
 * peak. This probe is static and forks: the forked copy holds only the few
 * anonymous pages a static program has, so the floor it leaves (about
 * 140 KiB) stays below every program the benchmark measures. */
#include <stddef.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

/* Appends the decimal digits of `value` at `out`, returns the end. */
static char *put_number(char *out, long value) {
    char digits[24];
    size_t count = 0;
    unsigned long rest = value < 0 ? (unsigned long)-value : (unsigned long)value;
    do {
        digits[count++] = (char)('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (value < 0) {
        *out++ = '-';
    }
    while (count > 0) {
        *out++ = digits[--count];
    }
    return out;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        static const char usage[] = "usage: rss_probe EXECUTABLE ARGV0 [ARGUMENT...]\n";
        (void)!write(2, usage, sizeof usage - 1);
        return 2;
    }
    pid_t pid = fork();
    if (pid == 0) {
        execve(argv[1], argv + 2, environ);
        _exit(127);
    }
    if (pid < 0) {
        return 2;
    }
    int status;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) < 0) {
        return 2;
    }
    char line[64];
    char *end = put_number(line, usage.ru_maxrss);
    *end++ = ' ';
    end = put_number(end, status);
    *end++ = '\n';
    return write(1, line, (size_t)(end - line)) == end - line ? 0 : 2;
}
