/* SPDX-License-Identifier: Apache-2.0 */
// Test-only fault injection: see zin_fault.h. Every interposed function
// counts its calls and fails the armed ones; otherwise it forwards to libc.
#define _GNU_SOURCE
#include "zin_fault.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// Indices of the interposed functions: those of zin_fault_functions, then sleep.
#define ZIN_FAULT_INDEX(name, natural_errno) F_##name,
enum { ZIN_FAULT_FALLIBLE(ZIN_FAULT_INDEX) F_sleep, F_COUNT };
#undef ZIN_FAULT_INDEX
_Static_assert((int)F_sleep == (int)zin_fault_function_count, "one index per fallible function");

// The name of function `f`.
static const char *name_of(int f) {
    return f == F_sleep ? "sleep" : zin_fault_functions[f].name;
}

// Counters live in plain memory: a vfork child shares it with its parent,
// so calls made by the child count towards the same run.
static volatile unsigned long calls[F_COUNT];
static volatile int armed = -1;
static volatile unsigned long armed_first, armed_count;
static volatile int armed_errno;

enum { MAX_SLEEPS = 64 };
static volatile unsigned sleeps[MAX_SLEEPS];
static volatile unsigned sleep_count;

static const char *counts_path;

extern void *__libc_malloc(size_t);
extern void *__libc_calloc(size_t, size_t);
extern void *__libc_realloc(void *, size_t);

static int function_index(const char *name) {
    for (int i = 0; i < F_COUNT; ++i) {
        if (strcmp(name_of(i), name) == 0) {
            return i;
        }
    }
    return -1;
}

// Counts one call of `f`; true when that call must fail (errno is then set).
static int should_fail(int f) {
    unsigned long n = ++calls[f];
    if (armed != f || n < armed_first || n - armed_first >= armed_count) {
        return 0;
    }
    errno = armed_errno ? armed_errno : zin_fault_functions[f].natural_errno;
    return 1;
}

static void *next_symbol(const char *name) {
    void *symbol = dlsym(RTLD_NEXT, name);
    if (symbol == NULL) {
        abort();
    }
    return symbol;
}

