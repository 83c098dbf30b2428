/* SPDX-License-Identifier: Apache-2.0 */
/* The tool the start-up benchmark runs: it does nothing and exits 0. With
 * ZIN_BENCH_ECHO set it first prints its argv, one element a line, so that
 * the benchmark can check what each launcher handed it. */
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int put(const char *text) {
    size_t length = strlen(text);
    return write(1, text, length) == (ssize_t)length && write(1, "\n", 1) == 1;
}

int main(int argc, char **argv) {
    if (getenv("ZIN_BENCH_ECHO") != NULL) {
        for (int i = 0; i < argc; ++i) {
            if (!put(argv[i])) {
                return 2;
            }
        }
    }
    return 0;
}
