/* SPDX-License-Identifier: Apache-2.0 */
/* The tool every case of the start-up benchmark runs: it does nothing and
 * exits 0. With ZIN_BENCH_ECHO set it prints its argv, one element a line,
 * and exits ZIN_BENCH_ECHO_STATUS, so that the benchmark can check what each
 * case handed it and that the tool's status came back. */
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#ifndef ZIN_BENCH_ECHO_STATUS
#error "ZIN_BENCH_ECHO_STATUS must give the exit status of an echoing run"
#endif

/* Writes `text` and a newline to standard output; 0 on success. */
static int put(const char *text) {
    size_t length = strlen(text);
    return write(1, text, length) == (ssize_t)length && write(1, "\n", 1) == 1 ? 0 : -1;
}

int main(int argc, char **argv) {
    if (getenv("ZIN_BENCH_ECHO") == NULL) {
        return 0;
    }
    for (int i = 0; i < argc; ++i) {
        if (put(argv[i]) != 0) {
            return 2;
        }
    }
    return ZIN_BENCH_ECHO_STATUS;
}