// Looks up libc's own `name` once, as real_<name>. ISO C has no conversion
// from an object pointer to a function pointer, so the address is copied.
#define REAL(name)                                                                                 \
    static __typeof__(name) *real_##name;                                                          \
    if (real_##name == NULL) {                                                                     \
        void *symbol = next_symbol(#name);                                                         \
        memcpy(&real_##name, &symbol, sizeof symbol);                                              \
    }

void zin_fault_reset(void) {
    for (int i = 0; i < F_COUNT; ++i) {
        calls[i] = 0;
    }
    sleep_count = 0;
}

void zin_fault_arm(const char *function, unsigned long first, unsigned long count,
                   int error_number) {
    zin_fault_reset();
    armed = function_index(function);
    armed_first = first;
    armed_count = count;
    armed_errno = error_number;
}

void zin_fault_disarm(void) {
    armed = -1;
}

unsigned long zin_fault_calls(const char *function) {
    int f = function_index(function);
    return f < 0 ? 0 : calls[f];
}

unsigned zin_fault_sleeps(unsigned *out, unsigned max) {
    for (unsigned i = 0; i < sleep_count && i < max && i < MAX_SLEEPS; ++i) {
        out[i] = sleeps[i];
    }
    return sleep_count;
}

__attribute__((constructor)) static void arm_from_environment(void) {
    counts_path = getenv("ZIN_FAULT_COUNTS");
    const char *setting = getenv("ZIN_FAULT");
    if (setting == NULL || *setting == '\0') {
        return;
    }
    char name[32];
    unsigned long nth = 0;
    int error_number = 0;
    if (sscanf(setting, "%31[^:]:%lu:%d", name, &nth, &error_number) < 2 ||
        function_index(name) < 0) {
        fprintf(stderr, "zin_fault: bad ZIN_FAULT '%s'\n", setting);
        abort();
    }
    zin_fault_arm(name, nth, 1, error_number);
}

__attribute__((destructor)) static void write_counts(void) {
    if (counts_path == NULL) {
        return;
    }
    armed = -1;
    FILE *out = fopen(counts_path, "a");
    if (out == NULL) {
        return;
    }
    for (int i = 0; i < F_COUNT; ++i) {
        fprintf(out, "%s %lu\n", name_of(i), calls[i]);
    }
    fclose(out);
}

// An interposed function that fails as armed and otherwise calls libc's:
// FORWARD(return type, name, value on failure, (parameters), (arguments)).
#define FORWARD(type, name, failed, parameters, arguments)                                         \
    type name parameters {                                                                         \
        REAL(name);                                                                                \
        return should_fail(F_##name) ? failed : real_##name arguments;                             \
    }

// The allocators call libc's own entry points: dlsym may allocate.
void *malloc(size_t size) {
    return should_fail(F_malloc) ? NULL : __libc_malloc(size);
}

void *calloc(size_t count, size_t size) {
    return should_fail(F_calloc) ? NULL : __libc_calloc(count, size);
}

void *realloc(void *pointer, size_t size) {
    return should_fail(F_realloc) ? NULL : __libc_realloc(pointer, size);
}

FORWARD(int, pipe, -1, (int fds[2]), (fds))
FORWARD(int, pipe2, -1, (int fds[2], int flags), (fds, flags))
FORWARD(int, dup2, -1, (int from, int to), (from, to))
FORWARD(int, close, -1, (int fd), (fd))
FORWARD(FILE *, fdopen, NULL, (int fd, const char *mode), (fd, mode))
FORWARD(int, mkstemps, -1, (char *template_name, int suffix_length), (template_name, suffix_length))
FORWARD(pid_t, wait4, -1, (pid_t pid, int *status, int options, struct rusage *usage),
        (pid, status, options, usage))
FORWARD(pid_t, waitpid, -1, (pid_t pid, int *status, int options), (pid, status, options))
FORWARD(ssize_t, read, -1, (int fd, void *buffer, size_t size), (fd, buffer, size))
FORWARD(ssize_t, write, -1, (int fd, const void *buffer, size_t size), (fd, buffer, size))
FORWARD(char *, realpath, NULL, (const char *path, char *resolved), (path, resolved))

int mkstemps64(char *template_name, int suffix_length) {
    return mkstemps(template_name, suffix_length);
}

// Served by fork so that the caller may return from it; the child then has
// memory of its own, which the code under test must not rely on anyway.
pid_t vfork(void) {
    if (should_fail(F_vfork)) {
        return -1;
    }
    REAL(fork);
    return real_fork();
}

// open and fcntl take a third argument only for some requests; open64 and
// fcntl64 are the same calls under the names large-file builds use.
static int open_common(const char *name, int flags, va_list args) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        mode = (mode_t)va_arg(args, int);
    }
    REAL(open);
    return should_fail(F_open) ? -1 : real_open(name, flags, mode);
}

static int fcntl_common(int fd, int command, va_list args) {
    void *argument = va_arg(args, void *);
    REAL(fcntl);
    return should_fail(F_fcntl) ? -1 : real_fcntl(fd, command, argument);
}

// A variadic entry point that hands its optional argument on to `common`.
#define VARIADIC(name, common, first_type, first)                                                  \
    int name(first_type first, int second, ...) {                                                  \
        va_list args;                                                                              \
        va_start(args, second);                                                                    \
        int result = common(first, second, args);                                                  \
        va_end(args);                                                                              \
        return result;                                                                             \
    }

VARIADIC(open, open_common, const char *, name)
VARIADIC(open64, open_common, const char *, name)
VARIADIC(fcntl, fcntl_common, int, fd)
VARIADIC(fcntl64, fcntl_common, int, fd)

unsigned sleep(unsigned seconds) {
    ++calls[F_sleep];
    if (sleep_count < MAX_SLEEPS) {
        sleeps[sleep_count] = seconds;
    }
    ++sleep_count;
    return 0;
}
