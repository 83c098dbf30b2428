// SPDX-License-Identifier: Apache-2.0
// Test-only fault injection. libzin_fault.so interposes a fixed set of libc
// calls; linked into a test executable (or preloaded into a program with
// LD_PRELOAD) it makes chosen calls of one function fail and records sleeps
// instead of sleeping.
//
// Interposed: the functions of ZIN_FAULT_FALLIBLE below, and sleep (never
// sleeps: the seconds are recorded and 0 is returned). vfork is served by fork
// when it is not failed, so a test may return from it normally.
//
// In a preloaded program the environment arms it: ZIN_FAULT="function:nth[:errno]"
// fails the nth call (1-based) of that function with that errno (default: the
// function's natural error, e.g. ENOMEM for the allocators, EMFILE for pipe).
// ZIN_FAULT_COUNTS=path appends "function count\n" for every interposed
// function at exit, so a test can learn how many calls a whole run makes.
#pragma once

#include <errno.h>

#ifdef __cplusplus
extern "C" {
#endif

// The interposed functions that can be made to fail, each with the error it
// fails with when armed without one: X(name, natural errno).
// clang-format off
#define ZIN_FAULT_FALLIBLE(X)                                                                      \
    X(malloc, ENOMEM) X(calloc, ENOMEM) X(realloc, ENOMEM) X(pipe, EMFILE) X(pipe2, EMFILE)        \
    X(vfork, EAGAIN) X(dup2, EBADF) X(close, EIO) X(open, EMFILE) X(fdopen, ENOMEM)                \
    X(fcntl, EBADF) X(mkstemps, ENOSPC) X(wait4, ECHILD) X(waitpid, ECHILD) X(read, EIO)           \
    X(write, EIO) X(realpath, ENOENT)
// clang-format on

// A function that can be made to fail.
struct zin_fault_function {
    const char *name;
    int natural_errno;
};

#define ZIN_FAULT_ENTRY(name, natural_errno) {#name, natural_errno},
// Every function that can be made to fail, in the library's order; also
// readable by a test that only preloads the library into a program.
static const struct zin_fault_function zin_fault_functions[] = {
    ZIN_FAULT_FALLIBLE(ZIN_FAULT_ENTRY)};
#undef ZIN_FAULT_ENTRY

enum { zin_fault_function_count = sizeof zin_fault_functions / sizeof zin_fault_functions[0] };

// Fails calls first..first+count-1 (1-based, counted from now) of `function`
// with `error_number` (0: the natural error). Resets all call counters.
void zin_fault_arm(const char *function, unsigned long first, unsigned long count,
                   int error_number);

// Stops failing calls; counters keep counting.
void zin_fault_disarm(void);

// Calls of `function` since the last arm or reset (0 for an unknown name).
unsigned long zin_fault_calls(const char *function);

// Zeroes every call counter and the sleep record.
void zin_fault_reset(void);

// Number of sleep() calls recorded since the last reset; their seconds, in
// order, are copied into out[0..max-1].
unsigned zin_fault_sleeps(unsigned *out, unsigned max);

#ifdef __cplusplus
}
#endif
